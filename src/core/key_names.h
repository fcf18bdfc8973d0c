// The hotkey names the settings file stores and the preferences list offers, in list order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/key_codes.h"

namespace pixtrel {

struct KeyName {
  std::string_view name;
  std::uint8_t code;  // Windows virtual-key code, on every platform
};

inline constexpr std::uint8_t kDefaultHotkey = vk::kF12;

inline constexpr std::array<KeyName, 26> kKeyNames{{
    {"Echap", vk::kEscape},
    {"F1", vk::F(1)},
    {"F2", vk::F(2)},
    {"F3", vk::F(3)},
    {"F4", vk::F(4)},
    {"F5", vk::F(5)},
    {"F6", vk::F(6)},
    {"F7", vk::F(7)},
    {"F8", vk::F(8)},
    {"F9", vk::F(9)},
    {"F10", vk::F(10)},
    {"F11", vk::F(11)},
    {"F12", vk::kF12},
    {"Impr.Ecr", vk::kPrintScreen},
    {"Fin", vk::kEnd},
    {"Inser", vk::kInsert},
    {"Suppr", vk::kDelete},
    {"Pg.UP", vk::kPageUp},
    {"Pg.DW", vk::kPageDown},
    {"Arrow.UP", vk::kUp},
    {"Arrow.DW", vk::kDown},
    {"Arrow.LT", vk::kLeft},
    {"Arrow.RT", vk::kRight},
    {"Mouse.L", vk::kLeftButton},
    {"Mouse.R", vk::kRightButton},
    {"Mouse.M", vk::kMiddleButton},
}};

// Exact, case-sensitive match; anything else, the empty name included, is F12.
std::uint8_t HotkeyCodeFor(std::string_view name);

}  // namespace pixtrel
