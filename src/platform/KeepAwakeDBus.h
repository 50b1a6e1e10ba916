#pragma once
// Keeps the desktop session from idling while a run or scan goes, through a
// D-Bus inhibit: the screen saver's on the session bus, else logind's "idle"
// lock on the system bus. Without a bus it still counts holds and does
// nothing else. Calls never block the caller: the inhibit is asked for
// asynchronously, so the object needs an event loop in its thread, and is
// used from that thread only.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include "ports/KeepAwake.h"

class QDBusPendingCallWatcher;

namespace sondrel {

class DBusKeepAwake final : public QObject, public IKeepAwake {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DBusKeepAwake)

 public:
  // The user's session bus and the system bus.
  explicit DBusKeepAwake(QObject* parent = nullptr);
  // Given buses, for tests that run their own bus daemon.
  DBusKeepAwake(QDBusConnection session, QDBusConnection system, QObject* parent = nullptr);
  ~DBusKeepAwake() override;

  void acquire() override;
  void release() override;

  int holds() const { return holds_; }
  // True while an inhibit is held (not while it is still being asked for).
  bool inhibited() const { return state_ == State::Held; }

 Q_SIGNALS:
  // Emitted when an inhibit has been taken or dropped (for tests and logs).
  void inhibitChanged(bool inhibited);

 private:
  enum class State { None, AskingScreenSaver, AskingLogin, Held };

  void askScreenSaver();
  void askLogin();
  void screenSaverAnswered(QDBusPendingCallWatcher* call);
  void loginAnswered(QDBusPendingCallWatcher* call);
  void drop();

  QDBusConnection session_;
  QDBusConnection system_;
  int holds_ = 0;
  State state_ = State::None;
  quint32 cookie_ = 0;              // screen-saver inhibit, when that is what we hold
  bool holdsCookie_ = false;
  QDBusUnixFileDescriptor lockFd_;  // logind inhibit lock, when that is what we hold
};

}  // namespace sondrel
