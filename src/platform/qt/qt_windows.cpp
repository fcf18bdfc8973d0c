#include "platform/qt/qt_windows.h"

#include <algorithm>
#include <map>
#include <optional>

#include <QBitmap>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QWindow>

#include "platform/qt/qt_convert.h"
#include "ui/combo.h"
#include "ui/placement.h"

namespace pixtrel {
namespace {

ui::MouseButton ToButton(Qt::MouseButton button) {
  if (button == Qt::RightButton)
    return ui::MouseButton::kRight;
  if (button == Qt::MiddleButton)
    return ui::MouseButton::kMiddle;
  return ui::MouseButton::kLeft;
}

unsigned ToHeld(Qt::MouseButtons buttons) {
  unsigned held = 0;
  if (buttons & Qt::LeftButton)
    held |= ui::kHeldLeft;
  if (buttons & Qt::RightButton)
    held |= ui::kHeldRight;
  if (buttons & Qt::MiddleButton)
    held |= ui::kHeldMiddle;
  return held;
}

ui::Point ToPoint(const QPointF& p) {
  return {static_cast<int>(p.x()), static_cast<int>(p.y())};
}

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

// Labels, bevels and images are drawn on their parent, below every control with a window.
bool DrawnOnParent(ui::Kind kind) {
  return kind == ui::Kind::kLabel || kind == ui::Kind::kBevel || kind == ui::Kind::kImage;
}

// Shows an Image's picture where the model places it, or a picture the program carries.
class ImageWidget : public QWidget {
 public:
  ImageWidget(ui::Image& image, FormWindow& owner, QWidget* parent)
      : QWidget(parent), image_(image), owner_(owner) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, !image.transparent);
    if (!image.picture_file.empty()) {
      carried_ =
          QImage(":/" + ToQString(image.picture_file)).convertToFormat(QImage::Format_ARGB32);
      if (image.transparent && !carried_.isNull()) {
        const ui::Point at = ui::TransparentKeyPixel(carried_.width(), carried_.height());
        const QRgb key = carried_.pixel(at.x, at.y);
        for (int y = 0; y < carried_.height(); ++y) {
          auto* row = reinterpret_cast<QRgb*>(carried_.scanLine(y));
          for (int x = 0; x < carried_.width(); ++x) {
            if (row[x] == key)
              row[x] = 0;
          }
        }
      }
    }
  }

  void PictureChanged() {
    const ui::Rect repaint = ui::RepaintRect(image_, width(), height());
    if (ui::ScalesPicture(image_)) {
      stale_ = true;
      update();
      if (owner_.isVisible())
        owner_.UpdateShape();
      return;
    }
    // The unscaled picture is kept converted; only its changed area is converted again.
    if (image_.changed_area.width < 0)
      shown_ = ToQImage(image_.Picture());
    else
      CopyArea(image_.Picture(), image_.changed_area, shown_);
    update(repaint.left, repaint.top, repaint.width, repaint.height);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    if (!carried_.isNull()) {
      painter.drawImage(0, 0, carried_);
      return;
    }
    if (ui::ScalesPicture(image_)) {
      if (stale_ || shown_.size() != size()) {
        shown_ = ToQImage(RenderViewerImage(image_.Picture(), width(), height()));
        stale_ = false;
      }
      painter.drawImage(0, 0, shown_);
      return;
    }
    painter.fillRect(event->rect(), palette().window());
    if (shown_.isNull())
      return;
    const ui::Rect r = ui::PictureRect(image_, width(), height());
    const QRect place(r.left, r.top, r.width, r.height);
    if (place.size() == shown_.size())
      painter.drawImage(event->rect().topLeft(), shown_,
                        event->rect().translated(-place.topLeft()));
    else
      painter.drawImage(place, shown_);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (image_.mouse.down)
      owner_.host().Dispatch([&] { image_.mouse.down(ToButton(event->button()), At(event)); });
    // A picture that drags its window (the move cursor says so), where only the compositor
    // may move windows: it moves this one.
    if (owner_.host().KeyedByAlpha() && image_.cursor == ui::Cursor::kSizeAll &&
        window()->windowHandle() != nullptr)
      window()->windowHandle()->startSystemMove();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (image_.mouse.move)
      owner_.host().Dispatch([&] { image_.mouse.move(ToHeld(event->buttons()), At(event)); });
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (image_.mouse.up)
      owner_.host().Dispatch([&] { image_.mouse.up(ToButton(event->button()), At(event)); });
  }

