// The notification area of the Wayland test desktops: a StatusNotifierWatcher that is its own
// host, so that a program's tray icon registers with it and the tests find the icon on the bus.
// It prints "registered ITEM" and "unregistered ITEM", ITEM as service/path.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QStringList>
#include <cstdio>

namespace {

constexpr char kInterface[] = "org.kde.StatusNotifierWatcher";
constexpr char kPath[] = "/StatusNotifierWatcher";

void Say(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

class Watcher : public QDBusVirtualObject {
 public:
  explicit Watcher(QDBusConnection bus) : bus_(bus), watcher_(this) {
    watcher_.setConnection(bus);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered,
                     [this](const QString& service) { Forget(service); });
  }

  QString introspect(const QString&) const override {
    return R"xml(<interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
</interface>
<interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
</interface>
)xml";
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (member == "RegisterStatusNotifierItem" && args.size() == 1) {
      Register(message.service(), args[0].toString());
      connection.send(message.createReply());
    } else if (member == "RegisterStatusNotifierHost") {
      connection.send(message.createReply());
      Emit("StatusNotifierHostRegistered", {});
    } else if (member == "Get" && args.size() == 2) {
      const QVariantMap all = Properties();
      if (!all.contains(args[1].toString())) {
        connection.send(message.createErrorReply(QDBusError::UnknownProperty, args[1].toString()));
        return true;
      }
      connection.send(
          message.createReply(QVariant::fromValue(QDBusVariant(all[args[1].toString()]))));
    } else if (member == "GetAll") {
      connection.send(message.createReply(Properties()));
    } else {
      return false;
    }
    return true;
  }

 private:
  QVariantMap Properties() const {
    return {{"RegisteredStatusNotifierItems", items_},
            {"IsStatusNotifierHostRegistered", true},
            {"ProtocolVersion", 0}};
  }

  // An item names its service, or only its path on the caller's connection.
  void Register(const QString& sender, const QString& argument) {
    const bool path_only = argument.startsWith('/');
    const QString service = path_only ? sender : argument;
    const QString item = service + (path_only ? argument : QString("/StatusNotifierItem"));
    if (items_.contains(item))
      return;
    items_.append(item);
    // Gone when either goes: the name it gave, or the connection that gave it.
    owners_[item] = {service, sender};
    watcher_.addWatchedService(service);
    watcher_.addWatchedService(sender);
    Say("registered " + item);
    Emit("StatusNotifierItemRegistered", {item});
  }

  void Forget(const QString& service) {
    for (const QString& item : QStringList(items_)) {
      if (!owners_[item].contains(service))
        continue;
      owners_.remove(item);
      items_.removeAll(item);
      Say("unregistered " + item);
      Emit("StatusNotifierItemUnregistered", {item});
    }
  }

  void Emit(const char* name, const QVariantList& args) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
    signal.setArguments(args);
    bus_.send(signal);
  }

  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  QStringList items_;
  QHash<QString, QStringList> owners_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Watcher watcher(bus);
  if (!bus.registerVirtualObject(kPath, &watcher) || !bus.registerService(kInterface)) {
    std::fprintf(stderr, "tray_watcher: cannot take %s: %s\n", kInterface,
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  Say("ready");
  return app.exec();
}
