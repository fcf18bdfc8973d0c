#include "platform/wayland/wayland_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include <QCursor>
#include <QDBusConnection>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include "capture/screen_copy.h"
#include "core/error.h"

namespace pixtrel {
namespace {

// A portal that has not answered by then will not: the capture is given up.
constexpr int kAnswerMs = 5000;
// Long enough for a user to pick a window in the desktop's own dialog.
constexpr int kPickingMs = 120000;

const char* const kRefused =
    "Le bureau n'a pas donné la capture d'écran (refus, ou pas de réponse en 5 s) : rien n'a "
    "été enregistré. Autorisez les captures d'écran pour Pixtrel dans les réglages du bureau ; "
    "sous KDE, le dossier des images (%s) doit aussi exister.";

const char* const kPicking =
    "Ce bureau ne dit pas à Pixtrel quelle fenêtre est active : choisissez la fenêtre à copier "
    "dans la boîte de capture du bureau.";

const char* const kNoTray =
    "Ce bureau n'a pas de zone de notification : l'icône de Pixtrel n'y paraît pas. Ses actions "
    "« Préférences » et « Quitter » sont dans le menu de son lanceur, et la commande "
    "« pixtrel --capture screen » capture l'écran.";

const char* const kActiveWindowScript = R"(
var w = workspace.activeWindow || workspace.activeClient;
var text = "none";
if (w) {
  var f = w.frameGeometry, c = w.clientGeometry || w.bufferGeometry;
  text = [f.x, f.y, f.width, f.height, c.x, c.y, c.width, c.height].map(Math.round).join(" ");
}
callDBus("%1", "%2", "%3", "report", text);
)";

const char* const kRulesScript = R"(
var rules = %1;
function apply(w) {
  if (!w || w.pid != %2)
    return;
  for (var i = 0; i < rules.length; ++i) {
    if (String(w.caption).trim() == rules[i].caption.trim()) {
      w.keepAbove = true;
      w.skipTaskbar = true;
      w.opacity = rules[i].opacity;
    }
  }
}
var all = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < all.length; ++i)
  apply(all[i]);
(workspace.windowAdded || workspace.clientAdded).connect(apply);
)";

ui::Rect FromGlobal(ui::Rect rect, const QRect& primary) {
  return {rect.left - primary.x(), rect.top - primary.y(), rect.width, rect.height};
}

QString Quoted(const std::string& text) {
  QString quoted = QString::fromStdString(text);
  quoted.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
  return '"' + quoted + '"';
}

// All of a pipe's bytes until its last writer closes it, or nothing after `timeout_ms` of
// silence.
std::optional<QByteArray> ReadPipe(int fd, int timeout_ms) {
  QByteArray data;
  char buffer[1 << 16];
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, timeout_ms) != 1)
      return std::nullopt;
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n == 0)
      return data;
    if (n < 0)
      return std::nullopt;
    data.append(buffer, n);
  }
}

}  // namespace

WaylandDesktop::WaylandDesktop(ShortcutKeys& keys, std::function<void(const std::string&)> tell)
    : keys_(keys), tell_(std::move(tell)) {
  if (bus_.Has("org.kde.KWin")) {
    compositor_ = Compositor::kKWin;
  } else if (const char* sway = std::getenv("SWAYSOCK"); sway != nullptr && *sway != '\0') {
    sway_socket_ = sway;
    if (SwayTree(sway_socket_))
      compositor_ = Compositor::kSway;
  }
  // The portal sends a session's signals to its owner alone.
  const auto feed = [this](bool down) {
    return [this, down](const QDBusMessage& message) {
      const QVariantList args = message.arguments();
      const auto mode =
          args.size() >= 2 ? ModeNamed(args[1].toString().toStdString()) : std::nullopt;
      if (mode && down)
        keys_.Down(*mode);
      else if (mode)
        keys_.Up(*mode);
    };
  };
  bus_.OnPortalSignal("org.freedesktop.portal.GlobalShortcuts", "Activated", feed(true));
  bus_.OnPortalSignal("org.freedesktop.portal.GlobalShortcuts", "Deactivated", feed(false));
}

