// The settings file's names, the words it stores, and what each reader asks of it.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/settings_store.h"

namespace pixtrel {

inline constexpr std::string_view kSettingsFileName = "Pixtrel.cfg";
inline constexpr std::string_view kSettingsSection = "Settings";
// The default save folder is the documents folder followed by this name.
inline constexpr std::string_view kDefaultFolderName = "Pixtrel";

// Readers compare with these byte for byte, letter case included.
inline constexpr std::string_view kYes = "oui";
inline constexpr std::string_view kNo = "non";
inline constexpr std::string_view kFormatBmp = "bmp";
inline constexpr std::string_view kFormatJpg = "jpg";
inline constexpr std::string_view kDefaultQuality = "100";
inline constexpr std::string_view kDefaultHotkeyName = "F12";

constexpr std::string_view YesNo(bool on) {
  return on ? kYes : kNo;
}

inline constexpr std::string_view kAutoRecKey = "AutoRec";
inline constexpr std::string_view kAutoRecFormatKey = "AutoRecFormat";
inline constexpr std::string_view kSaveFilePathKey = "SaveFilePath";
inline constexpr std::string_view kCompressionKey = "Compression";
inline constexpr std::string_view kHotkeyKey = "Pixtrel";
inline constexpr std::string_view kBorderKey = "BordBlanc";

// The order "Ok" writes them in, which is the order of a new file's lines.
inline constexpr std::array<std::string_view, 6> kWrittenKeys{
    kAutoRecKey, kAutoRecFormatKey, kSaveFilePathKey, kCompressionKey, kHotkeyKey, kBorderKey};

struct SettingRead {
  std::string_view key;  // as the reader spells it
  std::string_view default_text = {};
  // The default is the caller's documents folder + kDefaultFolderName, not default_text.
  bool default_is_folder = false;
  // Run's way: the key is read only when the section lists it, else the default is taken.
  bool only_if_listed = false;
};

// Preferences Initialize, in its reading order.
struct InitializeReads {
  SettingRead auto_rec, auto_rec_format, save_file_path, compression, hotkey, border;
};
inline constexpr InitializeReads kInitializeReads{
    .auto_rec = {.key = kAutoRecKey, .default_text = kNo},
    .auto_rec_format = {.key = kAutoRecFormatKey, .default_text = kFormatBmp},
    .save_file_path = {.key = kSaveFilePathKey, .default_is_folder = true},
    .compression = {.key = kCompressionKey, .default_text = kDefaultQuality},
    .hotkey = {.key = kHotkeyKey, .default_text = kDefaultHotkeyName},
    .border = {.key = kBorderKey, .default_text = kYes},
};

inline constexpr SettingRead kRunHotkeyRead{
    .key = kHotkeyKey, .default_text = kDefaultHotkeyName, .only_if_listed = true};

// TakeCapture's own spellings meet "Ok"'s because key names ignore letter case.
struct TakeCaptureReads {
  SettingRead auto_rec, auto_rec_format, save_file_path, compression;
};
inline constexpr TakeCaptureReads kTakeCaptureReads{
    .auto_rec = {.key = "autoRec", .default_text = kNo},
    .auto_rec_format = {.key = "autoRecFormat", .default_text = kFormatBmp},
    .save_file_path = {.key = kSaveFilePathKey, .default_is_folder = true},
    .compression = {.key = kCompressionKey, .default_text = kDefaultQuality},
};

inline constexpr SettingRead kOverlayBorderRead{.key = kBorderKey, .default_text = kYes};
inline constexpr SettingRead kViewerQualityRead{.key = kCompressionKey,
                                                .default_text = kDefaultQuality};

// `default_folder` is computed by the caller before each read, whether or not the key exists.
std::string ReadSetting(SettingsStore& file, const SettingRead& read,
                        const std::string& default_folder);
// For reads whose default is a fixed text.
std::string ReadSetting(SettingsStore& file, const SettingRead& read);

}  // namespace pixtrel
