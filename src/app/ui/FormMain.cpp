#include "app/ui/FormMain.h"

#include <cerrno>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "scan/EmbeddedWorker.h"
#include "scan/ScanProgram.h"
#include "app/ui/FormMainLayout.h"
#include "command/ui/DosPanelPresenter.h"
#include "command/ui/PictureDOS.h"
#include "core/common/DataFolder.h"
#include "core/ports/FileService.h"
#include "iplist/IPListStore.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "archive/ArchiveRecorder.h"
#include "archive/ui/RunsPresenter.h"
#include "core/monitor/ListenAddress.h"
#include "monitor/MetricsCollector.h"
#include "monitor/MetricsEndpoint.h"
#include "monitor/MetricsSettings.h"
#include "monitor/RunMonitor.h"
#include "monitor/ui/MonitorPresenter.h"
#include "alerts/AlertCenter.h"
#include "alerts/ui/AlertsPresenter.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "ping/ui/ScheduleFrame.h"
#include "report/ui/DialogRpt.h"
#include "report/ui/ReportPresenter.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {

using namespace main_window;

FormMain::FormMain(WindowServices services, std::string dataFolderBase, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      dataFolderBase_(std::move(dataFolderBase)),
      exitHandler_([] { QCoreApplication::exit(0); }) {
  pingPanel_ = new PingPanelPresenter({services_.clock, services_.icmp, services_.resolver,
                                       services_.network, services_.prompter, services_.keepAwake,
                                       services_.files},
                                      this);
  dosPanel_ = new DosPanelPresenter(
      {services_.prompter, services_.launcher, services_.processes, services_.files}, this);
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QStringLiteral("Sondrel Std"));
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("FormMainClient"));
  setCentralWidget(client_);
  buildPanels();
  buildMenus();
  buildButtons();
  layoutFrame();
  connectDosPanel();

  PingPanelPresenter* ping = pingPanel_;
  connect(ping, &PingPanelPresenter::testRunningChanged, this, &FormMain::followRunState);
  connect(ping, &PingPanelPresenter::pingPanelWanted, this, &FormMain::ShowPingPanel);
  connect(ping, &PingPanelPresenter::neutralFocusWanted, this, &FormMain::focusNeutral);
  connect(ping, &PingPanelPresenter::selectionPopupHideWanted, this, &FormMain::hideSelectionPopup);
  connect(ping, &PingPanelPresenter::stopEnabledChanged, action(QStringLiteral("mnuStop")),
          &QAction::setEnabled);

  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s != Qt::ApplicationActive) appWasInactive_ = true;
  });
}

FormMain::~FormMain() {
  // The run waits for its echoes; the frames hold references to the ping
  // panel's parameters and schedule, so they go before it does.
  pingPanel_->endRun();
  // No scrape reads the figures once they go.
  metricsEndpoint_.reset();
  delete client_;
}

void FormMain::layoutFrame() {
  client_->ensurePolished();
  // Size hints cached before the lists were filled and widened are stale.
  for (QWidget* w : {static_cast<QWidget*>(frame1_), static_cast<QWidget*>(scheduleFrame_), parameterArea_})
    w->layout()->invalidate();
  const int parameterWidth = parameterArea_->sizeHint().width();
  parameterArea_->setGeometry(kMargin, kTopAreaTop, parameterWidth, kResultsTop - kTopAreaTop - 4);
  const int listLeft = kMargin + parameterWidth + 8;
  display_->setPanelWidth(listLeft + kListWidth - kResultsLeft);
  picture3_->setGeometry(display_->geometry());
  image1_->setGeometry(picture3_->width() - 22, 2, 18, 18);
  scanPanel_->setGeometry(1, 1, picture3_->width() - 26, picture3_->height() - 2);
  pictureDOS_->setGeometry(kDosLeft, kDosTop, display_->x() + display_->width() - kDosLeft,
                           display_->height() - (kDosTop - kResultsTop));
  targetList_->setGeometry(listLeft, kTopAreaTop, kListWidth - 22, targetList_->height());
  CollapseTargetList();
  for (int i = 1; i <= 2; ++i) picture1_[i]->move(listLeft + kListWidth - 20, kTopAreaTop + 2);
  const int y = display_->y() + display_->height() + 8;
  for (QAbstractButton* b : bottomRow_) b->move(b->x(), y);
  client_->setFixedSize(display_->x() + display_->width() + kMargin, y + kButtonHeight + 10);
  layout()->activate();
  adjustSize();
}

