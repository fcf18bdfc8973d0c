// The forms of the ui model as Win32 windows and common controls, kept in step both ways: a
// property a handler sets shows on screen, and a user's click, tick, slide or typing updates
// the property and fires its event once.
#pragma once

#include <functional>
#include <memory>

#include "ui/ui.h"
#include "ui/window_set.h"

namespace pixtrel::win32 {

// What a window asks of the backend that made it.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Where the window reports what happened to it, and runs its events.
  virtual ui::WindowSet& Windows() = 0;
  void Dispatch(const std::function<void()>& handler) { Windows().Run(handler); }
  // The message loop has ended: the windows only go now, each hidden by its destruction.
  virtual bool Ending() = 0;
  // The form's window has just been shown, or hidden.
  virtual void Shown(ui::Form& form) = 0;
  virtual void Hidden(ui::Form& form) = 0;
  // A timer of the window fired, by the number it was set with.
  virtual void TimerFired(unsigned id) = 0;
  // Another program asks for a clipboard format the window placed without its data.
  virtual void RenderClipboard(unsigned format) = 0;
};

struct FormPeer;

class FormWindow {
 public:
  // `owner`: the application's window, which owns every form and alone has the taskbar button.
  FormWindow(ui::Form& form, WindowHost& host, void* owner);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  ui::Form& form();
  void* Handle() const;  // the HWND
  // Paints now whatever is pending, so that a screen copy sees it.
  void PaintNow();

 private:
  std::unique_ptr<FormPeer> peer_;
};

// Runs the message loop until WM_QUIT; tab and arrow keys move between a dialog's controls.
void RunMessageLoop();

}  // namespace pixtrel::win32
