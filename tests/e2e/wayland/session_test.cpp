// The Wayland test desktops themselves: that each comes up, shows another program's window
// where the compositor says it is, and passes on the keys, clicks, tray calls and shortcuts
// that the program's tests will rely on.
#include <gtest/gtest.h>

#include <signal.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/picture_files.h"
#include "support/pictures.h"
#include "support/wayland_session.h"

namespace pixtrel::test {
namespace {

using Kind = WaylandSession::Kind;

constexpr int kWidth = 301, kHeight = 203;  // odd, so that a halved or rounded size shows

const char* NameOf(Kind kind) {
  switch (kind) {
    case Kind::kKWin:
      return "KWin";
    case Kind::kSway:
      return "Sway";
    case Kind::kGnome:
      return "Gnome";
  }
  return "";
}

std::string PrintKind(const testing::TestParamInfo<Kind>& info) {
  return NameOf(info.param);
}

// What reached a window, as it printed it: not its "shown", nor Qt's warnings ("qt.qpa...: ").
std::vector<std::string> Lines(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line != "shown" && line.find(':') == std::string::npos)
      lines.push_back(line);
  }
  return lines;
}

// Shows the colour window and waits until the screen holds it; where.
ui::Rect ShowAndFind(WaylandSession& session, const std::string& title,
                     const std::vector<std::string>& options = {}) {
  session.ShowColours(title, kWidth, kHeight, options);
  EXPECT_TRUE(session.WaitForWindow(title)) << session.WindowLog(title);
  ui::Rect found;
  WaylandSession::WaitFor([&] {
    found = FindColours(session.Screen(), kWidth, kHeight);
    return found.width > 0;
  });
  return found;
}

class EachDesktop : public testing::TestWithParam<Kind> {};

TEST_P(EachDesktop, ComesUpAndShowsAWindowExactlyWhereItsCompositorSaysItIs) {
  WaylandSession session({.kind = GetParam(), .tray = false});
  std::cout << NameOf(GetParam()) << " ready in " << session.StartSeconds() << " s\n";
  const ui::Rect found = ShowAndFind(session, "colours");
  session.Shot(std::string("wayland-session-") + NameOf(GetParam()));
  ASSERT_GT(found.width, 0) << session.WindowLog("colours");

  // GNOME's shell tells no other program where its windows are.
  const std::optional<WaylandSession::WindowGeometry> active = session.ActiveWindow();
  ASSERT_EQ(active.has_value(), GetParam() != Kind::kGnome);
  if (active) {
    EXPECT_EQ(active->client, found);
    // The frame holds the client and its title bar above.
    EXPECT_LE(active->frame.left, found.left);
    EXPECT_LT(active->frame.top, found.top);
    EXPECT_GE(active->frame.left + active->frame.width, found.left + found.width);
    EXPECT_GE(active->frame.top + active->frame.height, found.top + found.height);
  }
}

TEST_P(EachDesktop, KeysAndClicksReachTheFocusedWindowInOrder) {
  WaylandSession session({.kind = GetParam(), .tray = false});
  const ui::Rect found = ShowAndFind(session, "input");
  ASSERT_GT(found.width, 0) << session.WindowLog("input");

  // A chord in one call, and the same chord held key by key: pressed in order, released in
  // reverse.
  session.Key({42, 30});
  session.KeyDown(29);
  session.KeyDown(88);
  session.KeyUp(88);
  session.KeyUp(29);
  // A click at a known point of the window's content.
  session.Pointer(found.left + 7, found.top + 11);
  session.Click();
  const std::vector<std::string> expected{"press Shift",      "press Shift+A",   "release Shift+A",
                                          "release Shift",    "press Control",   "press Ctrl+F12",
                                          "release Ctrl+F12", "release Control", "click 1 7 11"};

  EXPECT_TRUE(WaylandSession::WaitFor(
      [&] { return Lines(session.WindowLog("input")).size() >= expected.size(); }));
  EXPECT_EQ(Lines(session.WindowLog("input")), expected) << session.WindowLog("input");
}

