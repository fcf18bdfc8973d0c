#include "platform/qt/qt_instance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTimer>

#include "platform/qt/qt_platform.h"

namespace pixtrel {
namespace {

constexpr char kService[] = "org.pixtrel.Pixtrel";
constexpr char kPath[] = "/org/pixtrel/Pixtrel";
constexpr char kInterface[] = "org.pixtrel.Pixtrel";

}  // namespace

bool AskRunningProgram(const InstanceCommand& command) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr ||
      !bus.interface()->isServiceRegistered(kService).value())
    return false;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QString::fromStdString(command.method));
  if (command.method == "Capture")
    call << QString::fromStdString(command.mode);
  return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

// The bus may call it from a thread of its own: it only answers, and leaves the work to the
// event loop.
class InstanceService::Object : public QDBusVirtualObject {
 public:
  explicit Object(InstanceService& service) : service_(service) {}

  QString introspect(const QString&) const override {
    return QStringLiteral(
        "<interface name=\"org.pixtrel.Pixtrel\">"
        "<method name=\"Capture\"><arg name=\"mode\" type=\"s\" direction=\"in\"/></method>"
        "<method name=\"Preferences\"/><method name=\"Quit\"/></interface>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != kInterface)
      return false;
    InstanceCommand command{message.member().toStdString(), {}};
    if (command.method == "Capture" && !message.arguments().isEmpty())
      command.mode = message.arguments().first().toString().toStdString();
    if (command.method != "Capture" && command.method != "Preferences" && command.method != "Quit")
      return false;
    connection.send(message.createReply());
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this, command] { service_.Run(command); },
        Qt::QueuedConnection);
    return true;
  }

 private:
  InstanceService& service_;
};

InstanceService::InstanceService(QtPlatform& platform)
    : object_(std::make_unique<Object>(*this)), platform_(platform) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  // A session without a bus, or a program already serving it: this one runs on, unreached.
  if (bus.isConnected() && bus.registerService(kService))
    bus.registerVirtualObject(kPath, object_.get());
}

InstanceService::~InstanceService() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(kPath);
  bus.unregisterService(kService);
}

void InstanceService::Run(const InstanceCommand& command) {
  if (command.method == "Capture") {
    if (const auto mode = ModeNamed(command.mode))
      platform_.Capture(*mode);
  } else if (command.method == "Preferences") {
    platform_.Command("preferences");
  } else if (command.method == "Quit") {
    platform_.Command("quit");
  }
}

}  // namespace pixtrel
