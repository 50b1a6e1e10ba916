#include "platform/KeepAwakeDBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace sondrel {
namespace {

const QString kApplication = QStringLiteral("Sondrel");
const QString kReason = QStringLiteral("Ping test or IP scan running");
// A bus that answers slowly must not hold the inhibit request forever.
constexpr int kCallTimeoutMs = 5000;

}  // namespace

DBusKeepAwake::DBusKeepAwake(QObject* parent)
    : DBusKeepAwake(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), parent) {}

DBusKeepAwake::DBusKeepAwake(QDBusConnection session, QDBusConnection system, QObject* parent)
    : QObject(parent), session_(std::move(session)), system_(std::move(system)) {}

DBusKeepAwake::~DBusKeepAwake() {
  holds_ = 0;
  drop();
}

void DBusKeepAwake::acquire() {
  ++holds_;
  if (holds_ == 1 && state_ == State::None) askScreenSaver();
}

void DBusKeepAwake::release() {
  if (holds_ == 0) return;  // an unmatched release must not go negative
  --holds_;
  // An answer still on its way is dropped when it arrives.
  if (holds_ == 0 && state_ == State::Held) drop();
}

void DBusKeepAwake::askScreenSaver() {
  if (!session_.isConnected()) {
    askLogin();
    return;
  }
  state_ = State::AskingScreenSaver;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
      QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
  call << kApplication << kReason;
  auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, &DBusKeepAwake::screenSaverAnswered);
}

void DBusKeepAwake::askLogin() {
  if (!system_.isConnected()) {
    state_ = State::None;
    return;
  }
  state_ = State::AskingLogin;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("idle") << kApplication << kReason << QStringLiteral("block");
  auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, &DBusKeepAwake::loginAnswered);
}

void DBusKeepAwake::screenSaverAnswered(QDBusPendingCallWatcher* call) {
  call->deleteLater();
  QDBusPendingReply<quint32> reply = *call;
  if (reply.isError()) {
    askLogin();
    return;
  }
  cookie_ = reply.value();
  holdsCookie_ = true;
  state_ = State::Held;
  Q_EMIT inhibitChanged(true);
  if (holds_ == 0) drop();
}

void DBusKeepAwake::loginAnswered(QDBusPendingCallWatcher* call) {
  call->deleteLater();
  QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
  if (reply.isError() || !reply.value().isValid()) {
    state_ = State::None;
    // Holds taken while nobody would inhibit are still counted; the next
    // first acquire asks again.
    return;
  }
  lockFd_ = reply.value();
  state_ = State::Held;
  Q_EMIT inhibitChanged(true);
  if (holds_ == 0) drop();
}

void DBusKeepAwake::drop() {
  if (state_ != State::Held) return;
  if (holdsCookie_) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("UnInhibit"));
    call << cookie_;
    session_.call(call, QDBus::NoBlock);
    holdsCookie_ = false;
  }
  // logind drops its lock when the last copy of the descriptor is closed.
  lockFd_ = QDBusUnixFileDescriptor();
  state_ = State::None;
  Q_EMIT inhibitChanged(false);
}

}  // namespace sondrel