TEST_P(EachDesktop, AnImageOnTheClipboardReadsBackTheSame) {
  WaylandSession session({.kind = GetParam(), .tray = false});
  // Another program's copy, from a window that has the keyboard as a user's copy would.
  ASSERT_GT(ShowAndFind(session, "clipboard").width, 0);
  const Bitmap picture = SamplePicture(37, 23, 32);
  const std::string file = session.Home() / "copied.png";
  ASSERT_TRUE(SavePng(picture, file));
  EXPECT_TRUE(session.ClipboardImage().Empty());
  session.Spawn({"sh", "-c", "exec wl-copy --foreground -t image/png < \"$0\"", file}, {},
                session.Home() / "wl-copy.log");
  Bitmap pasted;
  EXPECT_TRUE(WaylandSession::WaitFor([&] {
    pasted = session.ClipboardImage();
    return !pasted.Empty();
  })) << ReadFileBytes(session.Home() / "wl-copy.log");
  EXPECT_EQ(Differences(pasted, picture), 0);
}

INSTANTIATE_TEST_SUITE_P(Wayland, EachDesktop,
                         testing::Values(Kind::kKWin, Kind::kSway, Kind::kGnome), PrintKind);

// The notification area is ours on every desktop, and the same D-Bus calls: one desktop shows
// it.
TEST(WaylandTray, AQtTrayIconRegistersAnswersClicksAndMenuChoicesAndGoesWithItsProgram) {
  WaylandSession session({.kind = Kind::kSway});
  EXPECT_FALSE(session.TrayItemShown());
  const pid_t window = session.ShowColours("tray", kWidth, kHeight, {"--tray"});
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }))
      << session.WindowLog("tray");
  EXPECT_EQ(session.TrayMenuLabels(), (std::vector<std::string>{"First", "Second"}));
  EXPECT_TRUE(session.TrayMenuClick("Second"));
  EXPECT_FALSE(session.TrayMenuClick("Third"));
  EXPECT_TRUE(session.TrayActivate());
  EXPECT_TRUE(session.TrayContextMenu());
  // Qt's reasons: Trigger is 3, Context 1.
  const std::vector<std::string> expected{"menu Second", "activated 3", "activated 1"};
  EXPECT_TRUE(WaylandSession::WaitFor(
      [&] { return Lines(session.WindowLog("tray")).size() >= expected.size(); }));
  EXPECT_EQ(Lines(session.WindowLog("tray")), expected) << session.WindowLog("tray");

  ::kill(window, SIGTERM);
  EXPECT_TRUE(WaylandSession::WaitFor([&] { return !session.TrayItemShown(); }));
}

// --- GlobalShortcuts through the portal to our backend, as the program will ask for them

struct Shortcut {
  QString id;
  QVariantMap properties;
};

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

// A portal client: the answers to its requests and the signals of its session.
class PortalClient : public QObject {
  Q_OBJECT

