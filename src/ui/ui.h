// Toolkit-neutral windows and controls. A form builds its layout once from these objects;
// a backend mirrors them onto native widgets, and tests drive them with no native peer.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace pixtrel::ui {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Colours as 0x00BBGGRR, with the system colours of the layouts as named constants.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kBlack = 0x000000;
inline constexpr ColorRef kWhite = 0xFFFFFF;
inline constexpr ColorRef kFuchsia = 0xFF00FF;
inline constexpr ColorRef kBlue = 0xFF0000;
inline constexpr ColorRef kWindowText = 0x80000008;
inline constexpr ColorRef kButtonFace = 0x8000000F;

enum class Cursor { kDefault, kSizeAll, kHand, kDrag, kCross };

enum class Align { kLeft, kRight, kCenter };

struct Font {
  std::string name = "MS Sans Serif";
  int height = -11;  // negative: character height in pixels, as the layouts give it
  bool bold = false;
  bool underline = false;
  ColorRef color = kWindowText;
  bool ansi_charset = false;
  friend bool operator==(const Font&, const Font&) = default;
};

enum class Kind {
  kForm,
  kButton,
  kCheckBox,
  kRadioButton,
  kEdit,
  kComboBox,
  kSlider,
  kLabel,
  kGroupBox,
  kBevel,
  kImage,
  kToolStrip,
  kPopupMenu,
  kMenuItem,
  kTimer,
  kSaveDialog,
};

enum class MouseButton { kLeft, kRight, kMiddle };
// The buttons held during a move.
enum HeldButtons : unsigned { kHeldLeft = 1, kHeldRight = 2, kHeldMiddle = 4 };

class Control;

// What a handler changed, so that a backend applies that alone and echoes nothing back.
enum class Property {
  kBounds,
  kCaption,
  kEnabled,
  kVisible,
  kChecked,
  kText,
  kPosition,
  kFont,
  kColor,
  kCursor,
  kPicture,  // an image's picture, in its changed_area
};

// A backend's native counterpart: told of every property a handler changes.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual void Changed(Control& control, Property property) = 0;
};