void FormMain::buildPanels() {
  parameterArea_ = new QWidget(client_);
  parameterArea_->setObjectName(QStringLiteral("ParameterArea"));
  frame1_ = new ParameterFrame(services_.prompter, pingPanel_->parameters(), parameterArea_);
  scheduleFrame_ = new ScheduleFrame(services_.clock, pingPanel_->scheduleCheck(), parameterArea_);
  auto* parameters = new QHBoxLayout(parameterArea_);
  parameters->setContentsMargins(0, 0, 0, 0);
  parameters->addWidget(frame1_);
  parameters->addWidget(scheduleFrame_);
  // Lists wide enough for their usual texts ("1000  Milliseconds", a
  // full date and time).
  for (QComboBox* combo : parameterArea_->findChildren<QComboBox*>()) {
    const bool time = combo->objectName() == QStringLiteral("ComboFrom") ||
                      combo->objectName() == QStringLiteral("ComboTo");
    if (!time && combo->parentWidget() != frame1_) continue;
    combo->setMinimumContentsLength(time ? 16 : 15);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }
  frameTime_ = scheduleFrame_->frameTime();
  // Clicks beside the time editor close it.
  client_->installEventFilter(this);
  frame1_->installEventFilter(this);

  display_ = new ResultsDisplay(client_);
  display_->move(kResultsLeft, kResultsTop);
  display_->setWebsite(ProgramText(kWebsite));

  picture3_ = new QFrame(client_);
  picture3_->setObjectName(QStringLiteral("Picture3"));
  picture3_->setFrameShape(QFrame::Box);
  picture3_->hide();
  image1_ = new QToolButton(picture3_);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setToolTip(QStringLiteral("Minimize IP Scan Form"));
  image1_->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
  image1_->setAutoRaise(true);
  scanPanel_ = new ScanPanel(picture3_);
  connect(image1_, &QToolButton::clicked, this, [this] {
    ShowPingPanel();
    focusNeutral();
  });
  connect(display_->Image2(), &QToolButton::clicked, this, [this] {
    ShowScanPanel();
    focusNeutral();
  });

  pictureDOS_ = new PictureDOS(client_);
  pictureDOS_->hide();

  // The target list grows over the results when expanded.
  targetList_ = new TargetListPanel(client_);
  targetList_->setDetailHost(client_);
  pictureShowIP_ = targetList_->PictureShowIP();
  for (int i = 1; i <= 2; ++i) {
    auto* b = new QToolButton(client_);
    b->setObjectName(QStringLiteral("Picture1_%1").arg(i));
    b->setAutoRaise(true);
    picture1_[i] = b;
  }
  picture1_[1]->setToolTip(QStringLiteral("Maximize the IP Listbox"));
  picture1_[1]->setArrowType(Qt::DownArrow);
  picture1_[2]->setToolTip(QStringLiteral("Minimize the IP Listbox"));
  picture1_[2]->setArrowType(Qt::UpArrow);
  picture1_[2]->hide();
  connect(picture1_[1], &QToolButton::clicked, this, &FormMain::ExpandTargetList);
  connect(picture1_[2], &QToolButton::clicked, this, &FormMain::CollapseTargetList);

  // The neutral box that takes the focus after an action.
  text402_ = new QLineEdit(client_);
  text402_->setObjectName(QStringLiteral("Text402"));
  text402_->setFrame(false);
  text402_->setReadOnly(true);
  text402_->setGeometry(0, 0, 1, 1);
  targetList_->setNeutralFocus(text402_);

  pingPanel_->setViews({display_, frame1_, scheduleFrame_, targetList_, this});

  connect(display_, &ResultsDisplay::rowsHovered, this, [this](bool hideSelection) {
    if (hideSelection) hideSelectionPopup();
    CollapseTargetList();
  });
  connect(display_, &ResultsDisplay::textClicked, this, &FormMain::hideSelectionPopup);
  connect(display_, &ResultsDisplay::panelClicked, this, [this] {
    hideSchedulePopup();
    hideSelectionPopup();
  });
  connect(display_, &ResultsDisplay::websiteClicked, this, &FormMain::OpenWebSite);
  connect(display_, &ResultsDisplay::reportClicked, this, [this] { action(QStringLiteral("mnuReport"))->trigger(); });
}

