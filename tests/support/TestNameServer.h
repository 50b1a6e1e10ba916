#pragma once
// Name servers of the tests' own (support/SlowNameServer.cpp) on loopback
// addresses of the private test namespace, and a resolv.conf that points at
// them, bind-mounted over /etc/resolv.conf for the programs a test starts in
// a mount namespace of their own.
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace sondrel::testing {

inline const QString kNameServerProgram = QStringLiteral(SONDREL_BIN_DIR "/sondrel-test-nameserver");

// Why no test name server can stand in for the resolver's here, or "".
inline std::string WhyNoTestNameServer() {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1")
    return "not inside the private test namespace (SONDREL_ISOLATED unset)";
  if (geteuid() != 0) return "needs root for port 53 and a mount namespace";
  if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
    return "cannot make a mount namespace";
  return {};
}

// One server process, ended with the object.
class TestNameServer {
 public:
  // `args` after --listen ADDRESS; true once it listens.
  bool start(const QString& address, const QStringList& args) {
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(kNameServerProgram, QStringList{QStringLiteral("--listen"), address} + args);
    if (!process_->waitForReadyRead(10000)) return false;
    return process_->readLine().trimmed() == "ready";
  }
  // The most replies held back at once so far: how many queries waited
  // side by side.
  int peakWaiting() {
    for (int round = 0; round < 20 && process_->waitForReadyRead(100); ++round) {
    }
    int peak = 0;
    for (const QByteArray& line : process_->readAll().split('\n'))
      if (line.startsWith("waiting ")) peak = std::max(peak, line.mid(8).toInt());
    return peak;
  }
  ~TestNameServer() {
    if (!process_) return;
    process_->kill();
    process_->waitForFinished(5000);
  }

 private:
  std::unique_ptr<QProcess> process_;
};

// A resolv.conf naming `servers` in order, with the resolver's defaults.
class TestResolvConf {
 public:
  explicit TestResolvConf(const std::vector<std::string>& servers) {
    path_ = dir_.filePath(QStringLiteral("resolv.conf")).toStdString();
    std::string text;
    for (const std::string& s : servers) text += "nameserver " + s + "\n";
    if (std::FILE* f = std::fopen(path_.c_str(), "w")) {
      std::fputs(text.c_str(), f);
      std::fclose(f);
    }
  }
  const std::string& path() const { return path_; }
  // `program args...` run in a mount namespace whose /etc/resolv.conf is
  // this file: the program to start and its arguments.
  QStringList wrap(const QString& program, const QStringList& args) const {
    return QStringList{QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("mount --bind \"$0\" /etc/resolv.conf && exec \"$@\""),
                       QString::fromStdString(path_), program} +
           args;
  }

 private:
  QTemporaryDir dir_;
  std::string path_;
};

}  // namespace sondrel::testing
