// Where DesktopBus hears the bus: moc needs it in a header of its own.
#pragma once

#include <functional>
#include <future>
#include <map>
#include <mutex>

#include <QDBusMessage>
#include <QObject>
#include <QString>

namespace pixtrel {

class BusRelay : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.pixtrel.Report")

 public:
  // Answers for those paths, and script reports, are handed to the waiting caller.
  void Expect(const QString& path, std::promise<QDBusMessage> answer);
  void Forget(const QString& path);
  void ExpectReport(std::promise<QString> report);
  void Handle(const QString& key, std::function<void(const QDBusMessage&)> handler);

 public slots:
  void Answer(const QDBusMessage& message);
  void Signal(const QDBusMessage& message);
  Q_SCRIPTABLE void report(const QString& text);

 private:
  std::mutex mutex_;
  std::map<QString, std::promise<QDBusMessage>> answers_;
  std::optional<std::promise<QString>> report_;
  std::map<QString, std::function<void(const QDBusMessage&)>> handlers_;
};

}  // namespace pixtrel
