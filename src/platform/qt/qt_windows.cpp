#include "platform/qt/qt_windows.h"

#include <algorithm>
#include <map>

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

#include "platform/qt/qt_convert.h"
#include "selection/selection_overlay.h"
#include "settings/preferences.h"
#include "viewer/placement.h"

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

// Shows an Image's picture: the viewer's scaled to fit, the overlay's 1:1 or shrunk, or a
// picture the program carries.
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
        // The bottom-left pixel's colour is the transparent one.
        const QRgb key = carried_.pixel(0, carried_.height() - 1);
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

  // The picture changed in `area` (picture pixels; a negative width means all of it).
  void PictureChanged(ui::Rect area) {
    const Bitmap& picture = image_.Picture();
    if (Scaled()) {
      stale_ = true;
      update();
      if (owner_.isVisible())
        owner_.UpdateShape();
      return;
    }
    if (area.width < 0) {
      shown_ = ToQImage(picture);
      update();
      return;
    }
    CopyArea(picture, area, shown_);
    const QRect place = Place();
    if (place.width() == picture.Width() && place.height() == picture.Height())
      update(QRect(place.left() + area.left, place.top() + area.top, area.width, area.height));
    else
      update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    if (!carried_.isNull()) {
      painter.drawImage(0, 0, carried_);
      return;
    }
    if (Scaled()) {
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
    const QRect place = Place();
    if (place.size() == shown_.size())
      painter.drawImage(event->rect().topLeft(), shown_,
                        event->rect().translated(-place.topLeft()));
    else
      painter.drawImage(place, shown_);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (image_.mouse.down)
      owner_.host().Dispatch([&] { image_.mouse.down(ToButton(event->button()), At(event)); });
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
  bool Scaled() const { return image_.stretch && image_.proportional && image_.center; }
  QRect Place() const {
    const ui::Rect r =
        PlaceOverlayPicture(image_.Picture().Width(), image_.Picture().Height(), width(), height());
    return {r.left, r.top, r.width, r.height};
  }
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
    if (plain && typed.size() == 1 && typed[0].unicode() >= 0x20 && typed[0].unicode() < 0x7F &&
        IsAscii(text())) {
      ComboEdit before{text().toStdString(), static_cast<std::size_t>(std::max(0, Start())),
                       static_cast<std::size_t>(selectedText().size())};
      const ComboEdit after =
          TypeIntoCombo(before, static_cast<char>(typed[0].unicode()), control_.items);
      setText(ToQString(after.text));
      setSelection(static_cast<int>(after.selection_start + after.selection_length),
                   -static_cast<int>(after.selection_length));
      if (after.selection_length == 0)
        setCursorPosition(static_cast<int>(after.selection_start));
      emit textEdited(text());
      return;
    }
    QLineEdit::keyPressEvent(event);
  }

 private:
  int Start() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }
  static bool IsAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  }
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
  // A control laid out with no size takes its parent's whole client area.
  bool FillsParent() const { return control_.bounds.width == 0 && control_.bounds.height == 0; }

  void Changed(ui::Control&) override {
    if (control_.GetKind() == ui::Kind::kImage) {
      auto& image = static_cast<ui::Image&>(control_);
      static_cast<ImageWidget*>(widget_)->PictureChanged(image.changed_area);
    }
    Apply();
  }

  // Copies every property onto the widget; nothing it does counts as the user's.
  void Apply() {
    FormWindow::Sync sync(owner_);
    const ui::Rect& b = control_.bounds;
    if (FillsParent())
      widget_->setGeometry(widget_->parentWidget()->rect());
    else if (widget_->geometry() != QRect(b.left, b.top, b.width, b.height))
      widget_->setGeometry(b.left, b.top, b.width, b.height);
    widget_->setEnabled(control_.Enabled());
    widget_->setVisible(control_.Visible());
    if (!control_.parent_font)
      widget_->setFont(ToQFont(control_.font));
    widget_->setCursor(ToQtCursor(control_.cursor));
    const QString caption = ToQString(control_.Caption());
    switch (control_.GetKind()) {
      case ui::Kind::kButton:
        static_cast<QPushButton*>(widget_)->setText(caption);
        break;
      case ui::Kind::kCheckBox:
      case ui::Kind::kRadioButton: {
        auto* button = static_cast<QAbstractButton*>(widget_);
        button->setText(caption);
        button->setChecked(control_.Checked());
        break;
      }
      case ui::Kind::kEdit: {
        auto* edit = static_cast<QLineEdit*>(widget_);
        if (edit->text() != ToQString(control_.Text()))
          edit->setText(ToQString(control_.Text()));
        break;
      }
      case ui::Kind::kComboBox: {
        auto* combo = static_cast<QComboBox*>(widget_);
        if (combo->currentText() != ToQString(control_.Text()))
          combo->setEditText(ToQString(control_.Text()));
        break;
      }
      case ui::Kind::kSlider: {
        auto* slider = static_cast<QSlider*>(widget_);
        slider->setValue(control_.Position());
        break;
      }
      case ui::Kind::kLabel: {
        auto* label = static_cast<QLabel*>(widget_);
        label->setText(caption);
        // A one-line label sizes itself to its text, so another face never clips it.
        if (!control_.word_wrap && control_.alignment == ui::Align::kLeft &&
            label->sizeHint().width() > b.width)
          label->resize(label->sizeHint().width(), b.height);
        QPalette palette = label->palette();
        const QPalette base = owner_.palette();
        palette.setColor(QPalette::WindowText,
                         ToQColor(control_.font.color, base.color(QPalette::WindowText),
                                  base.color(QPalette::Window)));
        label->setPalette(palette);
        break;
      }
      case ui::Kind::kGroupBox:
        static_cast<QGroupBox*>(widget_)->setTitle(caption);
        break;
      default:
        break;
    }
  }

 private:
  ui::Control& control_;
  QWidget* widget_;
  FormWindow& owner_;
};