void FormMain::serveMetrics() {
  // The runs' figures for Prometheus, when the user asked for them: told
  // once when they cannot be served, or are served beyond this machine.
  const MetricsSettings wanted = ReadMetricsSettings();
  if (!wanted.serve || !services_.httpServer) return;
  const auto tell = [this](const std::string& text) {
    if (services_.prompter)
      services_.prompter->message(QString::fromStdString(text), QStringLiteral("Information"), IPrompter::Icon::Warning);
  };
  auto where = ParseListenAddress(wanted.listen);
  if (!where) return tell("The metrics cannot be served: [metrics] listen: " + where.error().message);
  metrics_ = std::make_unique<MetricsCollector>(ReadMonitorSettings().outageAfter);
  pingRun()->addReader(metrics_.get());
  metricsEndpoint_ = std::make_unique<MetricsEndpoint>(*metrics_, *services_.httpServer);
  if (auto served = metricsEndpoint_->start(where.value()); !served) {
    metricsEndpoint_.reset();
    return tell("The metrics cannot be served at " + wanted.listen + ": " + served.error().message);
  }
  if (!IsLoopbackAddress(where.value().address))
    tell("The metrics are served at " + wanted.listen +
         ", beyond this machine: whoever reaches it reads the targets and their figures.");
}

