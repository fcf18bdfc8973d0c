// A GlobalShortcuts portal backend for the sway test desktop, which has none of its own: it binds
// what a client asks for, and the tests press the bound shortcuts through a test-only interface.
//   mock_shortcuts --mode=bind|bind-only|refuse
// bind: the shortcuts in CreateSession's options and those of BindShortcuts are bound (as KDE's
// backend does). bind-only: CreateSession's are ignored, only BindShortcuts binds. refuse: every
// request is answered 2, as a backend that turns the client away.
//
// Test-only interface org.pixtrel.test.Shortcuts on the same object:
//   Trigger(s id) -> b     Activated then Deactivated on each session that bound it
//   Press(s id) -> b       Activated only; Release(s id) -> b   Deactivated only
//   Calls() -> as          each request received, in order, as "Method id:trigger id:trigger..."
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <algorithm>
#include <cstdio>

namespace {

constexpr char kPath[] = "/org/freedesktop/portal/desktop";
constexpr char kPortal[] = "org.freedesktop.impl.portal.GlobalShortcuts";
constexpr char kTest[] = "org.pixtrel.test.Shortcuts";
constexpr char kService[] = "org.pixtrel.test.Shortcuts";

struct Shortcut {
  QString id;
  QVariantMap properties;
};

}  // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QDBusArgument& operator<<(QDBusArgument& out, const Shortcut& shortcut) {
  out.beginStructure();
  out << shortcut.id << shortcut.properties;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Shortcut& shortcut) {
  in.beginStructure();
  in >> shortcut.id >> shortcut.properties;
  in.endStructure();
  return in;
}

// a(sa{sv}) as it arrives, inside a variant or not.
QList<Shortcut> ShortcutsOf(const QVariant& value) {
  QList<Shortcut> shortcuts;
  QVariant inner = value;
  if (inner.canConvert<QDBusVariant>())
    inner = inner.value<QDBusVariant>().variant();
  if (!inner.canConvert<QDBusArgument>())
    return shortcuts;
  inner.value<QDBusArgument>() >> shortcuts;
  return shortcuts;
}

// What the backend hands back: each shortcut with the trigger it was given.
QList<Shortcut> Bound(const QList<Shortcut>& asked) {
  QList<Shortcut> bound;
  for (const Shortcut& shortcut : asked) {
    bound.append(
        {shortcut.id,
         {{"description", shortcut.properties.value("description").toString()},
          {"trigger_description", shortcut.properties.value("preferred_trigger").toString()}}});
  }
  return bound;
}

QString Describe(const QString& method, const QList<Shortcut>& shortcuts) {
  QString line = method;
  for (const Shortcut& shortcut : shortcuts)
    line += " " + shortcut.id + ":" + shortcut.properties.value("preferred_trigger").toString();
  return line;
}

enum class Mode { kBind, kBindOnly, kRefuse };

class Backend : public QDBusVirtualObject {
 public:
  Backend(QDBusConnection bus, Mode mode) : bus_(bus), mode_(mode) { clock_.start(); }

  QString introspect(const QString& path) const override {
    if (path != kPath)
      return {};
    return R"xml(<interface name="org.freedesktop.impl.portal.GlobalShortcuts">
  <method name="CreateSession"><arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <method name="ListShortcuts"><arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
  <signal name="Deactivated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
  <signal name="ShortcutsChanged"><arg type="o"/><arg type="a(sa{sv})"/></signal>
  <property name="version" type="u" access="read"/>
</interface>
<interface name="org.pixtrel.test.Shortcuts">
  <method name="Trigger"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="Press"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="Release"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="Calls"><arg type="as" direction="out"/></method>
</interface>
)xml";
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QString member = message.member();
    const QVariantList args = message.arguments();
    // Sessions and requests live under the object: their Close needs no more than an answer.
    if (message.path() != kPath) {
      if (member == "Close") {
        calls_.append("Close");
        sessions_.remove(message.path());
      }
      connection.send(message.createReply());
      return true;
    }
    if (member == "Get" || member == "GetAll") {
      const QVariantMap all{{"version", 1u}};
      connection.send(member == "GetAll"
                          ? message.createReply(all)
                          : message.createReply(QVariant::fromValue(QDBusVariant(all["version"]))));
    } else if (member == "CreateSession" && args.size() == 4) {
      const QList<Shortcut> asked =
          ShortcutsOf(qdbus_cast<QVariantMap>(args[3]).value("shortcuts"));
      calls_.append(Describe(member, asked));
      const QString session = args[1].value<QDBusObjectPath>().path();
      if (mode_ != Mode::kRefuse)
        sessions_[session] = mode_ == Mode::kBind ? Bound(asked) : QList<Shortcut>();
      Answer(message, sessions_.value(session));
    } else if (member == "BindShortcuts" && args.size() == 5) {
      const QList<Shortcut> asked = ShortcutsOf(args[2]);
      calls_.append(Describe(member, asked));
      const QString session = args[1].value<QDBusObjectPath>().path();
      if (mode_ != Mode::kRefuse && sessions_.contains(session))
        sessions_[session] = Bound(asked);
      Answer(message, sessions_.value(session));
    } else if (member == "ListShortcuts" && args.size() == 2) {
      calls_.append(member);
      Answer(message, sessions_.value(args[1].value<QDBusObjectPath>().path()));
    } else if (message.interface() == kTest && member == "Calls") {
      connection.send(message.createReply(calls_));
    } else if (message.interface() == kTest && args.size() == 1) {
      const QString id = args[0].toString();
      const bool bound = (member == "Trigger" || member == "Press") && Emit("Activated", id);
      const bool released = (member == "Trigger" || member == "Release") && Emit("Deactivated", id);
      connection.send(message.createReply(bound || released));
    } else {
      return false;
    }
    return true;
  }

 private:
  void Answer(const QDBusMessage& message, const QList<Shortcut>& bound) {
    if (mode_ == Mode::kRefuse) {
      bus_.send(message.createReply({2u, QVariantMap()}));
      return;
    }
    QVariantMap results;
    if (!bound.isEmpty())
      results["shortcuts"] = QVariant::fromValue(bound);
    bus_.send(message.createReply({0u, results}));
  }

  // The signal on each session that bound the shortcut; whether there was one.
  bool Emit(const char* name, const QString& id) {
    bool any = false;
    for (auto session = sessions_.cbegin(); session != sessions_.cend(); ++session) {
      const bool bound = std::any_of(session->begin(), session->end(),
                                     [&](const Shortcut& shortcut) { return shortcut.id == id; });
      if (!bound)
        continue;
      QDBusMessage signal = QDBusMessage::createSignal(kPath, kPortal, name);
      signal.setArguments({QVariant::fromValue(QDBusObjectPath(session.key())), id,
                           static_cast<qulonglong>(clock_.elapsed()), QVariantMap()});
      bus_.send(signal);
      any = true;
    }
    return any;
  }

  QDBusConnection bus_;
  Mode mode_;
  QElapsedTimer clock_;
  QMap<QString, QList<Shortcut>> sessions_;
  QStringList calls_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  const QStringList args = app.arguments();
  Mode mode = Mode::kBind;
  if (args.contains("--mode=bind-only"))
    mode = Mode::kBindOnly;
  else if (args.contains("--mode=refuse"))
    mode = Mode::kRefuse;

  QDBusConnection bus = QDBusConnection::sessionBus();
  Backend backend(bus, mode);
  if (!bus.registerVirtualObject(kPath, &backend, QDBusConnection::SubPath) ||
      !bus.registerService(kService)) {
    std::fprintf(stderr, "mock_shortcuts: cannot take %s: %s\n", kService,
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}
