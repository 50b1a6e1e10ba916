#pragma once
// Where a ping run is kept as it goes, and found again at the next start: the
// first of the run's readers. It hears every result before any other reader
// does (a result anyone saw is kept), and unlike them it may refuse a start:
// a run that cannot be kept is not begun. The run log is the journal of the
// window and of the command line; the run knows it through this interface
// only.

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "core/common/FileStamp.h"
#include "core/common/Result.h"
#include "core/ping/RunRecords.h"
#include "ping/RunReader.h"

namespace sondrel {

class IPrompter;

class RunJournal : public QObject, public RunReader {
  Q_OBJECT
 public:
  using QObject::QObject;
  ~RunJournal() override = default;
  Q_DISABLE_COPY_MOVE(RunJournal)

  // Whether a run could be kept now; the message for the user when not.
  // Asked before a start clears the results on screen.
  virtual Result<void> checkFolder() const = 0;
  // Begins keeping `run` (its targets, labels and step length are set). A
  // refusal gives the start up; the error's code EWOULDBLOCK says another
  // program is keeping a run there now.
  virtual Result<void> beginRun(const RunData& run) = 0;
  // The run is over: stops keeping it, and tells the version of the kept
  // file (none when nothing was kept) so that whoever deletes it later can
  // tell it from a later run's. Safe when nothing is being kept.
  virtual std::optional<FileStamp> endRun() = 0;

  // The previous run at start-up: asks `prompter` first when it is large,
  // reads it on another thread and answers with the reload signals. False
  // when there is nothing to load (no signal follows then).
  virtual bool ReloadPreviousRun(IPrompter& prompter) = 0;
  // The same, on the calling thread, without questions.
  virtual Result<RunData> loadPreviousRun() const = 0;
  // A reload under way is of no more use.
  virtual void cancelReload() = 0;
  // Where the run is kept, for the messages that name it.
  virtual std::string logPath() const = 0;

 Q_SIGNALS:
  // Something the user must hear of that needs no answer: the run is no
  // longer kept, some results were not.
  void problem(const QString& text);
  // The reload has begun.
  void reloadStarted();
  // Lines still to go (a few times a second, and 0 at the end).
  void reloadProgress(qint64 remaining);
  // The reload is over; `run` is null when nothing could be loaded or a run
  // has begun since.
  void reloadFinished(std::shared_ptr<sondrel::RunData> run);
  // The reload failed in a way the user must hear of; comes just before
  // reloadFinished.
  void reloadProblem(const QString& text);
};

}  // namespace sondrel
