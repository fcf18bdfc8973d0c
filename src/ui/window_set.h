// The program's windows as one set: which form is the main one and which is active, and what a
// close, a minimise, a move, a resize or an activation that the system reports means. A backend
// reports what happened to a window and applies the forms' properties; it decides nothing, and
// the fake platform of the tests runs the same rules as the real ones.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace pixtrel::ui {

class WindowSet {
 public:
  // Runs one event's handler; an error it raises shows the error box and the program goes on.
  using Dispatch = std::function<void(const std::function<void()>&)>;
  // `quit`: ends the program once the current event is done.
  WindowSet(Dispatch dispatch, std::function<void()> quit);

  // Forms as they are made and destroyed; the first one made is the main form.
  void Add(Form& form);
  void Remove(Form& form);
  Form* Main() const { return forms_.empty() ? nullptr : forms_.front(); }
  bool IsMain(const Form& form) const { return Main() == &form; }
  Form* Active() const { return active_; }
  // The form that bringing the application forward brings: the active one, else the main one.
  Form* Front() const { return active_ != nullptr ? active_ : Main(); }
  // The form a control belongs to: a timer runs on its form's window and goes with it.
  Form* OwnerOf(const Control& control) const;

  void Run(const std::function<void()>& handler) const { dispatch_(handler); }

  // What the system reported of a form's window.
  // It became the program's active window: its activation handler runs, once for each time.
  void Activated(Form& form);
  // It was shown (or hidden) as the form asked: shown other than minimised, it is active.
  void Shown(Form& form);
  void Hidden(Form& form);
  // The user asked to close it: its close handler decides; without one, closing the main form
  // ends the program and any other only hides.
  void CloseRequested(Form& form);
  // The system minimised it (a taskbar, a shortcut, a window manager): that is the
  // application's minimise, whose handler runs unless it was minimised already.
  void Minimized(Form& form);
  // The user moved it to `top_left`: the form keeps where it was left, nothing applied back.
  void Moved(Form& form, Point top_left);
  // Its size changed: the controls laid out to fill it take the new size.
  void Resized(Form& form);

  // What the desktop's launcher or another start of the program asks for by name, as a menu
  // item would: false when the program has no such command.
  void SetCommand(const std::string& name, std::function<void()> handler);
  bool Command(const std::string& name) const;

 private:
  Dispatch dispatch_;
  std::function<void()> quit_;
  std::vector<Form*> forms_;
  Form* active_ = nullptr;
  std::map<std::string, std::function<void()>> commands_;
};

}  // namespace pixtrel::ui