 private:
  static ui::Point At(QMouseEvent* event) { return ToPoint(event->position()); }

  ui::Image& image_;
  FormWindow& owner_;
  QImage carried_;
  QImage shown_;
  bool stale_ = true;
};

// A label that reports the pointer moving over it, leaving it, and clicks.
class LabelWidget : public QLabel {
 public:
  LabelWidget(ui::Control& control, FormWindow& owner, QWidget* parent)
      : QLabel(parent), control_(control), owner_(owner) {
    setMouseTracking(true);
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    if (control_.on_mouse_move)
      owner_.host().Dispatch(control_.on_mouse_move);
    QLabel::mouseMoveEvent(event);
  }
  void leaveEvent(QEvent* event) override {
    if (control_.on_mouse_leave)
      owner_.host().Dispatch(control_.on_mouse_leave);
    QLabel::leaveEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      owner_.host().Dispatch([this] { control_.Click(); });
  }

 private:
  ui::Control& control_;
  FormWindow& owner_;
};

// The editable list's line: every typed character goes through the list's completion.
class CompletingLine : public QLineEdit {
 public:
  CompletingLine(ui::Control& control, QWidget* parent) : QLineEdit(parent), control_(control) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString typed = event->text();
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    if (plain && typed.size() == 1) {
      const ui::ComboEdit before{text().toStdString(),
                                 static_cast<std::size_t>(std::max(0, Start())),
                                 static_cast<std::size_t>(selectedText().size())};
      if (const std::optional<ui::ComboEdit> after =
              ui::CompleteTyping(before, typed[0].unicode(), control_.items)) {
        setText(ToQString(after->text));
        setSelection(static_cast<int>(after->selection_start + after->selection_length),
                     -static_cast<int>(after->selection_length));
        if (after->selection_length == 0)
          setCursorPosition(static_cast<int>(after->selection_start));
        emit textEdited(text());
        return;
      }
    }
    QLineEdit::keyPressEvent(event);
  }

 private:
  int Start() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }
  ui::Control& control_;
};

}  // namespace

// One control's widget, and the copying between the two.
class ControlPeer : public ui::Peer {
 public:
  ControlPeer(ui::Control& control, QWidget* widget, FormWindow& owner)
      : control_(control), widget_(widget), owner_(owner) {
    control.SetPeer(this);
  }
  ~ControlPeer() override { control_.SetPeer(nullptr); }

  ui::Control& control() { return control_; }
  QWidget* widget() { return widget_; }

  void Changed(ui::Control&, ui::Property property) override { Apply(property); }

  void ApplyAll() {
    for (const ui::Property property :
         {ui::Property::kBounds, ui::Property::kEnabled, ui::Property::kVisible,
          ui::Property::kFont, ui::Property::kCursor, ui::Property::kCaption,
          ui::Property::kChecked, ui::Property::kText, ui::Property::kPosition,
          ui::Property::kColor})
      Apply(property);
  }

  void PlaceInParent() {
    const QSize parent = widget_->parentWidget()->size();
    ui::Rect b = control_.BoundsIn(parent.width(), parent.height());
    if (control_.GetKind() == ui::Kind::kLabel)
      b = control_.BoundsForText(widget_->sizeHint().width());
    if (widget_->geometry() != QRect(b.left, b.top, b.width, b.height))
      widget_->setGeometry(b.left, b.top, b.width, b.height);
  }

