#pragma once
// The main window: start-up, the data folder, the panels of the results area,
// the button row and the menus, and the close request.

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowServices.h"
#include "app/ui/ButtonIcons.h"
#include "core/ping/PingParameters.h"
#include "ping/ui/PingPanelPresenter.h"
#include "results/ResultsExport.h"

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace sondrel {

class DosPanelPresenter;
class DialogHelp;
class IPListEditor;
class PictureDOS;
class IPListStore;
class ParameterFrame;
class ArchiveRecorder;
class AlertCenter;
class MetricsCollector;
class MetricsEndpoint;
class AlertsPresenter;
class ReportPresenter;
class RunsPresenter;
class RunMonitor;
class MonitorPresenter;
class ResultsDisplay;
class ResultsExport;
class RunLog;
class ScanPanel;
class ScanPanelPresenter;
class ScheduleCheck;
class ScheduleFrame;
class TargetListPanel;

inline constexpr char kCaption[] = " Network Connectivity Tester & Logger  8.23";
inline constexpr char kWebsite[] = "https://sondrel.example.org/";
inline constexpr char kStopFirstText[] = "Please click 'Stop' button to stop the testing first.";
inline constexpr char kStopFirstCaption[] = "Test is Running.     ";

class FolderLock;

class FormMain final : public QMainWindow {
  Q_OBJECT
 public:
  // `dataFolderBase` is the folder the data folder is made in (normally
  // ApplicationDataFolder()); shorter than 3 characters means the program's own.
  FormMain(WindowServices services, std::string dataFolderBase, QWidget* parent = nullptr);
  ~FormMain() override;

  // The start-up sequence; shows the window. False (after telling the user,
  // the window never shown) when another window has the data folder: one
  // window per data folder, as one ping run per log.
  bool Form_Load();
  // Placement and panel state each time the window is activated from within
  // the program.
  void Form_Activate();
  // False (after telling the user) while a test runs.
  bool Form_QueryUnload();
  void Form_Unload();

  void ShowPingPanel();
  void ShowScanPanel();
  void ShowDosPanel();
  void ExpandTargetList();
  void CollapseTargetList();
  void CopyScreen();
  void OpenWebSite();
  void ShowAbout();
  // The help window, beside the main window and not blocking it.
  void OpenHelp();
  DialogHelp* helpWindow() const;
  void ExitProgram();

  // A ping run or a scan is going: the close rules and the start buttons go
  // by it.
  bool testRunning() const;

  // Called to end the program; QCoreApplication::exit(0) unless replaced.
  void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }

  const std::string& dataFolder() const { return dataFolder_; }
  const std::string& ipListFile() const { return ipListFile_; }
  const std::string& commandHistoryFile() const { return commandHistoryFile_; }
  const std::string& scanProgramPath() const { return scanProgramPath_; }

  ResultsDisplay* display() const { return display_; }
  // Made by Form_Load, once the worker's path is known.
  ScanPanelPresenter* scanPresenter() const { return scanPresenter_; }
  ScanPanel* scanPanel() const { return scanPanel_; }
  // The run engine and its log, made by Form_Load once the data folder is known.
  PingRun* pingRun() const { return pingPanel_->pingRun(); }
  RunLog* runLog() const { return pingPanel_->runLog(); }
  ScheduleCheck& scheduleCheck() const { return pingPanel_->scheduleCheck(); }
  ScheduleFrame* scheduleFrame() const { return scheduleFrame_; }
  // The summary report's wiring, made by Form_Load with the run.
  ReportPresenter* reportPresenter() const { return report_; }
  AlertCenter* alertCenter() const { return alertCenter_; }
  // Serving the runs' metrics, when the user's settings ask for it; null
  // otherwise, or when it could not listen.
  MetricsEndpoint* metricsEndpoint() const { return metricsEndpoint_.get(); }
  ArchiveRecorder* archiveRecorder() const { return archive_; }
  AlertsPresenter* alertsPresenter() const { return alerts_; }
  // The runs window's wiring, made by Form_Load with the archive.
  RunsPresenter* runsPresenter() const { return runs_; }
  // The monitor window's wiring and the run's monitor, made by Form_Load.
  MonitorPresenter* monitorPresenter() const { return monitorPresenter_; }
  ParameterFrame* parameterFrame() const { return frame1_; }
  TargetListPanel* targetList() const { return targetList_; }
  IPListStore* ipListStore() const { return pingPanel_->ipListStore(); }
  IPListEditor* ipListEditor() const { return pingPanel_->ipListEditor(); }
  DosPanelPresenter* dosPanel() const { return dosPanel_; }
  const PingParameters& parameters() const { return pingPanel_->parameters(); }

  // The start buttons: "Immediately", then a run.
  void CommandStart_Click();
  void CommandStop_Click();
  QLineEdit* Text402() const { return text402_; }
  QAction* action(const QString& name) const;

  // Export, Open and the list copies of the File menu; made by Form_Load.
  ResultsExport* resultsExport() const { return export_; }
  // What the scan panel shows, for its export (nothing until a scan has run).
  void setScanExportSource(std::function<ScanExportSource()> source) {
    scanExportSource_ = std::move(source);
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildPanels();
  void layoutFrame();
  void serveMetrics();
  void buildButtons();
  void buildMenus();
  QAction* addEntry(QMenu* menu, const QString& name, const QString& caption,
                    const QKeySequence& key = {});
  void addSeparator(QMenu* menu, const QString& name);
  void bind(QAbstractButton* button, const QString& actionName);
  void share(QToolButton* button, const QString& actionName, ButtonIcon icon, const QString& tip);
  void focusNeutral();
  void hideSelectionPopup();
  void hideSchedulePopup();
  void tellIfNoIcmp();
  // Takes the data folder for this window; false when another window has it.
  bool takeDataFolder();
  void loadIPList();
  void connectDosPanel();
  // The start buttons and the display follow testRunning(): SetTestRunning
  // greys the starts, SetTestIdle gives them back. The flag itself is the
  // runs' own state.
  void followRunState();
  void SetTestRunning();
  void SetTestIdle();
  // Makes the export piece and gives it its menu entries.
  void buildExport();

  // The scan's grid and presenter, once the worker's path is known.
  void prepareScanGrid();

  WindowServices services_;
  std::string dataFolderBase_;
  std::string dataFolder_;
  std::string ipListFile_;
  std::string commandHistoryFile_;
  std::string scanProgramPath_;
  std::unique_ptr<FolderLock> folderLock_;  // held for the window's life
  bool loaded_ = false;
  bool placed_ = false;
  bool appWasInactive_ = false;
  bool scanAvailable_ = false;
  std::function<void()> exitHandler_;

  QWidget* client_ = nullptr;
  QWidget* parameterArea_ = nullptr;
  TargetListPanel* targetList_ = nullptr;
  std::array<QToolButton*, 3> picture1_{};
  std::vector<QAbstractButton*> bottomRow_;
  ResultsDisplay* display_ = nullptr;
  QFrame* picture3_ = nullptr;
  QToolButton* image1_ = nullptr;
  PictureDOS* pictureDOS_ = nullptr;
  ScanPanel* scanPanel_ = nullptr;
  ScanPanelPresenter* scanPresenter_ = nullptr;
  QLineEdit* text402_ = nullptr;
  // Pop-ups owned by the target list and the schedule; absent until they plug in.
  QPointer<QWidget> pictureShowIP_;
  QPointer<QWidget> frameTime_;
  std::map<QString, QAction*> actions_;
  QPointer<DialogHelp> help_;

  PingPanelPresenter* pingPanel_ = nullptr;  // a child: its list actions are the menu's
  DosPanelPresenter* dosPanel_ = nullptr;
  ParameterFrame* frame1_ = nullptr;
  ScheduleFrame* scheduleFrame_ = nullptr;
  ResultsExport* export_ = nullptr;
  std::function<ScanExportSource()> scanExportSource_;
  ReportPresenter* report_ = nullptr;
  AlertCenter* alertCenter_ = nullptr;
  std::unique_ptr<MetricsCollector> metrics_;
  std::unique_ptr<MetricsEndpoint> metricsEndpoint_;  // stops before metrics_ goes
  AlertsPresenter* alerts_ = nullptr;
  ArchiveRecorder* archive_ = nullptr;  // keeps every run; lives as long as the window
  RunsPresenter* runs_ = nullptr;
  RunMonitor* monitor_ = nullptr;  // a reader of the run; lives as long as the window
  MonitorPresenter* monitorPresenter_ = nullptr;
};

}  // namespace sondrel
