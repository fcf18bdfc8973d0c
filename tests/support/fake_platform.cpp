#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace pixtrel::test {

FakePlatform::FakePlatform() : screen(64, 36, 32) {
  for (int y = 0; y < screen.Height(); ++y) {
    for (int x = 0; x < screen.Width(); ++x) {
      screen.SetPixelColor(x, y,
                           {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 7),
                            static_cast<std::uint8_t>(x + y)});
    }
  }
}

void FakePlatform::HoldFor(std::uint8_t key, int polls) {
  for (int i = 0; i < polls; ++i)
    script[key].push_back(0x8000);
}

std::uint16_t FakePlatform::AsyncKeyState(std::uint8_t key) {
  auto& answers = script[key];
  if (!answers.empty()) {
    const std::uint16_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  const std::uint16_t state = (down[key] ? 0x8000 : 0) | (pressed[key] ? 1 : 0);
  pressed[key] = false;
  return state;
}

void FakePlatform::CopyScreen(Bitmap& into, int x, int y) {
  const Bitmap* top = shown_on_top ? shown_on_top() : nullptr;
  const Bitmap& screen = top != nullptr && !top->Empty() ? *top : this->screen;
  std::fill(into.Pixels().begin(), into.Pixels().end(), 0);
  for (int row = 0; row < into.Height(); ++row) {
    for (int col = 0; col < into.Width(); ++col) {
      const int sx = x + col;
      const int sy = y + row;
      const bool inside = sx >= 0 && sy >= 0 && sx < screen.Width() && sy < screen.Height();
      const std::size_t bytes = static_cast<std::size_t>(into.Depth() / 8);
      if (inside && into.Depth() == screen.Depth() && bytes > 0) {
        std::memcpy(into.Row(row) + col * bytes, screen.Row(sy) + sx * bytes, bytes);
      }
    }
  }
}

void FakePlatform::CopyClient(WindowHandle, Bitmap& into) {
  const std::size_t rows =
      static_cast<std::size_t>(std::min(into.Height(), client_pixels.Height()));
  for (std::size_t row = 0; row < rows; ++row) {
    std::memcpy(into.Row(static_cast<int>(row)), client_pixels.Row(static_cast<int>(row)),
                std::min(into.Stride(), client_pixels.Stride()));
  }
}

bool FakePlatform::ClipboardOpen() {
  clipboard.push_back(clipboard_refuses ? "open refused" : "open");
  return !clipboard_refuses;
}

void FakePlatform::ClipboardEmpty() {
  clipboard.push_back("empty");
  clipboard_bitmap = Bitmap();
}

void FakePlatform::ClipboardSetBitmap(const Bitmap& picture) {
  clipboard.push_back("bitmap " + std::to_string(picture.Width()) + "x" +
                      std::to_string(picture.Height()));
  clipboard_bitmap = picture;
}

void FakePlatform::ClipboardSetPalette(const Bitmap&) {
  clipboard.push_back("palette");
}

void FakePlatform::ClipboardClose() {
  clipboard.push_back("close");
}

void FakePlatform::TrayAdd(const NotifyIconData& icon) {
  tray.push_back(std::string("add ") + icon.tip);
  if (!tray_shown_) {
    tray_shown_ = true;
    tray_tip_ = icon.tip;
  }
}

void FakePlatform::TrayDelete(const NotifyIconData&) {
  tray.push_back("delete");
  tray_shown_ = false;
}

ui::MenuItem* FakePlatform::PopupMenu(ui::PopupMenu& menu, ui::Point at) {
  popups.push_back(menu.Name() + " at " + std::to_string(at.x) + "," + std::to_string(at.y));
  if (menu_answers.empty())
    return nullptr;
  ui::MenuItem* chosen = menu_answers.front();
  menu_answers.pop_front();
  return chosen;
}

void FakePlatform::RunPosted() {
  while (!posted.empty()) {
    const std::function<void()> event = std::move(posted.front());
    posted.pop_front();
    event();
  }
}

bool FakePlatform::EnableTimer(ui::Timer& timer, bool enabled) {
  if (enabled && timer_refused)
    return false;
  if (std::find(timers_.begin(), timers_.end(), &timer) == timers_.end())
    timers_.push_back(&timer);
  if (enabled && !timer_on)
    ++timer_starts;
  timer_on = enabled;
  return true;
}

void FakePlatform::DestroyFormWindow(ui::Form& form) {
  // A window's timers go with it.
  std::erase_if(timers_, [&](ui::Timer* timer) { return windows_->OwnerOf(*timer) == &form; });
  if (destroy_window)
    destroy_window(form);
}

void FakePlatform::FireTimers() {
  // A stopped timer does not fire.
  if (!timer_on)
    return;
  for (ui::Timer* timer : timers_)
    windows_->Run([timer] { timer->Tick(); });
}

std::optional<std::string> FakePlatform::RunSaveDialog(ui::SaveDialog& dialog) {
  offered.push_back(dialog.file_name);
  if (save_answers.empty())
    return std::nullopt;
  std::optional<std::string> answer = save_answers.front();
  save_answers.pop_front();
  // A name typed without an extension gets the dialog's default one.
  if (answer && answer->find('.', answer->find_last_of('/') + 1) == std::string::npos) {
    *answer += "." + dialog.default_ext;
  }
  return answer;
}

std::optional<std::string> FakePlatform::BrowseForFolder(const std::string& title) {
  browser_titles.push_back(title);
  if (folder_answers.empty())
    return std::nullopt;
  std::optional<std::string> answer = folder_answers.front();
  folder_answers.pop_front();
  return answer;
}

ClockReading FakePlatform::Now() {
  if (!readings.empty()) {
    const ClockReading reading = readings.front();
    readings.pop_front();
    return reading;
  }
  const ClockReading reading = now;
  now.millisecond += ms_per_reading;
  while (now.millisecond >= 1000) {
    now.millisecond -= 1000;
    if (++now.second == 60) {
      now.second = 0;
      ++now.minute;
    }
  }
  return reading;
}

}  // namespace pixtrel::test
