#include "platform/shortcut_keys.h"

#include <algorithm>

#include "core/key_codes.h"

namespace pixtrel {
namespace {

constexpr std::array<std::string_view, 4> kModeNames{"screen", "window", "client", "region"};

std::optional<CaptureMode> ModeOfModifier(std::uint8_t key) {
  switch (key) {
    case vk::kAlt:
      return CaptureMode::kWindow;
    case vk::kControl:
      return CaptureMode::kClient;
    case vk::kShift:
      return CaptureMode::kRegion;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string_view ModeName(CaptureMode mode) {
  return kModeNames[static_cast<std::size_t>(mode)];
}

std::optional<CaptureMode> ModeNamed(std::string_view name) {
  const auto it = std::find(kModeNames.begin(), kModeNames.end(), name);
  if (it == kModeNames.end())
    return std::nullopt;
  return static_cast<CaptureMode>(it - kModeNames.begin());
}

void ShortcutKeys::Down(CaptureMode mode) {
  const std::lock_guard lock(mutex_);
  // A shortcut repeated while held counts once.
  if (!down_[static_cast<std::size_t>(mode)])
    pending_ = mode;
  down_[static_cast<std::size_t>(mode)] = true;
}

void ShortcutKeys::Up(CaptureMode mode) {
  const std::lock_guard lock(mutex_);
  down_[static_cast<std::size_t>(mode)] = false;
}

void ShortcutKeys::Press(CaptureMode mode) {
  const std::lock_guard lock(mutex_);
  pending_ = mode;
}

std::optional<std::uint16_t> ShortcutKeys::State(std::uint8_t key) {
  const std::lock_guard lock(mutex_);
  if (const std::optional<CaptureMode> mode = ModeOfModifier(key)) {
    if (!current_)
      return std::nullopt;
    return *current_ == *mode ? 0x8000 : 0;
  }
  const auto held = std::find(down_.begin(), down_.end(), true);
  const bool down = held != down_.end();
  const bool pressed = pending_.has_value();
  if (pressed)
    current_ = pending_;
  else if (down)
    current_ = static_cast<CaptureMode>(held - down_.begin());
  else
    current_.reset();
  pending_.reset();
  return static_cast<std::uint16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

}  // namespace pixtrel
