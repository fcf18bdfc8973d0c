// The application object: the window set, start-up and shutdown, and the one place where an
// error raised by a handler becomes the error box.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/forms.h"
#include "platform/platform.h"

namespace pixtrel {

// The show commands a process may be started with, as the system numbers them.
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMaximized = 3;
inline constexpr int kShowMinimized = 7;

class Application {
 public:
  // Start-up: the title, then the four windows in order, each creation handler dispatched.
  explicit Application(Platform& platform);
  // Shutdown: visible windows hidden, then destroyed, the last created first.
  ~Application();

  Platform& platform() { return platform_; }
  ui::WindowSet& windows() { return windows_; }
  const std::string& Title() const { return title_; }

  // Runs one event's handler; an error shows the error box and the program goes on.
  void Dispatch(const std::function<void()>& handler);
  // The show command the process was started with, applied before the loop starts.
  void ApplyShowCommand(int show_command);

  void ShowForm(ui::Form& form);
  void HideForm(ui::Form& form);
  // To the front and active: a form, or the application's front form.
  void Raise(ui::Form& form);
  void BringToFront();
  // Runs the menu modally; the chosen item's click comes afterwards, as an event of its own.
  void PopupMenu(ui::PopupMenu& menu, ui::Point at);
  // The settings folder auto-record and the dialog fall back to.
  std::string DefaultFolder();
  std::string JoinPath(const std::string& folder, const std::string& name);

 private:
  void ShowError(const std::string& message);
  // A form's window, made and dropped with its place in the window set.
  void Make(ui::Form& form);
  void Unmake(ui::Form& form);

  Platform& platform_;
  ui::WindowSet windows_;
  std::string title_ = "Pixtrel";
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm4> form4_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
};

}  // namespace pixtrel