FormWindow::FormWindow(ui::Form& form, WindowHost& host, bool main)
    : QWidget(nullptr), form_(form), host_(host), main_(main) {
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
  setAutoFillBackground(true);
  if (form.bounds.width > 0 && form.bounds.height > 0) {
    setFixedSize(form.bounds.width, form.bounds.height);
    const ui::Rect primary = host.PrimaryRect();
    move(primary.left + form.bounds.left, primary.top + form.bounds.top);
  }

  std::map<ui::Control*, QWidget*> made;
  auto parent_of = [&](ui::Control* control) -> QWidget* {
    for (const auto& [child, parent] : form.parents) {
      if (child == control && parent != nullptr && made.count(parent) != 0)
        return made[parent];
    }
    return this;
  };
  for (ui::Control* control : form.controls) {
    QWidget* parent = parent_of(control);
    QWidget* widget = nullptr;
    ui::Control& c = *control;
    switch (c.GetKind()) {
      case ui::Kind::kButton: {
        auto* button = new QPushButton(parent);
        // Enter presses a button only while it has the focus; no button is the default.
        button->setAutoDefault(true);
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, &c] { host_.Dispatch([&c] { c.Click(); }); });
        widget = button;
        break;
      }
      case ui::Kind::kCheckBox: {
        auto* box = new QCheckBox(parent);
        QObject::connect(box, &QCheckBox::clicked, this, [this, &c, box] {
          c.SetChecked(box->isChecked());
          host_.Dispatch([&c] { c.Click(); });
        });
        widget = box;
        break;
      }
      case ui::Kind::kRadioButton: {
        auto* radio = new QRadioButton(parent);
        // The model keeps the group exclusive, so that it stays the one truth.
        radio->setAutoExclusive(false);
        QObject::connect(radio, &QRadioButton::clicked, this, [this, &c] {
          for (auto& peer : peers_) {
            if (peer->control().GetKind() == ui::Kind::kRadioButton &&
                peer->widget()->parentWidget() == ParentWidgetOf(c))
              peer->control().SetChecked(&peer->control() == &c);
          }
          c.SetChecked(true);
          host_.Dispatch([&c] { c.Click(); });
        });
        widget = radio;
        break;
      }
      case ui::Kind::kEdit: {
        auto* edit = new QLineEdit(parent);
        QObject::connect(edit, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
          if (syncing())
            return;
          c.SetText(text.toStdString());
          if (c.on_change)
            host_.Dispatch(c.on_change);
        });
        widget = edit;
        break;
      }
      case ui::Kind::kComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setLineEdit(new CompletingLine(c, combo));
        combo->setEditable(true);
        combo->setCompleter(nullptr);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(8);
        for (const std::string& item : c.items)
          combo->addItem(ToQString(item));
        QObject::connect(combo, &QComboBox::currentTextChanged, this,
                         [this, &c](const QString& text) {
                           if (!syncing())
                             c.SetText(text.toStdString());
                         });
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                         [this, &c](const QString& text) {
                           if (!syncing())
                             c.SetText(text.toStdString());
                         });
        widget = combo;
        break;
      }
      case ui::Kind::kSlider: {
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
        widget = slider;
        break;
      }
      case ui::Kind::kLabel: {
        auto* label = new LabelWidget(c, *this, parent);
        label->setWordWrap(c.word_wrap);
        const Qt::Alignment horizontal = c.alignment == ui::Align::kRight    ? Qt::AlignRight
                                         : c.alignment == ui::Align::kCenter ? Qt::AlignHCenter
                                                                             : Qt::AlignLeft;
        label->setAlignment(horizontal |
                            (c.alignment == ui::Align::kLeft ? Qt::AlignTop : Qt::AlignVCenter));
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
      }
      case ui::Kind::kGroupBox:
        widget = new QGroupBox(parent);
        break;
      case ui::Kind::kBevel: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        widget = frame;
        break;
      }
      case ui::Kind::kImage:
        widget = new ImageWidget(static_cast<ui::Image&>(c), *this, parent);
        break;
      case ui::Kind::kToolStrip: {
        widget = new QWidget(parent);
        QPalette strip = widget->palette();
        strip.setColor(QPalette::Window, ToQColor(c.color, Qt::black, Qt::black));
        widget->setPalette(strip);
        widget->setAutoFillBackground(true);
        break;
      }
      default:
        continue;  // menus, timers and dialogs have no window
    }
    widget->setObjectName(ToQString(c.Name()));
    if (c.right_to_left)
      widget->setLayoutDirection(Qt::RightToLeft);
    made[control] = widget;
    peers_.push_back(std::make_unique<ControlPeer>(c, widget, *this));
    peers_.back()->Apply();
  }
  // Creation order stacks windowed controls; drawn ones stay below them all.
  for (auto it = peers_.rbegin(); it != peers_.rend(); ++it) {
    if (DrawnOnParent((*it)->control().GetKind()))
      (*it)->widget()->lower();
  }
  for (auto& peer : peers_) {
    if (peer->control().GetKind() == ui::Kind::kLabel ||
        peer->control().GetKind() == ui::Kind::kGroupBox ||
        peer->control().GetKind() == ui::Kind::kImage)
      peer->widget()->setFocusPolicy(Qt::NoFocus);
  }
  SetTabOrder();
  form.SetPeer(this);
  setWindowTitle(ToQString(form.Caption()));
}

