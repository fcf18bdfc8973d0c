// Turning a hotkey press into a picture, and routing it: viewer, overlay or auto-record.
#include <algorithm>

#include "app/application.h"
#include "capture/bmp_writer.h"
#include "capture/capture_stamp.h"
#include "capture/clipboard.h"
#include "capture/jpeg_writer.h"
#include "core/int_text.h"
#include "core/key_codes.h"
#include "settings/settings_keys.h"

namespace pixtrel {

void TForm1::TakeCapture() {
  Platform& platform = app_.platform();
  Bitmap& capture = Image1.Picture();
  Bitmap& frozen = Form4->Image2.Picture();
  capture.Clear();
  frozen.Clear();
  RegionMode = false;

  const int depth = platform.ScreenDepth();
  const ui::Rect screen = platform.ScreenRect();
  if (platform.AsyncKeyState(vk::kAlt) != 0) {
    const WindowHandle window = platform.ForegroundWindow();
    const ui::Rect rect = window != 0 ? platform.WindowRect(window) : ui::Rect{};
    capture.Reshape(std::max(rect.width, 0), std::max(rect.height, 0), depth);
    platform.CopyScreen(capture, rect.left, rect.top);
    Image1.PictureChanged();
    PlaceOnClipboard(platform, capture);
  } else if (platform.AsyncKeyState(vk::kControl) != 0) {
    const WindowHandle window = platform.ForegroundWindow();
    const ui::Rect rect = window != 0 ? platform.ClientRect(window) : ui::Rect{};
    capture.Reset(std::max(rect.width, 0), std::max(rect.height, 0), depth);
    if (window != 0)
      platform.CopyClient(window, capture);
    Image1.PictureChanged();
    PlaceOnClipboard(platform, capture);
  } else if (platform.AsyncKeyState(vk::kShift) != 0) {
    frozen.Reshape(screen.width, screen.height, depth);
    platform.CopyScreen(frozen, 0, 0);
    Form4->Image2.PictureChanged();
    Image1.PictureChanged();
    RegionMode = true;
  } else {
    capture.Reshape(screen.width, screen.height, depth);
    platform.CopyScreen(capture, 0, 0);
    Image1.PictureChanged();
    PlaceOnClipboard(platform, capture);
  }

  std::string auto_rec, format, folder, quality;
  {
    OpenSettings settings(platform.Settings());
    const std::string default_folder = app_.DefaultFolder();
    auto_rec = ReadSetting(settings, kTakeCaptureReads.auto_rec);
    format = ReadSetting(settings, kTakeCaptureReads.auto_rec_format);
    folder = ReadSetting(settings, kTakeCaptureReads.save_file_path, default_folder);
    quality = ReadSetting(settings, kTakeCaptureReads.compression);
  }

  if (RegionMode) {
    app_.ShowForm(*Form4);
    RestoreMainForm();
  } else if (auto_rec == kNo) {
    RestoreMainForm();
  } else {
    AutoRecord(format, folder, quality);
  }
}

void TForm1::AutoRecord(const std::string& format, const std::string& folder,
                        const std::string& quality) {
  Platform& platform = app_.platform();
  // Two captures in one millisecond would share a name and the second would destroy the
  // first: wait for the clock to move on.
  std::string stamp;
  do {
    const ClockReading date = platform.Now();
    stamp = CaptureStamp(date, platform.Now());
  } while (stamp == last_stamp_);
  last_stamp_ = stamp;

  platform.FileSystem().MakeFolder(folder);
  if (format == kFormatBmp) {
    SaveBmp(Image1.Picture(), app_.JoinPath(folder, stamp + ".bmp"), platform.FileSystem());
  }
  if (format == kFormatJpg) {
    const int value = StrToInt(quality);
    SaveJpeg(Image1.Picture(), app_.JoinPath(folder, stamp + ".jpg"), value, platform.FileSystem());
  }
}

}  // namespace pixtrel
