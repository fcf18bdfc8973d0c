#include "platform/wayland/desktop_bus.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QTemporaryFile>

#include "platform/wayland/bus_relay.h"

namespace pixtrel {
namespace {

QDBusConnection Bus() {
  return QDBusConnection::sessionBus();
}

}  // namespace

void BusRelay::Expect(const QString& path, std::promise<QDBusMessage> answer) {
  const std::lock_guard lock(mutex_);
  answers_[path] = std::move(answer);
}

void BusRelay::Forget(const QString& path) {
  const std::lock_guard lock(mutex_);
  answers_.erase(path);
}

void BusRelay::ExpectReport(std::promise<QString> report) {
  const std::lock_guard lock(mutex_);
  report_ = std::move(report);
}

void BusRelay::Handle(const QString& key, std::function<void(const QDBusMessage&)> handler) {
  const std::lock_guard lock(mutex_);
  handlers_[key] = std::move(handler);
}

void BusRelay::Answer(const QDBusMessage& message) {
  const std::lock_guard lock(mutex_);
  const auto it = answers_.find(message.path());
  if (it == answers_.end())
    return;
  it->second.set_value(message);
  answers_.erase(it);
}

void BusRelay::Signal(const QDBusMessage& message) {
  std::function<void(const QDBusMessage&)> handler;
  {
    const std::lock_guard lock(mutex_);
    const auto it = handlers_.find(message.interface() + '.' + message.member());
    if (it == handlers_.end())
      return;
    handler = it->second;
  }
  handler(message);
}

void BusRelay::report(const QString& text) {
  const std::lock_guard lock(mutex_);
  if (!report_)
    return;
  report_->set_value(text);
  report_.reset();
}

struct DesktopBus::State {
  BusRelay relay;
  std::atomic<int> requests{0};
  std::atomic<int> scripts{0};
  // KWin reads a script's file some time after it is run: each stays until it is unloaded.
  std::map<QString, std::unique_ptr<QTemporaryFile>> script_files;
};

// QtDBus delivers what arrives through the event loop: the wait takes it as the hotkey's
// polling does, leaving the user's input, the timers and the sockets for later, so that no
// handler of the program runs under a capture.
template <typename T>
bool WaitFor(std::future<T>& answer, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
    if (answer.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready)
      return true;
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

DesktopBus::DesktopBus() : state_(std::make_unique<State>()) {
  Bus().registerObject(ReportPath(), &state_->relay, QDBusConnection::ExportScriptableSlots);
}

DesktopBus::~DesktopBus() {
  Bus().unregisterObject(ReportPath());
}

bool DesktopBus::Connected() const {
  return Bus().isConnected();
}

bool DesktopBus::Has(const QString& service) const {
  const QDBusConnectionInterface* names = Bus().interface();
  return names != nullptr && names->isServiceRegistered(service).value();
}

unsigned DesktopBus::PortalVersion(const QString& interface) const {
  QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                    "org.freedesktop.DBus.Properties", "Get");
  get << interface << QStringLiteral("version");
  const QDBusReply<QDBusVariant> reply = Bus().call(get, QDBus::Block, 2000);
  return reply.isValid() ? reply.value().variant().toUInt() : 0;
}

QString DesktopBus::Reporter() const {
  return Bus().baseService();
}

QString DesktopBus::SessionPath(const QString& token) const {
  QString sender = Bus().baseService().mid(1);
  sender.replace('.', '_');
  return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2").arg(sender, token);
}

std::optional<PortalAnswer> DesktopBus::Request(const QString& interface, const QString& method,
                                                QVariantList arguments, QVariantMap options,
                                                int timeout_ms) {
  // The Request object's path is known before the call, so the answer cannot come before
  // anyone listens for it.
  const QString token = QStringLiteral("pixtrel%1").arg(++state_->requests);
  QString sender = Bus().baseService().mid(1);
  sender.replace('.', '_');
  const QString path =
      QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
  options.insert(QStringLiteral("handle_token"), token);

  std::promise<QDBusMessage> promise;
  std::future<QDBusMessage> answer = promise.get_future();
  state_->relay.Expect(path, std::move(promise));
  // Matched by path alone: QtDBus drops the answer when it is asked to match the portal's name.
  Bus().connect(QString(), path, "org.freedesktop.portal.Request", "Response", &state_->relay,
                SLOT(Answer(QDBusMessage)));
  const auto disconnect = [&] {
    Bus().disconnect(QString(), path, "org.freedesktop.portal.Request", "Response", &state_->relay,
                     SLOT(Answer(QDBusMessage)));
    state_->relay.Forget(path);
  };

  QDBusMessage call =
      QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
  arguments.append(options);
  call.setArguments(arguments);
  const QDBusMessage reply = Bus().call(call, QDBus::Block, timeout_ms);
  if (reply.type() != QDBusMessage::ReplyMessage || !WaitFor(answer, timeout_ms)) {
    disconnect();
    return std::nullopt;
  }
  const QDBusMessage response = answer.get();
  disconnect();
  const QVariantList values = response.arguments();
  if (values.size() < 2)
    return std::nullopt;
  PortalAnswer result;
  result.code = values[0].toUInt();
  result.results = qdbus_cast<QVariantMap>(values[1]);
  return result;
}

bool DesktopBus::LoadKWinScript(const QString& source, const QString& name) {
  auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/pixtrel-XXXXXX.js");
  if (!file->open() || file->write(source.toUtf8()) < 0 || !file->flush())
    return false;
  QDBusMessage load = QDBusMessage::createMethodCall("org.kde.KWin", "/Scripting",
                                                     "org.kde.kwin.Scripting", "loadScript");
  load << file->fileName() << name;
  const QDBusReply<int> id = Bus().call(load, QDBus::Block, 2000);
  if (!id.isValid() || id.value() < 0)
    return false;
  state_->script_files[name] = std::move(file);
  // Started through Scripting, not the script's own object: KWin numbers scripts by their count,
  // so the object of a script just unloaded may still answer to the new one's number.
  const QDBusMessage start = QDBusMessage::createMethodCall("org.kde.KWin", "/Scripting",
                                                            "org.kde.kwin.Scripting", "start");
  if (Bus().call(start, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage)
    return true;
  UnloadKWinScript(name);
  return false;
}

void DesktopBus::UnloadKWinScript(const QString& name) {
  QDBusMessage unload = QDBusMessage::createMethodCall("org.kde.KWin", "/Scripting",
                                                       "org.kde.kwin.Scripting", "unloadScript");
  unload << name;
  Bus().call(unload, QDBus::Block, 2000);
  state_->script_files.erase(name);
}

std::optional<QString> DesktopBus::RunKWinScript(const QString& source, int timeout_ms) {
  std::promise<QString> promise;
  std::future<QString> report = promise.get_future();
  state_->relay.ExpectReport(std::move(promise));
  // KWin, busy mapping a window, now and then drops a script's run: it is run again.
  constexpr int kAttempts = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const QString name = QStringLiteral("pixtrel-query-%1").arg(++state_->scripts);
    const bool ran = LoadKWinScript(source, name) && WaitFor(report, timeout_ms / kAttempts);
    UnloadKWinScript(name);
    if (ran)
      return report.get();
  }
  return std::nullopt;
}

void DesktopBus::OnPortalSignal(const QString& interface, const QString& name,
                                std::function<void(const QDBusMessage&)> handler) {
  state_->relay.Handle(interface + '.' + name, std::move(handler));
  Bus().connect(QString(), kPortalPath, interface, name, &state_->relay,
                SLOT(Signal(QDBusMessage)));
}

}  // namespace pixtrel
