// Desktop notifications over a private session bus with a notification
// server of the test's own: the calls' texts and urgency, the Show action,
// and a server that never answers, which must delay nothing.
#include "platform/NotifierDBus.h"

#include <gtest/gtest.h>

#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <optional>

#include "support/PrivateBus.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

class NotificationServer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString app, icon, summary, body;
    QStringList actions;
    QVariantMap hints;
  };
  QList<Call> calls;
  bool silent = false;  // takes the call and never answers

 public Q_SLOTS:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int) {
    calls.append({app, icon, summary, body, actions, hints});
    if (silent) setDelayedReply(true);
    return 40 + static_cast<uint>(calls.size());
  }
  QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
};

class NotifierBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.ok()) SONDREL_SKIP_MISSING("no dbus-daemon to run a private bus");
    serviceBus_ = bus_.service();
    ASSERT_TRUE(serviceBus_.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceBus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                           QDBusConnection::ExportAllSlots));
  }
  // Waits for `answered`, counting how often a 10 ms timer fired meanwhile.
  std::optional<bool> Send(DBusNotifier& notifier, const DesktopNotification& n, int* ticks = nullptr) {
    std::optional<bool> shown;
    QTimer tick;
    int count = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++count; });
    tick.start(10);
    notifier.notify(n, [&](bool s) { shown = s; });
    EXPECT_FALSE(shown) << "told after notify() returns";
    if (!QTest::qWaitFor([&] { return shown.has_value(); }, 10000)) ADD_FAILURE() << "no answer";
    if (ticks) *ticks = count;
    return shown;
  }

  PrivateBus bus_{QStringLiteral("notifier")};
  QDBusConnection serviceBus_{QStringLiteral("none")};
  NotificationServer server;
};

TEST_F(NotifierBus, ACallCarriesItsTextsAndUrgencyAndTheShowActionComesBack) {
  DBusNotifier notifier(bus_.client());
  const std::optional<bool> shown =
      Send(notifier, {QStringLiteral("router is down"), QStringLiteral("127.0.0.1 since 14:05:09"), true, true, 77});
  ASSERT_TRUE(shown);
  EXPECT_TRUE(*shown);
  ASSERT_EQ(server.calls.size(), 1);
  const NotificationServer::Call& c = server.calls[0];
  EXPECT_EQ(c.app, QStringLiteral("Sondrel"));
  EXPECT_EQ(c.summary, QStringLiteral("router is down"));
  EXPECT_EQ(c.body, QStringLiteral("127.0.0.1 since 14:05:09"));
  EXPECT_EQ(c.hints.value(QStringLiteral("urgency")).toInt(), 2) << "critical";
  EXPECT_TRUE(c.actions.contains(QStringLiteral("show")));

  Send(notifier, {QStringLiteral("router is up again"), QString(), false, false, 78});
  ASSERT_EQ(server.calls.size(), 2);
  EXPECT_EQ(server.calls[1].hints.value(QStringLiteral("urgency")).toInt(), 1) << "normal";
  EXPECT_TRUE(server.calls[1].actions.isEmpty());

  // The user chooses Show on the first one.
  std::optional<quint64> asked;
  QObject::connect(&notifier, &INotifier::showAsked, [&](quint64 token) { asked = token; });
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                   QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("ActionInvoked"));
  signal << 41u << QStringLiteral("show");
  ASSERT_TRUE(serviceBus_.send(signal));
  ASSERT_TRUE(QTest::qWaitFor([&] { return asked.has_value(); }, 5000));
  EXPECT_EQ(*asked, 77u);
}

TEST_F(NotifierBus, AServerThatNeverAnswersIsTakenAsNoneAfterTheTimeOutAndBlocksNothing) {
  server.silent = true;
  DBusNotifier notifier(bus_.client(), 300);
  QElapsedTimer clock;
  clock.start();
  int ticks = 0;
  const std::optional<bool> shown = Send(notifier, {QStringLiteral("router is down"), {}, true, false, 1}, &ticks);
  ASSERT_TRUE(shown);
  EXPECT_FALSE(*shown);
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_GT(ticks, 5) << "the event loop ran on while the call waited";
}

TEST(Notifier, WithoutABusEveryNotificationIsToldAsNotShown) {
  DBusNotifier notifier(QDBusConnection(QStringLiteral("no-such-bus")));
  std::optional<bool> shown;
  notifier.notify({QStringLiteral("x"), {}, false, false, 0}, [&](bool s) { shown = s; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown.has_value(); }, 5000));
  EXPECT_FALSE(*shown);
}

}  // namespace
}  // namespace sondrel

#include "NotifierDBus_test.moc"
