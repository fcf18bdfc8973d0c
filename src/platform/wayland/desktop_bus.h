// The session bus as a Wayland desktop's services speak it: portal requests that answer
// later through a Request object, signals, and calls back from a KWin script.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace pixtrel {

inline constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
inline constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";

struct PortalAnswer {
  unsigned code = 0;  // 0 granted, 1 cancelled by the user, 2 refused or failed
  QVariantMap results;
};

class DesktopBus {
 public:
  DesktopBus();
  ~DesktopBus();
  DesktopBus(const DesktopBus&) = delete;
  DesktopBus& operator=(const DesktopBus&) = delete;

  bool Connected() const;
  // Whether a service with that name has an owner now.
  bool Has(const QString& service) const;
  // A portal's interface version, or 0 where the portal lacks it.
  unsigned PortalVersion(const QString& interface) const;

  // Calls a portal method whose answer comes as a Request's Response, and waits for it;
  // nothing when the call fails or no answer comes in time. The options (the last argument)
  // get a handle token.
  std::optional<PortalAnswer> Request(const QString& interface, const QString& method,
                                      QVariantList arguments, QVariantMap options, int timeout_ms);

  // The path of the session the portal makes for this program under that token.
  QString SessionPath(const QString& token) const;

  // Loads a KWin script, runs it and waits for what it reports through
  // callDBus(Reporter(), ReportPath(), ReportInterface(), "report", text).
  std::optional<QString> RunKWinScript(const QString& source, int timeout_ms);
  // Loads a KWin script that stays until unloaded; false if KWin refused it.
  bool LoadKWinScript(const QString& source, const QString& name);
  void UnloadKWinScript(const QString& name);
  QString Reporter() const;
  static QString ReportPath() { return QStringLiteral("/pixtrel/report"); }
  static QString ReportInterface() { return QStringLiteral("org.pixtrel.Report"); }

  // Runs `handler` on the bus thread for every such signal of the portal.
  void OnPortalSignal(const QString& interface, const QString& name,
                      std::function<void(const QDBusMessage&)> handler);

 private:
  class Relay;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pixtrel
