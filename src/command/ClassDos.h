#pragma once
// Runs one command line as a hidden child and hands its output over as it
// comes: standard output and error together, one ReceiveOutputs per read of
// at most 256 bytes, then one with the empty text when the output has ended.
// Nothing blocks: the pieces arrive through the event loop.

#include <QObject>
#include <QString>
#include <QStringDecoder>
#include <memory>

#include "ports/ProcessService.h"
#include "ports/Prompter.h"

namespace sondrel {

class ClassDos : public QObject {
  Q_OBJECT
 public:
  ClassDos(ProcessService& processes, IPrompter& prompter, QObject* parent = nullptr);
  ~ClassDos() override;

  // The command to run: a program and its arguments, split into words at
  // blanks, with double quotes keeping blanks inside a word. No shell; a
  // program named without a folder is looked for on the search path.
  QString CommandLine;

  // Everything the last started run has given so far.
  const QString& Outputs() const { return outputs_; }

  // Starts `commandLine` (when not empty, it replaces CommandLine first).
  // True once the child runs; false after a message box, and then no
  // ReceiveOutputs comes and Outputs keeps the previous run's text. A run
  // still going is dropped (its child stopped) when another starts.
  bool ExecuteCommand(const QString& commandLine = QString());

  bool running() const { return child_ != nullptr; }

 Q_SIGNALS:
  // One piece of output (never empty while the run goes), then "" once.
  void ReceiveOutputs(const QString& piece);

 private:
  void dropChild();
  void onOutput(const QByteArray& bytes);
  void onFinished();

  ProcessService& processes_;
  IPrompter& prompter_;
  QString outputs_;
  std::unique_ptr<ChildProcess> child_;
  // Stateful, so that a character split between two reads still decodes.
  QStringDecoder decoder_{QStringDecoder::System};
};

}  // namespace sondrel
