#pragma once
// The runs window's wiring: the archive read beside the program's own
// recorder, the list's filter, and what its buttons do. Opening a run reads
// it on a thread of its own and hands it to whoever shows it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <thread>

#include "archive/ui/RunsWindow.h"
#include "core/ping/RunRecords.h"

class QWidget;

namespace sondrel {

class FileService;
class IPrompter;
class RunArchive;
struct MonitorFigures;
class RunsModel;

class RunsPresenter final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(RunsPresenter)
 public:
  // `archivePath` is the archive file; `files` must outlive the presenter;
  // `prompter` may be null (then nothing is asked and nothing deleted).
  RunsPresenter(std::string archivePath, FileService& files, std::shared_ptr<IPrompter> prompter,
                QWidget* mainWindow, QObject* parent = nullptr);
  ~RunsPresenter() override;

  // Shows the window (made the first time) with the list read afresh.
  void showWindow();
  RunsWindow* window() const { return window_; }
  RunsModel* model() const { return model_; }
  // Reads the list again if the window is open (a run has ended).
  void refresh();
  // While a run of the window goes, no other run can be opened.
  void setRunGoing(bool going);

  // For an export's confirmation: where the archive keeps `run`.
  QString archiveNote(const RunData& run);
  // The archive's identifier of `run` (the shown run); 0 when it holds none.
  std::int64_t archivedIdOf(const RunData& run);

  // Opens the run `id` as the window's Open button does.
  void openRun(std::int64_t id);

 Q_SIGNALS:
  // A run read from the archive, to be shown as the previous run.
  void runOpened(std::shared_ptr<sondrel::RunData> run);
  // The exact figures of the run opened last, read after it.
  void figuresRead(std::int64_t run, std::shared_ptr<sondrel::MonitorFigures> figures);

 private:
  // The archive connection of the window's thread; null (after telling the
  // window why) when there is none yet or it cannot be opened.
  RunArchive* archive();
  void makeWindow();
  void applyFilter();
  void followSelection();
  void openSelected();
  void pinSelected();
  void deleteSelected();
  void showCount();
  void tell(const QString& text);
  std::vector<std::int64_t> selectedIds() const;

  std::string path_;
  FileService& files_;
  std::shared_ptr<IPrompter> prompter_;
  QPointer<QWidget> mainWindow_;
  QPointer<RunsWindow> window_;
  RunsModel* model_ = nullptr;
  std::unique_ptr<RunArchive> archive_;
  bool runGoing_ = false;
  bool loading_ = false;
  std::thread loader_;
};

}  // namespace sondrel
