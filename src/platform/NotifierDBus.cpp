#include "platform/NotifierDBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace sondrel {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

DBusNotifier::DBusNotifier(QObject* parent) : DBusNotifier(QDBusConnection::sessionBus(), kDefaultTimeoutMs, parent) {}

DBusNotifier::DBusNotifier(QDBusConnection session, int timeoutMs, QObject* parent)
    : INotifier(parent), session_(std::move(session)), timeoutMs_(timeoutMs) {
  if (session_.isConnected()) {
    session_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
    session_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(closed(uint, uint)));
  }
}

void DBusNotifier::notify(const DesktopNotification& n, std::function<void(bool shown)> answered) {
  if (!session_.isConnected()) {
    QMetaObject::invokeMethod(this, [answered] { answered(false); }, Qt::QueuedConnection);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  QStringList actions;
  if (n.offerShow) actions << QStringLiteral("default") << QStringLiteral("Show") << QStringLiteral("show")
                           << QStringLiteral("Show");
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(n.critical ? 2 : 1)));
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("sondrel"));
  call << QStringLiteral("Sondrel") << 0u << QStringLiteral("network-error") << n.summary << n.body << actions
       << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, timeoutMs_), this);
  const quint64 token = n.token;
  const bool offer = n.offerShow;
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, answered, token, offer](QDBusPendingCallWatcher* w) {
    QDBusPendingReply<uint> reply = *w;
    w->deleteLater();
    if (reply.isError()) {
      answered(false);
      return;
    }
    if (offer) tokens_.insert(reply.value(), token);
    answered(true);
  });
}

void DBusNotifier::actionInvoked(uint id, const QString& key) {
  const auto it = tokens_.constFind(id);
  if (it == tokens_.cend()) return;
  if (key == QStringLiteral("show") || key == QStringLiteral("default")) Q_EMIT showAsked(it.value());
}

void DBusNotifier::closed(uint id, uint) { tokens_.remove(id); }

}  // namespace sondrel