bool FormMain::Form_Load() {
  setWindowTitle(ProgramText(kCaption));
  display_->paintIdle();
  picture3_->move(Px(120), Px(2760));
  // The window is shown before the slower steps; Qt paints it from the event
  // loop, so no rounds of yielding are needed here.
  dataFolder_ = DataFolder(*services_.files, dataFolderBase_);
  if (!takeDataFolder()) return false;
  ipListFile_ = dataFolder_ + std::string(kIPListFile);
  commandHistoryFile_ = dataFolder_ + std::string(kCommandHistoryFile);
  pingPanel_->makeRun(dataFolder_);
  report_ = new ReportPresenter(services_, *pingRun(), this);
  pingRun()->addReader(report_);
  // Every run is kept in the archive as well as in the log.
  const std::string archivePath = dataFolder_ + kArchiveFile;
  // The archive's first start beside a logged run: that run is kept too.
  const bool firstArchive =
      !services_.files->fileExists(archivePath) && services_.files->fileExists(runLog()->logPath());
  archive_ = new ArchiveRecorder(archivePath, *services_.files, RunOrigin::Window, services_.clock, this);
  if (firstArchive) archive_->importNextShownRun();
  archive_->keepDaily(ArchiveRetentionSettings());
  pingRun()->addReader(archive_);
  connect(archive_, &ArchiveRecorder::problem, this, [this](const QString& text) {
    if (services_.prompter)
      services_.prompter->message(text, QStringLiteral("Information"), IPrompter::Icon::Warning);
  });
  const MonitorSettings monitoring = ReadMonitorSettings();
  monitor_ = new RunMonitor(monitoring.outageAfter, monitoring.windowUs(), this);
  pingRun()->addReader(monitor_);
  // The chart reads the shown run from the archive: the one opened from it,
  // the window's own last run, or the logged run the archive also holds.
  auto shownRun = [this]() -> std::int64_t {
    const RunData& shown = pingRun()->data();
    if (shown.archiveRun != 0) return shown.archiveRun;
    if (const std::int64_t own = archive_->writer().runId(); own != 0) return own;
    return runs_ ? runs_->archivedIdOf(shown) : 0;
  };
  monitorPresenter_ = new MonitorPresenter(*monitor_, services_.clock, services_.prompter, *services_.files,
                                           archivePath, shownRun, this, this);
  // The details' periods are the report's: the length in its box once it
  // was opened, else the length it would propose for the shown run.
  monitorPresenter_->setReportMinutes([this] {
    if (const DialogRpt* report = report_->dialog(); report && !report->ComboGroupBy()->currentText().isEmpty())
      return PeriodMinutesFromText(report->ComboGroupBy()->currentText().toStdString());
    return PeriodMinutesFromText(ProposedPeriodText(pingRun()->data()));
  });
  connect(action(QStringLiteral("mnuMonitor")), &QAction::triggered, monitorPresenter_, &MonitorPresenter::showWindow);
  action(QStringLiteral("mnuMonitor"))->setEnabled(true);
  connect(pingRun(), &PingRun::runStarted, monitorPresenter_, &MonitorPresenter::runStarted);
  // Alerts of the window's runs, by the user's rules.
  alertCenter_ = new AlertCenter(*monitor_, services_.clock, ReadAlertSettings(), services_.notifier,
                                 services_.processes, this);
  alerts_ = new AlertsPresenter(*alertCenter_, *monitor_, *monitorPresenter_, services_.prompter, this, this);
  connect(action(QStringLiteral("mnuAlerts")), &QAction::triggered, alerts_, &AlertsPresenter::showRules);
  action(QStringLiteral("mnuAlerts"))->setEnabled(true);
  connect(pingRun(), &PingRun::runStarted, alerts_, &AlertsPresenter::runStarted);
  serveMetrics();
  // Every alert kept with its run in the archive, and again with its
  // command's end.
  for (auto told : {&AlertCenter::alerted, &AlertCenter::updated})
    connect(alertCenter_, told, this, [this](const AlertRecord& r) { archive_->putAlert(ArchivedAlertOf(r)); });
  connect(pingRun(), &PingRun::finished, alerts_, &AlertsPresenter::runEnded);
  runs_ = new RunsPresenter(archivePath, *services_.files, services_.prompter, this, this);
  connect(action(QStringLiteral("mnuRuns")), &QAction::triggered, runs_, &RunsPresenter::showWindow);
  action(QStringLiteral("mnuRuns"))->setEnabled(true);
  // A run that has ended is listed with its end once the archive has it
  // (its readers, the recorder among them, have heard the end by then).
  connect(pingRun(), &PingRun::finished, runs_, [this] {
    if (archive_->waitIdle(1000)) runs_->refresh();
  });
  connect(runs_, &RunsPresenter::runOpened, this, [this](std::shared_ptr<RunData> run) {
    if (!pingRun()->showArchivedRun(std::move(*run))) {
      if (services_.prompter)
        services_.prompter->message(ProgramText(kStopFirstText), ProgramText(kStopFirstCaption),
                                    IPrompter::Icon::Information);
      return;
    }
    ShowPingPanel();
    activateWindow();
  });
  connect(runs_, &RunsPresenter::figuresRead, this, [this](std::int64_t run, std::shared_ptr<MonitorFigures> f) {
    // Only while that run is still the one shown.
    if (pingRun()->data().archiveRun == run && !pingRun()->testRunning()) monitor_->adopt(std::move(*f));
  });
  connect(action(QStringLiteral("mnuReport")), &QAction::triggered, report_,
          &ReportPresenter::OpenReport);
  action(QStringLiteral("mnuReport"))->setEnabled(true);
  loadIPList();
  buildExport();
  frame1_->FillParameterLists();
  scheduleFrame_->FillScheduleLists();
  pingPanel_->parameters().numberOfSizes = 1;  // the run sets its step length when it starts
  pingPanel_->sendParameters();
  show();
  QCoreApplication::processEvents();
  layoutFrame();  // the filled lists and their buttons have their sizes now
  dosPanel_->FillCommandList();
  dosPanel_->setHistoryFile(commandHistoryFile_);
  dosPanel_->LoadHistory();
  pingRun()->ReloadPreviousRun();
  // A data folder that cannot be written leaves the worker unwritten; a scan
  // says so when it needs it.
  scanProgramPath_ = ScanProgramPath(dataFolder_);
  (void)ExtractScanProgram(dataFolder_, EmbeddedWorker(), *services_.files);
  prepareScanGrid();
  loaded_ = true;
  // The first activation may come before the window is loaded, or never
  // without a window manager: place it now.
  Form_Activate();
  placed_ = true;
  tellIfNoIcmp();
  return true;
}

