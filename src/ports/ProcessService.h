#pragma once
// Programs started by this one (the scan worker, the terminal): from an
// argument vector, never through a shell, each in a process group of its
// own so that it can be stopped with everything it started.

#include <QByteArray>
#include <QObject>
#include <csignal>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/common/Result.h"

namespace sondrel {

// The most output bytes handed over in one piece.
inline constexpr int kOutputPieceBytes = 256;

// What one read of a child's channel gave.
enum class ChannelRead { Data, Nothing, Closed };

class ChildProcess : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  ~ChildProcess() override = default;

  virtual qint64 pid() const = 0;
  virtual bool running() const = 0;
  // The exit code, or 128 + the signal that ended it; -1 while it runs.
  virtual int exitStatus() const = 0;
  // This program's end of the socket pair handed to the child; -1 without
  // one. It stays the child object's and is closed with it.
  virtual int socketFd() const = 0;
  // Reads at most `size` bytes of the channel (socketFd()) without waiting;
  // `got` is set for Data. Closed also when there is no channel.
  ChannelRead readChannel(char* buffer, std::size_t size, std::size_t* got) const;
  // Sends `signal` to the child's whole process group (nothing once it has
  // ended).
  virtual void terminateGroup(int signal = SIGTERM) = 0;

 Q_SIGNALS:
  // Standard output and error together, in order, in pieces of at most
  // kOutputPieceBytes.
  void output(const QByteArray& piece);
  // The child has ended and its output read; comes once, last.
  void finished(int exitStatus);
};

struct ProcessStart {
  // argv[0] is the program's path, or a bare name looked for on the search
  // path (and the system's sbin folders); no shell.
  std::vector<std::string> argv;
  // When 3 or more, the child gets one end of a new socket pair at this
  // descriptor number and this program keeps the other (socketFd()).
  int socketFdInChild = -1;
  // Set in the child's environment beside this program's own, replacing a
  // variable of the same name. A value is cut at a NUL byte, if any.
  std::vector<std::pair<std::string, std::string>> environment;
};

class ProcessService {
 public:
  virtual ~ProcessService() = default;
  // The child runs until it ends or is terminated; destroying the returned
  // object kills its process group and reaps it.
  virtual Result<std::unique_ptr<ChildProcess>> start(const ProcessStart& how) = 0;
};

}  // namespace sondrel