  // Copies one property onto the widget; nothing it does counts as the user's.
  void Apply(ui::Property property) {
    FormWindow::Sync sync(owner_);
    const QString caption = ToQString(control_.Caption());
    switch (property) {
      case ui::Property::kBounds:
        PlaceInParent();
        break;
      case ui::Property::kEnabled:
        widget_->setEnabled(control_.Enabled());
        break;
      case ui::Property::kVisible:
        widget_->setVisible(control_.Visible());
        break;
      case ui::Property::kFont:
        if (!control_.parent_font)
          widget_->setFont(ToQFont(control_.font));
        if (control_.GetKind() == ui::Kind::kLabel)
          ApplyTextColor();
        break;
      case ui::Property::kCursor:
        widget_->setCursor(ToQtCursor(control_.cursor));
        break;
      case ui::Property::kCaption:
        if (auto* button = qobject_cast<QAbstractButton*>(widget_))
          button->setText(caption);
        else if (auto* box = qobject_cast<QGroupBox*>(widget_))
          box->setTitle(caption);
        else if (auto* label = qobject_cast<QLabel*>(widget_)) {
          label->setText(caption);
          PlaceInParent();
        }
        break;
      case ui::Property::kChecked:
        if (auto* button = qobject_cast<QAbstractButton*>(widget_); button && button->isCheckable())
          button->setChecked(control_.Checked());
        break;
      case ui::Property::kText:
        if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
          if (edit->text() != ToQString(control_.Text()))
            edit->setText(ToQString(control_.Text()));
        } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
          if (combo->currentText() != ToQString(control_.Text()))
            combo->setEditText(ToQString(control_.Text()));
        }
        break;
      case ui::Property::kPosition:
        if (auto* slider = qobject_cast<QSlider*>(widget_))
          slider->setValue(control_.Position());
        break;
      case ui::Property::kColor:
        if (control_.GetKind() == ui::Kind::kToolStrip) {
          QPalette strip = widget_->palette();
          strip.setColor(QPalette::Window, owner_.Keyed(control_.color)
                                               ? QColor(Qt::transparent)
                                               : ToQColor(control_.color, Qt::black, Qt::black));
          widget_->setPalette(strip);
        }
        break;
      case ui::Property::kPicture:
        if (control_.GetKind() == ui::Kind::kImage)
          static_cast<ImageWidget*>(widget_)->PictureChanged();
        break;
    }
  }

 private:
  void ApplyTextColor() {
    QPalette palette = widget_->palette();
    const QPalette base = owner_.palette();
    palette.setColor(QPalette::WindowText,
                     ToQColor(control_.font.color, base.color(QPalette::WindowText),
                              base.color(QPalette::Window)));
    widget_->setPalette(palette);
  }

  ui::Control& control_;
  QWidget* widget_;
  FormWindow& owner_;
};

FormWindow::FormWindow(ui::Form& form, WindowHost& host)
    : QWidget(nullptr), form_(form), host_(host) {
  Qt::WindowFlags flags = Qt::Window;
  if (form.border == ui::FormBorder::kNone)
    flags |= Qt::FramelessWindowHint;
  else if (!form.title_buttons)
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (form.topmost)
    flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  setAttribute(Qt::WA_QuitOnClose, false);
  if (form.layered)
    setWindowOpacity(form.alpha / 255.0);
  setFont(ToQFont(form.font));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ToQColor(form.color, palette.color(QPalette::WindowText),
                                              palette.color(QPalette::Window)));
  setPalette(palette);
  // A see-through window paints its own background around the key colour's strips.
  setAttribute(Qt::WA_TranslucentBackground, form.layered && host.KeyedByAlpha());
  setAutoFillBackground(!testAttribute(Qt::WA_TranslucentBackground));
  if (form.bounds.width > 0 && form.bounds.height > 0) {
    setFixedSize(form.bounds.width, form.bounds.height);
    const ui::Rect primary = host.PrimaryRect();
    move(primary.left + form.bounds.left, primary.top + form.bounds.top);
  }

  std::map<ui::Control*, QWidget*> made;
  for (ui::Control* control : form.controls) {
    const ui::Control* group = form.ParentOf(*control);
    QWidget* parent = group != nullptr && made.count(const_cast<ui::Control*>(group)) != 0
                          ? made[const_cast<ui::Control*>(group)]
                          : this;
    QWidget* widget = MakeWidget(*control, parent);
    if (widget == nullptr)
      continue;  // menus, timers and dialogs have no window
    widget->setObjectName(ToQString(control->Name()));
    if (control->right_to_left)
      widget->setLayoutDirection(Qt::RightToLeft);
    if (!control->Focusable())
      widget->setFocusPolicy(Qt::NoFocus);
    made[control] = widget;
    peers_.push_back(std::make_unique<ControlPeer>(*control, widget, *this));
    peers_.back()->ApplyAll();
  }
  // Creation order stacks windowed controls; drawn ones stay below them all.
  for (auto it = peers_.rbegin(); it != peers_.rend(); ++it) {
    if (DrawnOnParent((*it)->control().GetKind()))
      (*it)->widget()->lower();
  }
  SetTabOrder();
  form.SetPeer(this);
  setWindowTitle(ToQString(form.Caption()));
}