bool FormMain::takeDataFolder() {
  // A lock on the folder itself: a second window would take the log, the list
  // and the history of this one for its own, and its export could delete the
  // other's run. The command line does not take it: it may log beside a window.
  auto locked = services_.files->lockFile(dataFolder_);
  if (locked) {
    folderLock_ = std::move(locked.value());
    return true;
  }
  if (locked.error().code != EWOULDBLOCK) return true;  // no lock to be had: go on
  if (services_.prompter)
    services_.prompter->message(
        QStringLiteral("Another window of this program is already open on the data folder %1.\r\n"
                       "Only one window at a time can use it: switch to that window, or close "
                       "it and start again.")
            .arg(QString::fromStdString(dataFolder_)),
        QString::fromLatin1(kProductTitle.data(), static_cast<qsizetype>(kProductTitle.size())),
        IPrompter::Icon::Information);
  return false;
}

void FormMain::loadIPList() {
  pingPanel_->loadIPList(dataFolder_);
  // The editor's actions take the places of the menu's entries.
  static constexpr std::array<const char*, 5> kNames = {"mnuAddS", "mnuAddG", "munAddR",
                                                        "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) {
    QAction* placeholder = action(ProgramText(kNames[i]));
    QAction* real = ipListEditor()->commandAction(i);
    auto* menu = findChild<QMenu*>(QStringLiteral("mnuIPList"));
    menu->insertAction(placeholder, real);
    menu->removeAction(placeholder);
    actions_[ProgramText(kNames[i])] = real;
    delete placeholder;
  }
}

void FormMain::CommandStart_Click() { pingPanel_->startRun(); }

void FormMain::CommandStop_Click() {
  if (scanPresenter_ && scanPresenter_->scanning()) {
    scanPresenter_->StopScan();
    return;
  }
  pingPanel_->stopRun();
}

bool FormMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && (watched == client_ || watched == frame1_))
    hideSchedulePopup();
  return QMainWindow::eventFilter(watched, event);
}

void FormMain::tellIfNoIcmp() {
  if (!services_.icmp || !services_.prompter) return;
  std::string why;
  if (services_.icmp->available(&why)) return;
  services_.prompter->message(
      QStringLiteral("Ping tests cannot run: this program may not send ICMP echoes.\n\n") +
          QString::fromStdString(why),
      QStringLiteral("Information"), IPrompter::Icon::Warning);
}

void FormMain::Form_Activate() {
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    const QSize size = frameGeometry().size();
    const int left = area.x() + (area.width() - size.width()) / 2;
    const int top = area.y() + (area.height() - size.height()) / 2 - Px(100);
    // A window taller than the screen keeps its title bar reachable.
    move(left, std::max(top, area.y()));
  }
  picture1_[1]->show();
  picture1_[2]->hide();
  hideSchedulePopup();
  focusNeutral();
}

bool FormMain::Form_QueryUnload() {
  if (!testRunning()) return true;
  if (services_.prompter)
    services_.prompter->message(ProgramText(kStopFirstText), ProgramText(kStopFirstCaption),
                                IPrompter::Icon::Information);
  return false;
}