 public:
  explicit PortalClient(const std::string& address)
      : bus_(QDBusConnection::connectToBus(QString::fromStdString(address), "portal-client")) {
    // Qt finds a slot's parameter types by name, and knows this name only once it is used.
    qRegisterMetaType<QDBusObjectPath>();
    bus_.connect(kDesktop, kPath, kShortcuts, "Activated", this,
                 SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.connect(kDesktop, kPath, kShortcuts, "Deactivated", this,
                 SLOT(Deactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
  }
  ~PortalClient() override { QDBusConnection::disconnectFromBus("portal-client"); }

  // A request's response code and results; code 99 when none came.
  std::pair<uint, QVariantMap> Request(const QString& interface, const QString& method,
                                       QVariantList args, QVariantMap options) {
    const QString token = QString("t%1").arg(++requests_);
    options["handle_token"] = token;
    args.append(options);
    const QString path = QString("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(bus_.baseService().mid(1).replace('.', '_'), token);
    response_.reset();
    bus_.connect(kDesktop, path, "org.freedesktop.portal.Request", "Response", this,
                 SLOT(Response(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kDesktop, kPath, interface, method);
    call.setArguments(args);
    bus_.call(call, QDBus::Block, 5000);
    WaylandSession::WaitFor([&] { return response_.has_value(); }, 10000);
    return response_.value_or(std::pair<uint, QVariantMap>{99, {}});
  }

  std::vector<std::string> signals_;

 public slots:
  void Response(uint code, const QVariantMap& results) { response_ = {code, results}; }
  void Activated(const QDBusObjectPath&, const QString& id, qulonglong, const QVariantMap&) {
    signals_.push_back("Activated " + id.toStdString());
  }
  void Deactivated(const QDBusObjectPath&, const QString& id, qulonglong, const QVariantMap&) {
    signals_.push_back("Deactivated " + id.toStdString());
  }

 private:
  static constexpr char kDesktop[] = "org.freedesktop.portal.Desktop";
  static constexpr char kPath[] = "/org/freedesktop/portal/desktop";
  static constexpr char kShortcuts[] = "org.freedesktop.portal.GlobalShortcuts";
  QDBusConnection bus_;
  int requests_ = 0;
  std::optional<std::pair<uint, QVariantMap>> response_;
};

constexpr char kGlobalShortcuts[] = "org.freedesktop.portal.GlobalShortcuts";

std::string BusAddress(const WaylandSession& session) {
  for (const std::string& variable : session.Environment()) {
    if (variable.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0)
      return variable.substr(variable.find('=') + 1);
  }
  return "";
}

QStringList BoundIds(const QVariantMap& results) {
  QList<Shortcut> shortcuts;
  if (results.contains("shortcuts"))
    results["shortcuts"].value<QDBusArgument>() >> shortcuts;
  QStringList ids;
  for (const Shortcut& shortcut : shortcuts)
    ids.append(shortcut.id);
  return ids;
}

// The program's screen copies go through the Screenshot portal: on each desktop it answers at
// once, with no dialog, and its picture is the screen's.
class EachDesktopPortal : public testing::TestWithParam<Kind> {};

TEST_P(EachDesktopPortal, ScreenshotAnswersWithoutAskingWithTheScreenAsItIs) {
  WaylandSession session({.kind = GetParam(), .tray = false});
  const ui::Rect found = ShowAndFind(session, "portal");
  ASSERT_GT(found.width, 0);
  // KDE's portal draws the pointer in: off the window.
  session.Pointer(1000, 700);
  PortalClient client(BusAddress(session));
  const auto [code, results] = client.Request("org.freedesktop.portal.Screenshot", "Screenshot",
                                              {""}, {{"interactive", false}});
  ASSERT_EQ(code, 0u);
  const QString uri = results["uri"].toString();
  ASSERT_TRUE(uri.startsWith("file://")) << uri.toStdString();
  const Bitmap shot = DecodeImage(ReadFileBytes(uri.mid(7).toStdString()));
  EXPECT_EQ(FindColours(shot, kWidth, kHeight), found);
}

INSTANTIATE_TEST_SUITE_P(Wayland, EachDesktopPortal,
                         testing::Values(Kind::kKWin, Kind::kSway, Kind::kGnome), PrintKind);

TEST(WaylandShortcuts, OurBackendBindsRefusesAndFiresAsItsModeSays) {
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  using Mode = WaylandSession::ShortcutMode;
  struct Case {
    Mode mode;
    uint created;                // CreateSession's response
    QStringList bound_at_start;  // the ids its results list
    QStringList bound;           // and BindShortcuts'
    bool fires;
  };
  const Case cases[] = {
      {Mode::kBind, 0, {"full"}, {"full"}, true},
      {Mode::kBindOnly, 0, {}, {"full"}, true},
      {Mode::kRefuse, 2, {}, {}, false},
  };
  const QList<Shortcut> shortcuts{
      {"full", {{"description", "Capture the screen"}, {"preferred_trigger", "F12"}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    WaylandSession session(
        {.kind = Kind::kSway, .tray = false, .mock_shortcuts = true, .shortcut_mode = c.mode});
    PortalClient client(BusAddress(session));
    const auto [created, results] = client.Request(
        kGlobalShortcuts, "CreateSession", {},
        {{"session_handle_token", "s1"}, {"shortcuts", QVariant::fromValue(shortcuts)}});
    EXPECT_EQ(created, c.created);
    EXPECT_EQ(BoundIds(results), c.bound_at_start);
    std::vector<std::string> calls{"CreateSession full:F12"};
    if (created == 0) {
      const QDBusObjectPath handle(results["session_handle"].toString());
      const auto [code, bound] =
          client.Request(kGlobalShortcuts, "BindShortcuts",
                         {QVariant::fromValue(handle), QVariant::fromValue(shortcuts), ""}, {});
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(BoundIds(bound), c.bound);
      calls.push_back("BindShortcuts full:F12");
    }
    // A refused session is closed behind it.
    if (created != 0)
      calls.push_back("Close");
    EXPECT_TRUE(WaylandSession::WaitFor([&] { return session.ShortcutCalls() == calls; }))
        << testing::PrintToString(session.ShortcutCalls());

    EXPECT_EQ(session.Trigger("full"), c.fires);
    EXPECT_FALSE(session.Trigger("region"));
    const std::vector<std::string> fired{"Activated full", "Deactivated full"};
    if (c.fires) {
      EXPECT_TRUE(WaylandSession::WaitFor([&] { return client.signals_.size() >= 2; }));
    }
    EXPECT_EQ(client.signals_, c.fires ? fired : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace pixtrel::test

#include "session_test.moc"