QWidget* FormWindow::MakeWidget(ui::Control& c, QWidget* parent) {
  switch (c.GetKind()) {
    case ui::Kind::kButton:
      return MakeButton(c, parent);
    case ui::Kind::kCheckBox:
      return MakeCheckBox(c, parent);
    case ui::Kind::kRadioButton:
      return MakeRadioButton(c, parent);
    case ui::Kind::kEdit:
      return MakeEdit(c, parent);
    case ui::Kind::kComboBox:
      return MakeComboBox(c, parent);
    case ui::Kind::kSlider:
      return MakeSlider(c, parent);
    case ui::Kind::kLabel:
      return MakeLabel(c, parent);
    case ui::Kind::kGroupBox:
      return new QGroupBox(parent);
    case ui::Kind::kBevel:
      return MakeBevel(parent);
    case ui::Kind::kImage:
      return new ImageWidget(static_cast<ui::Image&>(c), *this, parent);
    case ui::Kind::kToolStrip: {
      auto* strip = new QWidget(parent);
      strip->setAutoFillBackground(true);
      return strip;
    }
    default:
      return nullptr;
  }
}

QWidget* FormWindow::MakeButton(ui::Control& c, QWidget* parent) {
  auto* button = new QPushButton(parent);
  // Enter presses a button only while it has the focus; no button is the default.
  button->setAutoDefault(true);
  QObject::connect(button, &QPushButton::clicked, this,
                   [this, &c] { host_.Dispatch([&c] { c.Click(); }); });
  return button;
}

QWidget* FormWindow::MakeCheckBox(ui::Control& c, QWidget* parent) {
  auto* box = new QCheckBox(parent);
  QObject::connect(box, &QCheckBox::clicked, this, [this, &c, box] {
    c.SetChecked(box->isChecked());
    host_.Dispatch([&c] { c.Click(); });
  });
  return box;
}

QWidget* FormWindow::MakeRadioButton(ui::Control& c, QWidget* parent) {
  auto* radio = new QRadioButton(parent);
  // The model keeps the group exclusive, so that it stays the one truth.
  radio->setAutoExclusive(false);
  QObject::connect(radio, &QRadioButton::clicked, this, [this, &c] {
    form_.CheckRadio(c);
    host_.Dispatch([&c] { c.Click(); });
  });
  return radio;
}

QWidget* FormWindow::MakeEdit(ui::Control& c, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  QObject::connect(edit, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
    if (syncing())
      return;
    c.SetText(text.toStdString());
    if (c.on_change)
      host_.Dispatch(c.on_change);
  });
  return edit;
}

QWidget* FormWindow::MakeComboBox(ui::Control& c, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setLineEdit(new CompletingLine(c, combo));
  combo->setEditable(true);
  combo->setCompleter(nullptr);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setMaxVisibleItems(8);
  for (const std::string& item : c.items)
    combo->addItem(ToQString(item));
  const auto follow = [this, &c](const QString& text) {
    if (!syncing())
      c.SetText(text.toStdString());
  };
  QObject::connect(combo, &QComboBox::currentTextChanged, this, follow);
  QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, this, follow);
  return combo;
}