WaylandDesktop::~WaylandDesktop() = default;

ui::Rect WaylandDesktop::PrimaryRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr)
    return {};
  const QRect r = screen->geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

ui::Point WaylandDesktop::WorkspaceOrigin() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr)
    return {};
  const QRect primary = screen->geometry();
  const QRect all = screen->virtualGeometry();
  return {all.x() - primary.x(), all.y() - primary.y()};
}

ui::Point WaylandDesktop::CursorPos() {
  // Wayland tells a program where the pointer is only over its own windows.
  const QPoint at = QCursor::pos();
  const ui::Rect primary = PrimaryRect();
  return {at.x() - primary.left, at.y() - primary.top};
}

void WaylandDesktop::CopyFrom(const QImage& image, ui::Point origin, Bitmap& into, int x, int y) {
  // KWin hands its capture over as premultiplied ARGB: for an opaque screen those are the same
  // bytes as RGB32, whose fourth byte the copy clears anyway. Only other layouts are converted.
  const bool four_bytes = image.format() == QImage::Format_RGB32 ||
                          image.format() == QImage::Format_ARGB32 ||
                          image.format() == QImage::Format_ARGB32_Premultiplied;
  const QImage rows = four_bytes ? image : image.convertToFormat(QImage::Format_RGB32);
  const ui::Rect area{origin.x, origin.y, rows.width(), rows.height()};
  CopyFromScreen(into, x, y, area, [&](const ui::Rect& from, ui::Point to) {
    for (int row = 0; row < from.height; ++row) {
      const uchar* in = rows.constScanLine(from.top - origin.y + row) + (from.left - origin.x) * 4;
      CopyOpaquePixels(into.Row(to.y + row) + to.x * 4, in, from.width);
    }
    return true;
  });
}

void WaylandDesktop::CopyScreen(Bitmap& into, int x, int y) {
  if (picked_) {
    const QImage picked = std::move(*picked_);
    picked_.reset();
    CopyFrom(picked, {x, y}, into, x, y);
    return;
  }
  const QImage shot = Shot();
  CopyFrom(shot, WorkspaceOrigin(), into, x, y);
}

void WaylandDesktop::CopyClient(WindowHandle, Bitmap& into) {
  if (picked_ || !active_) {
    CopyScreen(into, 0, 0);
    return;
  }
  const ui::Rect client = active_->client;
  const QImage shot = Shot();
  const ui::Point origin = WorkspaceOrigin();
  CopyFrom(shot, {origin.x - client.left, origin.y - client.top}, into, 0, 0);
}

WindowHandle WaylandDesktop::ForegroundWindow() {
  active_.reset();
  picked_.reset();
  const QRect primary = QGuiApplication::primaryScreen() != nullptr
                            ? QGuiApplication::primaryScreen()->geometry()
                            : QRect();
  if (compositor_ == Compositor::kKWin) {
    const QString script =
        QString::fromLatin1(kActiveWindowScript)
            .arg(bus_.Reporter(), DesktopBus::ReportPath(), DesktopBus::ReportInterface());
    const std::optional<QString> report = bus_.RunKWinScript(script, kAnswerMs);
    const QStringList numbers = report ? report->split(' ') : QStringList();
    if (numbers.size() != 8)
      return 0;
    int n[8];
    for (int i = 0; i < 8; ++i)
      n[i] = numbers[i].toInt();
    active_ = WindowRects{FromGlobal({n[0], n[1], n[2], n[3]}, primary),
                          FromGlobal({n[4], n[5], n[6], n[7]}, primary)};
    return 1;
  }
  if (compositor_ == Compositor::kSway) {
    const std::optional<std::string> tree = SwayTree(sway_socket_);
    active_ = tree ? FocusedInTree(*tree) : std::nullopt;
    if (!active_)
      return 0;
    active_->frame = FromGlobal(active_->frame, primary);
    active_->client = FromGlobal(active_->client, primary);
    return 1;
  }
  // No compositor says which window is active: the user picks it in the portal's dialog.
  if (!told_picking_) {
    told_picking_ = true;
    tell_(kPicking);
  }
  QImage picked = PortalShot(true);
  active_ =
      WindowRects{{0, 0, picked.width(), picked.height()}, {0, 0, picked.width(), picked.height()}};
  picked_ = std::move(picked);
  return 1;
}

