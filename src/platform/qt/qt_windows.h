// The forms of the ui model as Qt widgets, kept in step both ways: a property a handler sets
// shows on screen, and a user's click, tick or typing updates the property and fires the event.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QWidget>

#include "ui/ui.h"
#include "ui/window_set.h"

namespace pixtrel {

// What a window asks of the backend that made it.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Where the window reports what happened to it, and runs its events.
  virtual ui::WindowSet& Windows() = 0;
  void Dispatch(const std::function<void()>& handler) { Windows().Run(handler); }
  // The primary screen in root-window coordinates; forms are placed relative to it.
  virtual ui::Rect PrimaryRect() = 0;
  // Where the system cuts no shapes out of windows and only the compositor moves them
  // (Wayland): a layered form's key colour is drawn see-through instead, the shape still taking
  // no clicks there, and a picture that drags its window asks the compositor to move it.
  virtual bool KeyedByAlpha() { return false; }
};

class ControlPeer;

class FormWindow : public QWidget, public ui::Peer {
 public:
  FormWindow(ui::Form& form, WindowHost& host);
  ~FormWindow() override;

  ui::Form& form() { return form_; }
  WindowHost& host() { return host_; }
  // True while the model is being copied onto the widgets: their signals are not the user's.
  bool syncing() const { return syncing_ > 0; }
  void Changed(ui::Control& control, ui::Property property) override;
  // Paints now whatever is pending and waits until the X server has it.
  void PaintNow();
  // Cuts the colour-keyed pixels out of the window, so they show and pass clicks through.
  void UpdateShape();
  // Whether a control of that colour is drawn see-through.
  bool Keyed(ui::ColorRef color) const;

  struct Sync {
    explicit Sync(FormWindow& window) : window(window) { ++window.syncing_; }
    ~Sync() { --window.syncing_; }
    FormWindow& window;
  };

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void ApplyForm();
  void SetTabOrder();
  // The widget of each kind of control, wired to the model; none for those without a window.
  QWidget* MakeWidget(ui::Control& control, QWidget* parent);
  QWidget* MakeButton(ui::Control& control, QWidget* parent);
  QWidget* MakeCheckBox(ui::Control& control, QWidget* parent);
  QWidget* MakeRadioButton(ui::Control& control, QWidget* parent);
  QWidget* MakeEdit(ui::Control& control, QWidget* parent);
  QWidget* MakeComboBox(ui::Control& control, QWidget* parent);
  QWidget* MakeSlider(ui::Control& control, QWidget* parent);
  QWidget* MakeLabel(ui::Control& control, QWidget* parent);
  static QWidget* MakeBevel(QWidget* parent);

  ui::Form& form_;
  WindowHost& host_;
  int syncing_ = 0;
  std::vector<std::unique_ptr<ControlPeer>> peers_;
};

}  // namespace pixtrel
