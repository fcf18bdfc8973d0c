// Captures that the desktop asks for instead of the keyboard: a shortcut it reserved for the
// program, held down and let go, or a command line's single press. The program reads them back
// as it polls the hotkey and its modifiers.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

namespace pixtrel {

enum class CaptureMode { kScreen, kWindow, kClient, kRegion };

// The name a shortcut and a command line give each mode: "screen", "window", "client", "region".
std::string_view ModeName(CaptureMode mode);
std::optional<CaptureMode> ModeNamed(std::string_view name);

// Safe to feed from any thread.
class ShortcutKeys {
 public:
  void Down(CaptureMode mode);
  void Up(CaptureMode mode);
  void Press(CaptureMode mode);  // down and up at once

  // For the hotkey (any key but Alt, Ctrl and Shift): bit 15 while a shortcut is down, bit 0
  // when one was pressed since the last such query. For a modifier: down while the capture
  // that query began is of its mode, up for another mode, and nothing when no shortcut began it.
  std::optional<std::uint16_t> State(std::uint8_t key);

 private:
  std::mutex mutex_;
  std::array<bool, 4> down_{};
  std::optional<CaptureMode> pending_;  // pressed since the last hotkey query
  std::optional<CaptureMode> current_;  // what the last hotkey query found
};

}  // namespace pixtrel