ui::Rect WaylandDesktop::WindowRect(WindowHandle) {
  return active_ ? active_->frame : ui::Rect{};
}

ui::Rect WaylandDesktop::ClientRect(WindowHandle) {
  return active_ ? ui::Rect{0, 0, active_->client.width, active_->client.height} : ui::Rect{};
}

QImage WaylandDesktop::Shot() {
  if (compositor_ == Compositor::kKWin && kwin_capture_) {
    if (std::optional<QImage> image = KWinWorkspace())
      return std::move(*image);
    // Not granted to this program: the portal from now on.
    kwin_capture_ = false;
  }
  return PortalShot(false);
}

std::optional<QImage> WaylandDesktop::KWinWorkspace() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    return std::nullopt;
  std::optional<QByteArray> data;
  std::thread reader([&] { data = ReadPipe(fds[0], kAnswerMs); });
  QDBusMessage reply;
  {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.kde.KWin", "/org/kde/KWin/ScreenShot2",
                                       "org.kde.KWin.ScreenShot2", "CaptureWorkspace");
    QVariantMap options{{"include-cursor", false}, {"native-resolution", true}};
    call << options << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
    ::close(fds[1]);
    reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kAnswerMs);
  }
  // Refused, KWin holds no end of the pipe and the reader sees its end at once.
  reader.join();
  ::close(fds[0]);
  if (reply.type() != QDBusMessage::ReplyMessage)
    return std::nullopt;
  const QVariantMap meta =
      reply.arguments().isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(reply.arguments()[0]);
  const int width = meta.value("width").toInt();
  const int height = meta.value("height").toInt();
  const int stride = meta.value("stride").toInt();
  const auto format = static_cast<QImage::Format>(meta.value("format").toUInt());
  if (!data || width <= 0 || height <= 0 || stride < width * 4 ||
      data->size() < static_cast<qsizetype>(stride) * height)
    return std::nullopt;
  return QImage(reinterpret_cast<const uchar*>(data->constData()), width, height, stride, format)
      .copy();
}

QImage WaylandDesktop::PortalShot(bool interactive) {
  const std::optional<PortalAnswer> answer = bus_.Request(
      "org.freedesktop.portal.Screenshot", "Screenshot", {QString()},
      {{"interactive", interactive}, {"modal", interactive}}, interactive ? kPickingMs : kAnswerMs);
  QImage image;
  if (answer && answer->code == 0) {
    const QString path = QUrl(answer->results.value("uri").toString()).toLocalFile();
    if (!path.isEmpty()) {
      image.load(path);
      // The portal's file was made for this capture alone.
      QFile::remove(path);
    }
  }
  if (image.isNull()) {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    throw Error(FormatText(kRefused, {pictures.toStdString()}));
  }
  return image;
}

void WaylandDesktop::KeepAbove(const std::string& caption, double opacity) {
  rules_.push_back({caption, opacity});
}

void WaylandDesktop::ApplyRules() {
  if (compositor_ != Compositor::kKWin || rules_.empty())
    return;
  QStringList rules;
  for (const Rule& rule : rules_)
    rules
        << QStringLiteral("{caption: %1, opacity: %2}").arg(Quoted(rule.caption)).arg(rule.opacity);
  const QString script = QString::fromLatin1(kRulesScript)
                             .arg('[' + rules.join(", ") + ']')
                             .arg(QCoreApplication::applicationPid());
  // Loaded once: KWin mishandles a script loaded again under a name it just unloaded.
  bus_.LoadKWinScript(script,
                      QStringLiteral("pixtrel-windows-%1").arg(QCoreApplication::applicationPid()));
}

void WaylandDesktop::NoTray() {
  tell_(kNoTray);
}

}  // namespace pixtrel
