#include "platform/qt/qt_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <iostream>
#include <utility>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "core/key_codes.h"
#include "platform/qt/qt_convert.h"
#include "platform/wayland/wayland_desktop.h"
#include "platform/x11/x11_display.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

namespace pixtrel {
namespace {

// The folder browser returns no path longer than this, as the shell's would not.
constexpr int kLongestFolder = 259;

// The capture as the clipboard offers it. Each format is made only when a program asks, so a
// held key in auto-record pays for one copy of the pixels a frame and nothing more.
class PictureMime : public QMimeData {
 public:
  explicit PictureMime(std::shared_ptr<const Bitmap> picture) : picture_(std::move(picture)) {}
  QStringList formats() const override { return {"image/png", "image/bmp"}; }
  bool hasFormat(const QString& type) const override { return formats().contains(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType) const override {
    if (!hasFormat(type))
      return {};
    QByteArray& bytes = encoded_[type];
    if (bytes.isEmpty()) {
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      ToQImage(*picture_).save(&buffer, type == "image/png" ? "PNG" : "BMP");
    }
    return bytes;
  }

 private:
  std::shared_ptr<const Bitmap> picture_;
  mutable std::map<QString, QByteArray> encoded_;
};

void StayOnTop(QWidget& widget) {
  widget.setWindowFlag(Qt::WindowStaysOnTopHint);
}

// A termination signal: set by the handler, and written to the pipe that wakes the event loop.
volatile std::sig_atomic_t terminating = 0;
int termination_pipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  terminating = 1;
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(termination_pipe[1], &byte, 1);
}

}  // namespace

// Sees events before their widgets do: a press makes its window the program's active one, and
// buttons released over the tray icon become the main window's tray messages.
class QtPlatform::Watcher : public QObject {
 public:
  explicit Watcher(QtPlatform& platform) : platform_(platform) {}

  bool eventFilter(QObject* target, QEvent* event) override {
    if (target->objectName() == QStringLiteral("QSystemTrayIconSys")) {
      platform_.tray_embedded_ = true;
      if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
          platform_.TrayMessage(kTrayLeftButtonUp);
        else if (mouse->button() == Qt::RightButton)
          platform_.TrayMessage(kTrayRightButtonUp);
      }
      return false;
    }
    if (event->type() == QEvent::MouseButtonPress && target->isWidgetType()) {
      if (auto* window = dynamic_cast<FormWindow*>(static_cast<QWidget*>(target)->window()))
        platform_.Windows().Activated(window->form());
    }
    return false;
  }

 private:
  QtPlatform& platform_;
};

QtPlatform::QtPlatform(Session session) : watcher_(std::make_unique<Watcher>(*this)) {
  if (session == Session::kWayland) {
    auto wayland = std::make_unique<WaylandDesktop>(shortcuts_, [this](const std::string& text) {
      // Out of whatever asked: a box is modal, and its caller may be a capture.
      AtStart([this, text] { PlainBox(text); });
    });
    wayland_ = wayland.get();
    desktop_ = std::move(wayland);
  } else {
    desktop_ = std::make_unique<X11Display>();
  }
  qApp->installEventFilter(watcher_.get());
  QuitOnTermination();
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, [this](QWindow* focused) {
    if (focused != nullptr && waiting_for_focus_)
      QGuiApplication::clipboard()->setMimeData(waiting_for_focus_.release());
  });
}

