// The Windows virtual-key codes the program uses. They name keys and mouse buttons on every
// system; a backend maps them to its own.
#pragma once

#include <cstdint>

namespace pixtrel::vk {

inline constexpr std::uint8_t kLeftButton = 0x01;
inline constexpr std::uint8_t kRightButton = 0x02;
inline constexpr std::uint8_t kMiddleButton = 0x04;
inline constexpr std::uint8_t kShift = 0x10;
inline constexpr std::uint8_t kControl = 0x11;
inline constexpr std::uint8_t kAlt = 0x12;
inline constexpr std::uint8_t kEscape = 0x1B;
inline constexpr std::uint8_t kPageUp = 0x21;
inline constexpr std::uint8_t kPageDown = 0x22;
inline constexpr std::uint8_t kEnd = 0x23;
inline constexpr std::uint8_t kLeft = 0x25;
inline constexpr std::uint8_t kUp = 0x26;
inline constexpr std::uint8_t kRight = 0x27;
inline constexpr std::uint8_t kDown = 0x28;
inline constexpr std::uint8_t kPrintScreen = 0x2C;
inline constexpr std::uint8_t kInsert = 0x2D;
inline constexpr std::uint8_t kDelete = 0x2E;
inline constexpr std::uint8_t kF1 = 0x70;
inline constexpr std::uint8_t kF12 = 0x7B;  // the function keys run on from kF1

constexpr std::uint8_t F(int n) {
  return static_cast<std::uint8_t>(kF1 + n - 1);
}

}  // namespace pixtrel::vk
