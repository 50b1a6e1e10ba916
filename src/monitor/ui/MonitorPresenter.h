#pragma once
// The monitor window's wiring: its tables follow the run monitor (the live
// run, the reloaded previous run, a run opened from the archive) a few
// times a second, its filter and sort, the outage log's CSV, and the
// window's size and layout kept in the user's settings.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "monitor/ui/MonitorWindow.h"

class QSortFilterProxyModel;

namespace sondrel {

class FileService;
class IClock;
class IPrompter;
class OutageLogModel;
class RunMonitor;
class TargetsModel;

class MonitorPresenter final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kRefreshMs = 250;

  MonitorPresenter(RunMonitor& monitor, std::shared_ptr<IClock> clock, std::shared_ptr<IPrompter> prompter,
                   FileService& files, QWidget* mainWindow, QObject* parent = nullptr);
  ~MonitorPresenter() override;

  void showWindow();
  MonitorWindow* window() const { return window_; }
  TargetsModel* targetsModel() const { return targets_; }
  OutageLogModel* outageModel() const { return outages_; }
  QSortFilterProxyModel* sortedTargets() const { return sorted_; }
  // Reads the monitor now (the timer does it while the window is shown).
  void refresh();
  void saveOutages();

 private:
  void makeWindow();
  void keepLayout();

  RunMonitor& monitor_;
  std::shared_ptr<IClock> clock_;
  std::shared_ptr<IPrompter> prompter_;
  FileService& files_;
  QPointer<QWidget> mainWindow_;
  QPointer<MonitorWindow> window_;
  TargetsModel* targets_;
  OutageLogModel* outages_;
  QSortFilterProxyModel* sorted_;
  QTimer timer_;
};

}  // namespace sondrel