void QtPlatform::QuitOnTermination() {
  if (::pipe2(termination_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  auto* notifier = new QSocketNotifier(termination_pipe[0], QSocketNotifier::Read);
  termination_.reset(notifier);
  QObject::connect(notifier, &QSocketNotifier::activated, [this] { Quit(); });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

std::uint16_t QtPlatform::AsyncKeyState(std::uint8_t key) {
  // Once the program is asked to end, every key reads as up: a held key's auto-record stops
  // at the end of its current file, and the event loop gets to the request.
  if (terminating != 0)
    return 0;
  // A held key's auto-record polls again and again without going back to the event loop, while
  // the server goes on writing to Qt: the clipboard changes owner twice a capture, and Qt's
  // reader thread keeps every notice until the loop takes it, some 240 bytes a capture for as
  // long as the key is held. Each poll takes them, leaving the user's input and the timers for
  // the loop.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers |
                                  QEventLoop::X11ExcludeTimers);
  // A modifier answers for the capture a shortcut began; the hotkey is down for either.
  const std::optional<std::uint16_t> asked = shortcuts_.State(key);
  const bool modifier = key == vk::kAlt || key == vk::kControl || key == vk::kShift;
  if (modifier && asked)
    return *asked;
  return static_cast<std::uint16_t>(asked.value_or(0) | desktop_->AsyncKeyState(key));
}

QtPlatform::~QtPlatform() {
  qApp->removeEventFilter(watcher_.get());
  tray_.reset();
  timers_.clear();
  windows_.clear();
}

void QtPlatform::RunEventLoop() {
  looping_ = true;
  if (wayland_ != nullptr)
    wayland_->ApplyRules();
  Post([this] {
    for (auto& event : std::exchange(at_start_, {}))
      event();
  });
  QApplication::exec();
}

void QtPlatform::AtStart(std::function<void()> event) {
  if (looping_)
    Post(std::move(event));
  else
    at_start_.push_back(std::move(event));
}

void QtPlatform::CreateFormWindow(ui::Form& form) {
  windows_[&form] = std::make_unique<FormWindow>(form, *this);
  if (wayland_ != nullptr && form.topmost)
    wayland_->KeepAbove(form.Caption(), form.layered ? form.alpha / 255.0 : 1.0);
}

void QtPlatform::DestroyFormWindow(ui::Form& form) {
  std::erase_if(timers_,
                [&](const auto& entry) { return Windows().OwnerOf(*entry.first) == &form; });
  if (tray_window_ == &form)
    tray_window_ = nullptr;
  windows_.erase(&form);
}

FormWindow* QtPlatform::WindowOf(ui::Form& form) {
  const auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second.get();
}

void QtPlatform::Post(std::function<void()> event) {
  QTimer::singleShot(0, qApp, std::move(event));
}

ui::Rect QtPlatform::ScreenRect() {
  const ui::Rect primary = desktop_->PrimaryRect();
  return {0, 0, primary.width, primary.height};
}

void QtPlatform::RepaintNow(ui::Form& form) {
  if (FormWindow* window = WindowOf(form))
    window->PaintNow();
  // The copy reads the screen through another connection: wait until the server has drawn.
  if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
    XSync(x11->display(), False);
}

void QtPlatform::ClipboardEmpty() {
  clipboard_placed_ = false;
  clipboard_emptied_ = true;
}

void QtPlatform::ClipboardSetBitmap(const Bitmap& picture) {
  // Shares the capture's pixels: a held key's frames are not copied for a clipboard that
  // nobody may read.
  clipboard_picture_ = std::make_shared<const Bitmap>(picture);
  clipboard_placed_ = true;
}

void QtPlatform::ClipboardClose() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard_placed_)
    OfferClipboard(new PictureMime(clipboard_picture_));
  else if (clipboard_emptied_)
    clipboard->clear();
  clipboard_placed_ = false;
  clipboard_emptied_ = false;
}

void QtPlatform::OfferClipboard(QMimeData* data) {
  if (wayland_ != nullptr && QGuiApplication::focusWindow() == nullptr) {
    waiting_for_focus_.reset(data);
    return;
  }
  waiting_for_focus_.reset();
  QGuiApplication::clipboard()->setMimeData(data);
}

void QtPlatform::TrayAdd(const NotifyIconData& icon) {
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>(QGuiApplication::windowIcon());
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       // An embedded icon reports releases through the watcher instead.
                       if (tray_embedded_)
                         return;
                       if (reason == QSystemTrayIcon::Trigger)
                         TrayMessage(kTrayLeftButtonUp);
                       else if (reason == QSystemTrayIcon::Context)
                         TrayMessage(kTrayRightButtonUp);
                     });
  }
  if (!QSystemTrayIcon::isSystemTrayAvailable() && !told_no_tray_) {
    told_no_tray_ = true;
    std::cerr << "Pixtrel : pas de zone de notification sur cet écran ; la touche de capture "
                 "reste active.\n";
    if (wayland_ != nullptr)
      wayland_->NoTray();
  }
  // Adding an icon that is already there changes nothing, its tooltip included.
  if (tray_->isVisible())
    return;
  tray_window_ = icon.window;
  tray_->setToolTip(
      QString::fromUtf8(icon.tip, static_cast<qsizetype>(strnlen(icon.tip, kTipLength))));
  tray_->show();
}

void QtPlatform::TrayDelete(const NotifyIconData&) {
  if (tray_)
    tray_->hide();
}

void QtPlatform::TrayMessage(int message) {
  ui::Form* form = tray_window_;
  if (form == nullptr || !form->on_form_mouse_move || !tray_ || !tray_->isVisible())
    return;
  // Out of the tray widget's own event: the handler may delete the icon under it.
  QTimer::singleShot(0, qApp, [this, form, message] {
    if (tray_window_ == form && form->on_form_mouse_move)
      Dispatch([form, message] { form->on_form_mouse_move({message, 0}); });
  });
}

