#pragma once
// Desktop notifications through the freedesktop notification service on
// the session bus (org.freedesktop.Notifications), asked for asynchronously
// with a time-out so that a service that hangs delays nothing.

#include <QDBusConnection>
#include <QHash>

#include "ports/Notifier.h"

namespace sondrel {

class DBusNotifier final : public INotifier {
  Q_OBJECT
 public:
  static constexpr int kDefaultTimeoutMs = 3000;

  // The user's session bus.
  explicit DBusNotifier(QObject* parent = nullptr);
  // A given bus, for tests that run their own bus daemon.
  explicit DBusNotifier(QDBusConnection session, int timeoutMs = kDefaultTimeoutMs, QObject* parent = nullptr);

  void notify(const DesktopNotification& notification, std::function<void(bool shown)> answered) override;

 private Q_SLOTS:
  void actionInvoked(uint id, const QString& key);
  void closed(uint id, uint reason);

 private:
  QDBusConnection session_;
  int timeoutMs_;
  QHash<uint, quint64> tokens_;  // notification id -> token, while it may be used
};

}  // namespace sondrel
