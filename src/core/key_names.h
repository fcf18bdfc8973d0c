// The hotkey names the settings file stores and the preferences list offers, in list order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pixtrel {

struct KeyName {
  std::string_view name;
  std::uint8_t code;  // Windows virtual-key code, on every platform
};

inline constexpr std::uint8_t kDefaultHotkey = 0x7B;  // F12

inline constexpr std::array<KeyName, 26> kKeyNames{{
    {"Echap", 0x1B},    {"F1", 0x70},       {"F2", 0x71},       {"F3", 0x72},
    {"F4", 0x73},       {"F5", 0x74},       {"F6", 0x75},       {"F7", 0x76},
    {"F8", 0x77},       {"F9", 0x78},       {"F10", 0x79},      {"F11", 0x7A},
    {"F12", 0x7B},      {"Impr.Ecr", 0x2C}, {"Fin", 0x23},      {"Inser", 0x2D},
    {"Suppr", 0x2E},    {"Pg.UP", 0x21},    {"Pg.DW", 0x22},    {"Arrow.UP", 0x26},
    {"Arrow.DW", 0x28}, {"Arrow.LT", 0x25}, {"Arrow.RT", 0x27}, {"Mouse.L", 0x01},
    {"Mouse.R", 0x02},  {"Mouse.M", 0x04},
}};

// Exact, case-sensitive match; anything else, the empty name included, is F12.
std::uint8_t HotkeyCodeFor(std::string_view name);

}  // namespace pixtrel