void QtPlatform::SetForeground(ui::Form& form) {
  if (FormWindow* window = WindowOf(form); window != nullptr && window->isVisible())
    window->activateWindow();
}

ui::MenuItem* QtPlatform::PopupMenu(ui::PopupMenu& menu, ui::Point at) {
  QMenu popup;
  popup.setWindowFlag(Qt::WindowStaysOnTopHint);
  ui::MenuItem* chosen = nullptr;
  for (ui::MenuItem* item : menu.entries) {
    QAction* action = popup.addAction(QString::fromStdString(item->Caption()));
    action->setEnabled(item->Enabled());
    QObject::connect(action, &QAction::triggered, [&chosen, item] { chosen = item; });
  }
  const ui::Rect primary = desktop_->PrimaryRect();
  popup.exec(QPoint(primary.left + at.x, primary.top + at.y));
  return chosen;
}

bool QtPlatform::EnableTimer(ui::Timer& timer, bool enabled) {
  std::unique_ptr<QTimer>& qtimer = timers_[&timer];
  if (!qtimer) {
    qtimer = std::make_unique<QTimer>();
    qtimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(qtimer.get(), &QTimer::timeout,
                     [this, &timer] { Dispatch([&timer] { timer.Tick(); }); });
  }
  if (!enabled) {
    qtimer->stop();
    return true;
  }
  if (!qtimer->isActive())
    qtimer->start(timer.interval_ms);
  return qtimer->isActive();
}

void QtPlatform::RaiseWindow(ui::Form& form) {
  if (FormWindow* window = WindowOf(form); window != nullptr && window->isVisible()) {
    window->raise();
    window->activateWindow();
  }
}

void QtPlatform::BringToFront(ui::Form& form) {
  if (FormWindow* window = WindowOf(form); window != nullptr && window->isEnabled())
    RaiseWindow(form);
}

void QtPlatform::RestoreApplication() {
  for (auto& [form, window] : windows_) {
    if (window->isVisible() && window->isMinimized())
      window->showNormal();
  }
}

void QtPlatform::Quit() {
  // Not quit(): that would first ask every window to close, running their close handlers.
  QCoreApplication::exit(0);
}

std::optional<std::string> QtPlatform::RunSaveDialog(ui::SaveDialog& dialog) {
  QFileDialog box;
  StayOnTop(box);
  box.setOption(QFileDialog::DontUseNativeDialog);
  box.setAcceptMode(QFileDialog::AcceptSave);
  box.setOption(QFileDialog::DontConfirmOverwrite);
  box.setOption(QFileDialog::HideNameFilterDetails, false);
  // "label|pattern": the label names the pattern already, as Qt wants it.
  const std::string& filter = dialog.filter;
  box.setNameFilter(QString::fromStdString(filter.substr(0, filter.find('|'))));
  box.setDefaultSuffix(QString::fromStdString(dialog.default_ext));
  if (!dialog.file_name.empty())
    box.selectFile(QString::fromStdString(dialog.file_name));
  box.setWindowModality(Qt::ApplicationModal);
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
    return std::nullopt;
  return box.selectedFiles().first().toStdString();
}

void QtPlatform::ErrorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, "Pixtrel", QString::fromStdString(text), QMessageBox::Ok);
  StayOnTop(box);
  box.exec();
}

void QtPlatform::PlainBox(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, "Pixtrel", QString::fromStdString(text), QMessageBox::Ok);
  StayOnTop(box);
  box.exec();
}

std::optional<std::string> QtPlatform::BrowseForFolder(const std::string& title) {
  QFileDialog box;
  StayOnTop(box);
  box.setOption(QFileDialog::DontUseNativeDialog);
  box.setWindowTitle(QString::fromStdString(title));
  box.setFileMode(QFileDialog::Directory);
  box.setOption(QFileDialog::ShowDirsOnly);
  box.setDirectory(QDir::homePath());
  box.setWindowModality(Qt::ApplicationModal);
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
    return std::nullopt;
  const std::string path = box.selectedFiles().first().toStdString();
  if (path.size() > kLongestFolder)
    return std::nullopt;
  return path;
}

std::string QtPlatform::DocumentsFolder() {
  // XDG_DOCUMENTS_DIR from user-dirs.dirs, or ~/Documents.
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

void QtPlatform::OpenMailLink(const std::string& link) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(link)));
}

ClockReading QtPlatform::Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,       local.tm_hour,
          local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

}  // namespace pixtrel