FormWindow::~FormWindow() {
  form_.SetPeer(nullptr);
  peers_.clear();
}

QWidget* FormWindow::ParentWidgetOf(ui::Control& control) {
  for (auto& peer : peers_) {
    if (&peer->control() == &control)
      return peer->widget()->parentWidget();
  }
  return nullptr;
}

void FormWindow::SetTabOrder() {
  // Group boxes take their turn as a whole: their own controls, in order, come at that point.
  std::vector<QWidget*> order;
  std::function<void(ui::Control*)> visit = [&](ui::Control* container) {
    std::vector<ui::Control*> children;
    for (const auto& [child, parent] : form_.parents) {
      if (parent == container && child->tab_order >= 0)
        children.push_back(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](ui::Control* a, ui::Control* b) { return a->tab_order < b->tab_order; });
    for (ui::Control* child : children) {
      if (child->GetKind() == ui::Kind::kGroupBox) {
        visit(child);
        continue;
      }
      for (auto& peer : peers_) {
        if (&peer->control() == child)
          order.push_back(peer->widget());
      }
    }
  };
  visit(nullptr);
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
}

void FormWindow::Changed(ui::Control&) {
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
    host_.Hidden(form_);
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
  host_.Activated(form_);
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

void FormWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (auto& peer : peers_) {
    if (peer->FillsParent())
      peer->widget()->setGeometry(peer->widget()->parentWidget()->rect());
  }
}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (form_.on_close)
    host_.Dispatch(form_.on_close);
  else if (main_)
    host_.MainWindowClosed();
  else
    form_.SetVisible(false);
}

void FormWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized())
    return;
  // The window manager iconified it: that is the application's minimise.
  if (form_.window_state == ui::WindowState::kMinimized)
    return;
  form_.window_state = ui::WindowState::kMinimized;
  if (form_.on_minimize)
    host_.Dispatch(form_.on_minimize);
}

void FormWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (form_.window_state == ui::WindowState::kMaximized || !isVisible())
    return;
  // Moved by the user through the window manager: the form keeps where it was left.
  const ui::Rect primary = host_.PrimaryRect();
  form_.bounds.left = x() - primary.left;
  form_.bounds.top = y() - primary.top;
}

}  // namespace pixtrel