class Control {
 public:
  Control(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Kind GetKind() const { return kind_; }
  const std::string& Name() const { return name_; }

  // Layout properties. Bounds, font, colour and cursor may change later, through their setters.
  Rect bounds;
  Font font;
  bool parent_font = true;
  ColorRef color = kButtonFace;
  Cursor cursor = Cursor::kDefault;
  int tab_order = -1;
  bool right_to_left = false;
  bool transparent = false;
  // Labels: where the text sits, and whether it wraps onto more lines.
  Align alignment = Align::kLeft;
  bool word_wrap = false;
  // Sliders: range, tick spacing and the arrow- and page-key steps.
  int min = 0, max = 10, frequency = 1, line_size = 1, page_size = 2;
  // Editable lists: the choices, in order.
  std::vector<std::string> items;

  // State properties: set through the setters so that a peer can follow.
  void SetBounds(Rect rect) { Set(bounds, rect, Property::kBounds); }
  void SetFont(Font value) { Set(font, std::move(value), Property::kFont); }
  void SetColor(ColorRef value) { Set(color, value, Property::kColor); }
  void SetCursor(Cursor value) { Set(cursor, value, Property::kCursor); }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { Set(caption_, std::move(caption), Property::kCaption); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { Set(enabled_, enabled, Property::kEnabled); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { Set(visible_, visible, Property::kVisible); }
  // Check boxes and radio buttons.
  bool Checked() const { return checked_; }
  void SetChecked(bool checked) { Set(checked_, checked, Property::kChecked); }
  // Edit boxes and editable lists.
  const std::string& Text() const { return text_; }
  void SetText(std::string text) { Set(text_, std::move(text), Property::kText); }
  // Sliders.
  int Position() const { return position_; }
  void SetPosition(int position) { Set(position_, position, Property::kPosition); }

  // Whether the tab key and clicks can give it the focus.
  bool Focusable() const {
    return kind_ != Kind::kLabel && kind_ != Kind::kGroupBox && kind_ != Kind::kImage;
  }
  // A control laid out with no size takes its parent's whole client area.
  bool FillsParent() const { return bounds.width == 0 && bounds.height == 0; }
  // Where the control sits in a parent whose client area has the given size.
  Rect BoundsIn(int parent_width, int parent_height) const {
    return FillsParent() ? Rect{0, 0, parent_width, parent_height} : bounds;
  }
  // A one-line, left-aligned label grows to fit its text when the face drawn is wider than the
  // one the layout was made for, as a label that sizes itself would.
  Rect BoundsForText(int text_width) const {
    Rect fitted = bounds;
    if (kind_ == Kind::kLabel && !word_wrap && alignment == Align::kLeft &&
        text_width > fitted.width)
      fitted.width = text_width;
    return fitted;
  }

  // Events, bound to a form's handlers by name.
  std::string on_click_name;
  std::function<void()> on_click;
  std::string on_change_name;  // a slider's position or an edit's text changed
  std::function<void()> on_change;
  std::string on_mouse_move_name;
  std::function<void()> on_mouse_move;
  std::string on_mouse_leave_name;
  std::function<void()> on_mouse_leave;
  // Runs the click as a user's would: only while enabled.
  void Click() {
    if (enabled_ && on_click)
      on_click();
  }

  void SetPeer(Peer* peer) { peer_ = peer; }
  Peer* GetPeer() const { return peer_; }

 protected:
  template <typename T>
  void Set(T& field, T value, Property property) {
    if (field == value)
      return;
    field = std::move(value);
    if (peer_ != nullptr)
      peer_->Changed(*this, property);
  }

 private:
  Kind kind_;
  std::string name_;
  std::string caption_;
  std::string text_;
  bool checked_ = false;
  int position_ = 0;
  bool enabled_ = true;
  bool visible_ = true;
  Peer* peer_ = nullptr;
};

struct MouseHandlers {
  std::string down_name, move_name, up_name;
  std::function<void(MouseButton, Point)> down;
  std::function<void(unsigned held, Point)> move;
  std::function<void(MouseButton, Point)> up;
};

class Image : public Control {
 public:
  explicit Image(std::string name) : Control(Kind::kImage, std::move(name)) {}
  bool stretch = false;
  bool proportional = false;
  bool center = false;
  // A picture the program carries (by file name), shown instead of Picture().
  std::string picture_file;
  MouseHandlers mouse;

  const Bitmap& Picture() const { return picture_; }
  Bitmap& Picture() { return picture_; }
  // Call after changing the picture, so that it is repainted.
  // `area` in picture pixels; the whole picture when left out.
  void PictureChanged(Rect area = {0, 0, -1, -1}) {
    changed_area = area;
    if (GetPeer() != nullptr)
      GetPeer()->Changed(*this, Property::kPicture);
  }
  Rect changed_area;

 private:
  Bitmap picture_;
};

class MenuItem : public Control {
 public:
  explicit MenuItem(std::string name) : Control(Kind::kMenuItem, std::move(name)) {}
};

class PopupMenu : public Control {
 public:
  explicit PopupMenu(std::string name) : Control(Kind::kPopupMenu, std::move(name)) {}
  std::vector<MenuItem*> entries;
};

class Timer : public Control {
 public:
  explicit Timer(std::string name) : Control(Kind::kTimer, std::move(name)) {}
  int interval_ms = 1000;
  std::function<void()> on_timer;
  std::string on_timer_name;
  // A tick from the system: a tick already queued when the timer was disabled does nothing.
  void Tick() {
    if (Enabled() && on_timer)
      on_timer();
  }
};

class SaveDialog : public Control {
 public:
  explicit SaveDialog(std::string name) : Control(Kind::kSaveDialog, std::move(name)) {}
  std::string default_ext;
  std::string filter;     // "label|pattern"
  std::string file_name;  // the last confirmed path, offered again
};

enum class FormBorder { kNone, kDialog, kSizeable };
enum class WindowState { kNormal, kMinimized, kMaximized };

class Form : public Control {
 public:
  explicit Form(std::string name) : Control(Kind::kForm, std::move(name)) { SetVisible(false); }
  FormBorder border = FormBorder::kSizeable;
  bool title_buttons = true;  // with a title bar: the close, minimise and maximise boxes
  bool topmost = false;
  bool layered = false;
  ColorRef transparent_color = kFuchsia;  // with layered: the colour key
  int alpha = 255;                        // with layered
  bool centred_once = false;              // centred on the primary screen the first time shown
  bool shown_before = false;
  WindowState window_state = WindowState::kNormal;
  // Every control, in creation order.
  std::vector<Control*> controls;
  // Where each control sits: its parent group box, or nothing for the form itself.
  std::vector<std::pair<Control*, Control*>> parents;
  // The form's handlers by name; the layout binds events to them through Bind.
  std::map<std::string, std::function<void()>> handlers;
  // An event as the pair of fields that name its handler and run it.
  struct Event {
    std::string Control::*name;
    std::function<void()> Control::*run;
  };
  static constexpr Event kClick{&Control::on_click_name, &Control::on_click};
  static constexpr Event kChange{&Control::on_change_name, &Control::on_change};
  static constexpr Event kMouseMove{&Control::on_mouse_move_name, &Control::on_mouse_move};
  static constexpr Event kMouseLeave{&Control::on_mouse_leave_name, &Control::on_mouse_leave};
  void Bind(Control& control, const std::string& handler, Event event = kClick) {
    control.*event.run = handlers.at(handler);
    control.*event.name = handler;
  }

  // One row of a layout table: where a control sits and what it says.
  struct Row {
    Control* control;
    Control* parent;  // its group box, or nothing for the form itself
    Rect bounds;
    std::string caption;
    int tab_order;
  };
  // The group box a control sits in, or nothing for the form itself.
  Control* ParentOf(const Control& control) const;
  // A user's choice of a radio button: it is checked, and the others of its parent are not.
  void CheckRadio(Control& radio);
  // The controls the tab key visits, in order: each group box takes its turn as a whole, its
  // own controls in their order at that point.
  std::vector<Control*> TabOrder() const;

  // Places each row's control, in creation order.
  void Lay(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
      row.control->bounds = row.bounds;
      row.control->SetCaption(row.caption);
      row.control->tab_order = row.tab_order;
      controls.push_back(row.control);
      parents.emplace_back(row.control, row.parent);
    }
  }
  // Window events.
  std::function<void()> on_activate;  // became the program's active window
  // The mouse moved over the window's own surface; the tray's callbacks arrive here too.
  std::string on_form_mouse_move_name;
  std::function<void(Point)> on_form_mouse_move;
  // The application was minimised through this window (not run when it already was).
  std::function<void()> on_minimize;
  std::function<void()> on_close;  // a close request; the form decides what it means
  std::function<void()> on_destroy;
};

}  // namespace pixtrel::ui