// Each scan worker reports through a socket pair of its own that ends with
// the worker, so no window-wide hook is left to take away here.
void FormMain::Form_Unload() {}

void FormMain::closeEvent(QCloseEvent* event) {
  if (!Form_QueryUnload()) {
    event->ignore();
    return;
  }
  event->accept();
  Form_Unload();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this && w->isVisible()) w->close();
  exitHandler_();
}

bool FormMain::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && loaded_) {
    // Coming back from another program is not an activation of this one.
    if (!placed_ || !appWasInactive_) Form_Activate();
    placed_ = true;
    appWasInactive_ = false;
  }
  return QMainWindow::event(e);
}

void FormMain::ShowPingPanel() {
  hideSelectionPopup();
  picture3_->hide();
  pictureDOS_->hide();
  display_->show();
}

void FormMain::ShowScanPanel() {
  display_->hide();
  hideSelectionPopup();
  pictureDOS_->hide();
  picture3_->show();
}

void FormMain::ShowDosPanel() {
  pictureDOS_->move(kDosLeft, kDosTop);
  pictureDOS_->show();
  hideSelectionPopup();
  pictureDOS_->raise();
}

void FormMain::ExpandTargetList() {
  hideSelectionPopup();
  targetList_->setListExpanded(true);
  targetList_->resize(targetList_->width(), targetList_->sizeHint().height());
  picture1_[1]->hide();
  picture1_[2]->show();
  targetList_->raise();
  picture1_[2]->raise();
}

void FormMain::CollapseTargetList() {
  targetList_->setListExpanded(false);
  targetList_->resize(targetList_->width(), targetList_->sizeHint().height());
  picture1_[1]->show();
  picture1_[2]->hide();
}

void FormMain::CopyScreen() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  QWidget* panel = nullptr;
  QString text;
  if (display_->isVisibleTo(this)) {
    panel = display_;
    text = display_->visibleText();
  } else if (picture3_->isVisibleTo(this)) {
    panel = picture3_;
    text = scanPanel_->visibleText();
  }
  if (panel) {
    display_->flush();
    const QPixmap pixmap = panel->grab();
    if (!pixmap.isNull()) {
      // One clipboard item: the picture for image programs, the rows as text
      // for an editor or a chat.
      auto* both = new QMimeData();
      both->setImageData(pixmap.toImage());
      both->setText(text);
      clipboard->setMimeData(both);
    }
  }
  focusNeutral();
}

void FormMain::OpenWebSite() {
  if (services_.launcher) services_.launcher->openUrl(ProgramText(kWebsite));
}

void FormMain::ExitProgram() {
  if (testRunning()) {
    if (services_.prompter)
      services_.prompter->message(ProgramText(kStopFirstText), ProgramText(kStopFirstCaption),
                                  IPrompter::Icon::Information);
    return;
  }
  exitHandler_();
}

bool FormMain::testRunning() const {
  return pingPanel_->testRunning() || (scanPresenter_ && scanPresenter_->scanning());
}

void FormMain::followRunState() {
  if (testRunning())
    SetTestRunning();
  else
    SetTestIdle();
  if (runs_) runs_->setRunGoing(pingRun() && pingRun()->testRunning());
}

void FormMain::SetTestRunning() {
  display_->setRunning(true);
  action(QStringLiteral("mnuStart"))->setEnabled(false);
  action(QStringLiteral("mnuIpscanner"))->setEnabled(false);
}

void FormMain::SetTestIdle() {
  display_->setRunning(false);
  action(QStringLiteral("mnuStart"))->setEnabled(true);
  action(QStringLiteral("mnuIpscanner"))->setEnabled(scanAvailable_);
}

void FormMain::focusNeutral() { text402_->setFocus(Qt::OtherFocusReason); }

void FormMain::hideSelectionPopup() {
  if (pictureShowIP_) pictureShowIP_->hide();
}

void FormMain::hideSchedulePopup() {
  if (frameTime_) frameTime_->hide();
}

}  // namespace sondrel
