#include "ui/window_set.h"

#include <algorithm>

namespace pixtrel::ui {

WindowSet::WindowSet(Dispatch dispatch, std::function<void()> quit)
    : dispatch_(std::move(dispatch)), quit_(std::move(quit)) {}

void WindowSet::Add(Form& form) {
  forms_.push_back(&form);
}

void WindowSet::Remove(Form& form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
  if (active_ == &form)
    active_ = nullptr;
}

Form* WindowSet::OwnerOf(const Control& control) const {
  for (Form* form : forms_) {
    if (std::find(form->controls.begin(), form->controls.end(), &control) != form->controls.end())
      return form;
  }
  return nullptr;
}

void WindowSet::Activated(Form& form) {
  if (active_ == &form)
    return;
  active_ = &form;
  if (form.on_activate)
    dispatch_(form.on_activate);
}

void WindowSet::Shown(Form& form) {
  if (form.window_state != WindowState::kMinimized)
    Activated(form);
}

void WindowSet::Hidden(Form& form) {
  if (active_ == &form)
    active_ = nullptr;
}

void WindowSet::CloseRequested(Form& form) {
  if (form.on_close) {
    dispatch_(form.on_close);
  } else if (IsMain(form)) {
    quit_();
  } else {
    form.SetVisible(false);
    Hidden(form);
  }
}

void WindowSet::Minimized(Form& form) {
  if (form.window_state == WindowState::kMinimized)
    return;
  form.window_state = WindowState::kMinimized;
  if (form.on_minimize)
    dispatch_(form.on_minimize);
}

void WindowSet::Moved(Form& form, Point top_left) {
  form.bounds.left = top_left.x;
  form.bounds.top = top_left.y;
}

void WindowSet::Resized(Form& form) {
  for (Control* control : form.controls) {
    if (control->FillsParent() && control->GetPeer() != nullptr)
      control->GetPeer()->Changed(*control, Property::kBounds);
  }
}

void WindowSet::SetCommand(const std::string& name, std::function<void()> handler) {
  commands_[name] = std::move(handler);
}

bool WindowSet::Command(const std::string& name) const {
  const auto it = commands_.find(name);
  if (it == commands_.end())
    return false;
  Run(it->second);
  return true;
}

}  // namespace pixtrel::ui
