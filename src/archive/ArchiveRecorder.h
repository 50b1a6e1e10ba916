#pragma once
// Keeps every ping run in the run archive: a reader of the run that hands
// each result to the archive's writer thread, so the run never waits for the
// disk. The composition root adds one to the window's run and to the command
// line's; the run knows nothing of it.

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/ArchiveWriter.h"
#include "archive/RunArchive.h"
#include "ping/RunReader.h"

namespace sondrel {

class FileService;
class IClock;

class ArchiveRecorder final : public QObject, public RunReader {
  Q_OBJECT
 public:
  // `path` is the archive file (DataFolder + kArchiveFile); `files` must
  // outlive the recorder.
  ArchiveRecorder(std::string path, FileService& files, RunOrigin origin, std::shared_ptr<IClock> clock,
                  QObject* parent = nullptr);
  ~ArchiveRecorder() override;

  void runStarted(const RunData& run, const PingParameters& parameters) override;
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  void passEnded() override;
  void runEnded(const RunData& run, RunEnd how) override;
  // The run the log held at the archive's first start is kept too, once it
  // has been read and shown.
  void previousRunShown(const RunData& run) override;

  // Lets go what `rule` no longer keeps: now, and once a day while the
  // program runs.
  void keepDaily(const Retention& rule);
  // The next run shown from the log is kept as imported (the archive's
  // first start beside an existing log).
  void importNextShownRun() { importNext_ = true; }

  // Keeps an alert of the run (or its newer state) with the run.
  void putAlert(ArchivedAlert alert) { writer_->putAlert(std::move(alert)); }
  // Waits until what may be committed now is (tests, and the command line
  // before it exits).
  bool waitIdle(int timeoutMs);
  ArchiveWriter& writer() { return *writer_; }

 Q_SIGNALS:
  // The archive failed (the first time in a run): the run goes on, logged as
  // before. Comes on the recorder's thread.
  void problem(const QString& text);

 private:
  RunOrigin origin_;
  std::shared_ptr<IClock> clock_;
  std::unique_ptr<ArchiveWriter> writer_;
  bool running_ = false;
  bool importNext_ = false;
  Retention rule_;
  QTimer daily_;
};

// The user's retention rule: days and megabytes from the settings
// ($XDG_CONFIG_HOME/sondrel/sondrel.ini, [archive] keep_days and
// keep_megabytes), each a default where it is missing or no number above 0.
Retention ArchiveRetentionSettings();

// How a run's end is kept.
RunEnding ArchiveEndingOf(RunEnd how);

}  // namespace sondrel
