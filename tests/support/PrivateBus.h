#pragma once
// A D-Bus daemon of the test's own (a session bus nobody else uses), with a
// connection for the code under test and one for the test's services.
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace sondrel {

// A bus daemon of the test's own, gone with the object.
class PrivateBus {
 public:
  explicit PrivateBus(const QString& name) : name_(name) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) return;
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000)) return;
    QByteArray line;
    for (int i = 0; i < 50 && !line.contains('\n'); ++i) {
      daemon_.waitForReadyRead(100);
      line += daemon_.readAllStandardOutput();
    }
    address_ = QString::fromUtf8(line.trimmed());
  }
  ~PrivateBus() {
    QDBusConnection::disconnectFromBus(name_ + QStringLiteral("-client"));
    QDBusConnection::disconnectFromBus(name_ + QStringLiteral("-service"));
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }
  bool ok() const { return !address_.isEmpty(); }
  QDBusConnection client() { return QDBusConnection::connectToBus(address_, name_ + QStringLiteral("-client")); }
  QDBusConnection service() { return QDBusConnection::connectToBus(address_, name_ + QStringLiteral("-service")); }

 private:
  QString name_;
  QProcess daemon_;
  QString address_;
};

}  // namespace sondrel
