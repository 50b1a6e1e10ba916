#pragma once
// The journal of the monitor service's run: its results are kept by the
// archive alone (a run of days would make the run log grow without end), so
// this only holds the service's lock in its own data folder. Two services on
// one folder cannot run at once; the window's run lock is never touched.

#include <memory>
#include <string>

#include "ping/RunJournal.h"

namespace sondrel {

class FileService;
class FolderLock;

inline constexpr std::string_view kServiceLockFile = "sondrel-monitor.lock";

class ServiceJournal final : public RunJournal {
  Q_OBJECT
 public:
  // `folder` ends in "/"; `files` must outlive the journal.
  ServiceJournal(std::string folder, FileService& files, QObject* parent = nullptr);
  ~ServiceJournal() override;

  Result<void> checkFolder() const override;
  // Takes the lock: fails with EWOULDBLOCK while another service holds it.
  Result<void> beginRun(const RunData& run) override;
  std::optional<FileStamp> endRun() override;
  bool ReloadPreviousRun(IPrompter&) override { return false; }
  Result<RunData> loadPreviousRun() const override;
  void cancelReload() override {}
  std::string logPath() const override { return folder_ + std::string(kServiceLockFile); }

 private:
  std::string folder_;
  FileService& files_;
  std::unique_ptr<FolderLock> lock_;
};

}  // namespace sondrel
