// Captures the desktop asks for, read back as the hotkey and its modifiers are polled.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/key_codes.h"
#include "platform/shortcut_keys.h"

namespace pixtrel {
namespace {

constexpr std::uint8_t kHotkey = vk::kF12;

struct Poll {
  std::uint8_t key;
  std::optional<std::uint16_t> state;
};

struct Case {
  std::string name;
  std::function<void(ShortcutKeys&)> before;
  std::vector<Poll> polls;  // in order, after `before`
};

TEST(ShortcutKeys, ReadBackAsTheHotkeyAndTheModifierOfTheirMode) {
  const std::vector<Case> cases = {
      {"nothing asked: the keyboard's modifiers answer",
       [](ShortcutKeys&) {},
       {{kHotkey, 0}, {vk::kAlt, std::nullopt}, {vk::kShift, std::nullopt}}},
      {"a command's press is one capture, of its mode",
       [](ShortcutKeys& k) { k.Press(CaptureMode::kWindow); },
       {{vk::kAlt, std::nullopt},  // not before the hotkey's poll begins the capture
        {kHotkey, 1},
        {vk::kAlt, 0x8000},
        {vk::kControl, 0},
        {vk::kShift, 0},
        {kHotkey, 0},
        {vk::kAlt, std::nullopt}}},
      {"a shortcut pressed and let go before the poll still counts",
       [](ShortcutKeys& k) {
         k.Down(CaptureMode::kClient);
         k.Up(CaptureMode::kClient);
       },
       {{kHotkey, 1}, {vk::kControl, 0x8000}, {vk::kAlt, 0}, {kHotkey, 0}}},
      {"a held shortcut reads down until let go, pressed once",
       [](ShortcutKeys& k) {
         k.Down(CaptureMode::kRegion);
         k.Down(CaptureMode::kRegion);  // the desktop's key repeat
       },
       {{kHotkey, 0x8001}, {vk::kShift, 0x8000}, {kHotkey, 0x8000}, {vk::kShift, 0x8000}}},
      {"the screen's shortcut holds no modifier down",
       [](ShortcutKeys& k) { k.Down(CaptureMode::kScreen); },
       {{kHotkey, 0x8001}, {vk::kAlt, 0}, {vk::kControl, 0}, {vk::kShift, 0}}},
      {"of two presses between polls, the last is the one captured",
       [](ShortcutKeys& k) {
         k.Press(CaptureMode::kWindow);
         k.Press(CaptureMode::kRegion);
       },
       {{kHotkey, 1}, {vk::kShift, 0x8000}, {vk::kAlt, 0}, {kHotkey, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShortcutKeys keys;
    c.before(keys);
    for (std::size_t i = 0; i < c.polls.size(); ++i) {
      SCOPED_TRACE("poll " + std::to_string(i));
      EXPECT_EQ(keys.State(c.polls[i].key), c.polls[i].state);
    }
  }
}

TEST(ShortcutKeys, AHeldShortcutLetGoEndsTheHeldCaptures) {
  ShortcutKeys keys;
  keys.Down(CaptureMode::kScreen);
  EXPECT_EQ(keys.State(kHotkey), 0x8001);
  EXPECT_EQ(keys.State(kHotkey), 0x8000);
  keys.Up(CaptureMode::kScreen);
  EXPECT_EQ(keys.State(kHotkey), 0);
  EXPECT_EQ(keys.State(vk::kAlt), std::nullopt);
}

TEST(ShortcutKeys, ModeNamesRoundTripAndNothingElseIsAMode) {
  for (const CaptureMode mode :
       {CaptureMode::kScreen, CaptureMode::kWindow, CaptureMode::kClient, CaptureMode::kRegion})
    EXPECT_EQ(ModeNamed(ModeName(mode)), mode);
  for (const char* name : {"", "Screen", "full", "screen ", "regions"})
    EXPECT_EQ(ModeNamed(name), std::nullopt) << name;
}

}  // namespace
}  // namespace pixtrel
