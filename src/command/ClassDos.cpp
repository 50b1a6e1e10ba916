#include "command/ClassDos.h"

#include <QProcess>
#include <cerrno>

namespace sondrel {
namespace {

void Critical(IPrompter& prompter, const QString& text) {
  prompter.message(text, QString::fromLatin1(kApplicationTitle), IPrompter::Icon::Critical,
                   IPrompter::Buttons::Ok);
}

}  // namespace

ClassDos::ClassDos(ProcessService& processes, IPrompter& prompter, QObject* parent)
    : QObject(parent), processes_(processes), prompter_(prompter) {}

// Dropped rather than destroyed: the owner may let go of this object from a
// handler of the child's own last piece.
ClassDos::~ClassDos() { dropChild(); }

bool ClassDos::ExecuteCommand(const QString& commandLine) {
  if (!commandLine.isEmpty()) CommandLine = commandLine;
  if (CommandLine.isEmpty()) {
    Critical(prompter_, QStringLiteral("Command Line empty"));
    return false;
  }
  ProcessStart how;
  for (const QString& word : QProcess::splitCommand(CommandLine))
    how.argv.push_back(word.toLocal8Bit().toStdString());
  if (how.argv.empty()) {
    Critical(prompter_, QStringLiteral("File or command not found"));
    return false;
  }
  auto started = processes_.start(how);
  if (!started) {
    // Running out of descriptors is what makes the pipe fail; every other
    // failure means the program could not be run.
    const int code = started.error().code;
    if (code == EMFILE || code == ENFILE)
      Critical(prompter_, QStringLiteral("CreatePipe failed. Error: ") + QString::number(code));
    else
      Critical(prompter_, QStringLiteral("File or command not found"));
    return false;
  }
  dropChild();
  child_ = std::move(started.value());
  outputs_.clear();
  decoder_.resetState();
  connect(child_.get(), &ChildProcess::output, this, &ClassDos::onOutput);
  connect(child_.get(), &ChildProcess::finished, this, &ClassDos::onFinished);
  return true;
}

void ClassDos::dropChild() {
  if (!child_) return;
  // The child may be in the middle of handing over a piece: it goes once
  // that is done, and no more of it reaches this object.
  child_->disconnect(this);
  child_.release()->deleteLater();
}

void ClassDos::onOutput(const QByteArray& bytes) {
  const QString text = decoder_.decode(bytes);
  // A read that ends inside a character may decode to nothing yet; the empty
  // text is kept for the end.
  if (text.isEmpty()) return;
  outputs_ += text;
  Q_EMIT ReceiveOutputs(text);
}

void ClassDos::onFinished() {
  dropChild();
  Q_EMIT ReceiveOutputs(QString());
}

}  // namespace sondrel