QWidget* FormWindow::MakeSlider(ui::Control& c, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(c.min, c.max);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(c.frequency);
  slider->setSingleStep(c.line_size);
  slider->setPageStep(c.page_size);
  QObject::connect(slider, &QSlider::valueChanged, this, [this, &c](int value) {
    if (syncing())
      return;
    c.SetPosition(value);
    if (c.on_change)
      host_.Dispatch(c.on_change);
  });
  return slider;
}

QWidget* FormWindow::MakeLabel(ui::Control& c, QWidget* parent) {
  auto* label = new LabelWidget(c, *this, parent);
  label->setWordWrap(c.word_wrap);
  const Qt::Alignment horizontal = c.alignment == ui::Align::kRight    ? Qt::AlignRight
                                   : c.alignment == ui::Align::kCenter ? Qt::AlignHCenter
                                                                       : Qt::AlignLeft;
  label->setAlignment(horizontal |
                      (c.alignment == ui::Align::kLeft ? Qt::AlignTop : Qt::AlignVCenter));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QWidget* FormWindow::MakeBevel(QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setAttribute(Qt::WA_TransparentForMouseEvents);
  return frame;
}

FormWindow::~FormWindow() {
  form_.SetPeer(nullptr);
  peers_.clear();
}

void FormWindow::SetTabOrder() {
  std::vector<QWidget*> order;
  for (ui::Control* control : form_.TabOrder()) {
    for (auto& peer : peers_) {
      if (&peer->control() == control)
        order.push_back(peer->widget());
    }
  }
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
}

void FormWindow::Changed(ui::Control&, ui::Property) {
  ApplyForm();
}

void FormWindow::ApplyForm() {
  const ui::Rect primary = host_.PrimaryRect();
  setWindowTitle(ToQString(form_.Caption()));
  if (form_.bounds.width > 0 && form_.bounds.height > 0) {
    const QPoint at(primary.left + form_.bounds.left, primary.top + form_.bounds.top);
    if (pos() != at)
      move(at);
  }
  if (form_.Visible() == isVisible())
    return;
  if (!form_.Visible()) {
    hide();
    return;
  }
  if (form_.window_state == ui::WindowState::kMaximized) {
    setGeometry(primary.left, primary.top, primary.width, primary.height);
    show();
  } else if (form_.window_state == ui::WindowState::kMinimized) {
    showMinimized();
  } else {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
  }
  UpdateShape();
  raise();
  activateWindow();
}

void FormWindow::PaintNow() {
  repaint();
}

void FormWindow::UpdateShape() {
  if (!form_.layered)
    return;
  const QImage drawn = grab().toImage();
  const ui::ColorRef key = form_.transparent_color;
  setMask(QBitmap::fromImage(OpaqueMask(drawn, qRgb(key & 0xFF, (key >> 8) & 0xFF, key >> 16))));
}

bool FormWindow::Keyed(ui::ColorRef color) const {
  return form_.layered && host_.KeyedByAlpha() && color == form_.transparent_color;
}

void FormWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!testAttribute(Qt::WA_TranslucentBackground))
    return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  for (ui::Control* control : form_.controls) {
    if (control->GetKind() == ui::Kind::kToolStrip && Keyed(control->color)) {
      const ui::Rect b = control->bounds;
      painter.fillRect(b.left, b.top, b.width, b.height, Qt::transparent);
    }
  }
}

void FormWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  host_.Windows().Resized(form_);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  host_.Windows().CloseRequested(form_);
}

void FormWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Iconified by the window manager.
  if (event->type() == QEvent::WindowStateChange && isMinimized())
    host_.Windows().Minimized(form_);
}

void FormWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (form_.window_state == ui::WindowState::kMaximized || !isVisible())
    return;
  // Moved by the user through the window manager.
  const ui::Rect primary = host_.PrimaryRect();
  host_.Windows().Moved(form_, {x() - primary.left, y() - primary.top});
}

}  // namespace pixtrel
