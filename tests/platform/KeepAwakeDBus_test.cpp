#include "platform/KeepAwakeDBus.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include "support/PrivateBus.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

class ScreenSaverService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  int inhibits = 0;
  int uninhibits = 0;
  quint32 lastUninhibited = 0;
  int active = 0;

 public Q_SLOTS:
  quint32 Inhibit(const QString&, const QString&) {
    ++inhibits;
    ++active;
    return 4000 + static_cast<quint32>(inhibits);
  }
  void UnInhibit(quint32 cookie) {
    ++uninhibits;
    --active;
    lastUninhibited = cookie;
  }
};

class LoginService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

 public:
  ~LoginService() override {
    if (readEnd >= 0) close(readEnd);
  }
  int inhibits = 0;
  QString what, mode;
  int readEnd = -1;  // hangs up once every copy of the lock's write end is closed

  // True while somebody still holds the lock descriptor.
  bool lockHeld() const {
    pollfd p{readEnd, POLLIN, 0};
    return readEnd >= 0 && poll(&p, 1, 0) == 0;
  }

 public Q_SLOTS:
  QDBusUnixFileDescriptor Inhibit(const QString& w, const QString&, const QString&, const QString& m) {
    ++inhibits;
    what = w;
    mode = m;
    int fds[2];
    if (pipe(fds) != 0) return {};
    readEnd = fds[0];
    QDBusUnixFileDescriptor lock(fds[1]);  // keeps a copy of its own
    close(fds[1]);
    return lock;
  }
};

bool Serve(QDBusConnection& bus, const QString& service, const QString& path, QObject* object) {
  return bus.registerService(service) && bus.registerObject(path, object, QDBusConnection::ExportAllSlots);
}

// A session bus of our own with a screen saver on it, and no system bus.
class ScreenSaverBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!session_.ok()) SONDREL_SKIP_MISSING("no dbus-daemon to run a private bus");
    serviceBus_ = session_.service();
    ASSERT_TRUE(Serve(serviceBus_, QStringLiteral("org.freedesktop.ScreenSaver"),
                      QStringLiteral("/org/freedesktop/ScreenSaver"), &saver));
    keep = std::make_unique<DBusKeepAwake>(session_.client(), QDBusConnection(QStringLiteral("none")));
  }
  void TearDown() override { keep.reset(); }

  PrivateBus session_{QStringLiteral("keepawake-session")};
  QDBusConnection serviceBus_{QStringLiteral("none")};
  ScreenSaverService saver;
  std::unique_ptr<DBusKeepAwake> keep;
};

TEST_F(ScreenSaverBus, InhibitIsTakenOnceAndDroppedByTheLastRelease) {
  DBusKeepAwake& keep = *this->keep;
  keep.acquire();
  keep.acquire();
  ASSERT_TRUE(QTest::qWaitFor([&] { return keep.inhibited(); }, 5000));
  EXPECT_EQ(saver.inhibits, 1);
  EXPECT_EQ(keep.holds(), 2);

  keep.release();
  QTest::qWait(50);
  EXPECT_TRUE(keep.inhibited());
  EXPECT_EQ(saver.uninhibits, 0);

  keep.release();
  EXPECT_FALSE(keep.inhibited());
  ASSERT_TRUE(QTest::qWaitFor([&] { return saver.uninhibits == 1; }, 5000));
  EXPECT_EQ(saver.lastUninhibited, 4001u);
  keep.release();  // unmatched
  EXPECT_EQ(keep.holds(), 0);

  // A new run takes a new inhibit.
  keep.acquire();
  ASSERT_TRUE(QTest::qWaitFor([&] { return keep.inhibited(); }, 5000));
  EXPECT_EQ(saver.inhibits, 2);
  keep.release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return saver.active == 0; }, 5000));
}

TEST_F(ScreenSaverBus, ReleaseBeforeTheAnswerStillDropsTheInhibit) {
  DBusKeepAwake& keep = *this->keep;
  keep.acquire();
  keep.release();  // before the event loop has delivered the answer
  ASSERT_TRUE(QTest::qWaitFor([&] { return saver.inhibits == 1 && saver.active == 0; }, 5000));
  EXPECT_FALSE(keep.inhibited());
}

TEST(DBusKeepAwake, FallsBackToTheLoginManagerAndKeepsItsLock) {
  PrivateBus session(QStringLiteral("keepawake-nosaver"));
  PrivateBus system(QStringLiteral("keepawake-system"));
  if (!session.ok() || !system.ok()) SONDREL_SKIP_MISSING("no dbus-daemon to run a private bus");
  LoginService login;
  QDBusConnection serviceBus = system.service();
  ASSERT_TRUE(Serve(serviceBus, QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    &login));
  DBusKeepAwake keep(session.client(), system.client());
  keep.acquire();
  ASSERT_TRUE(QTest::qWaitFor([&] { return keep.inhibited(); }, 5000));
  EXPECT_EQ(login.inhibits, 1);
  EXPECT_EQ(login.what, QStringLiteral("idle"));
  EXPECT_EQ(login.mode, QStringLiteral("block"));
  QTest::qWait(50);
  EXPECT_TRUE(login.lockHeld()) << "the lock descriptor was not kept";
  keep.release();
  EXPECT_FALSE(keep.inhibited());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !login.lockHeld(); }, 5000)) << "the lock was not let go";
}

TEST(DBusKeepAwake, WithoutAnyBusItOnlyCounts) {
  DBusKeepAwake keep(QDBusConnection(QStringLiteral("none")), QDBusConnection(QStringLiteral("none")));
  keep.acquire();
  keep.acquire();
  QTest::qWait(20);
  EXPECT_EQ(keep.holds(), 2);
  EXPECT_FALSE(keep.inhibited());
  keep.release();
  keep.release();
  keep.release();
  EXPECT_EQ(keep.holds(), 0);
  // The real buses, whatever this machine has: must neither crash nor block.
  DBusKeepAwake system;
  system.acquire();
  system.release();
  EXPECT_EQ(system.holds(), 0);
}

}  // namespace
}  // namespace sondrel

#include "KeepAwakeDBus_test.moc"
