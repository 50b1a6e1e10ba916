#include "app/ui/FormMain.h"

#include "core/Twips.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "app/ScanProgram.h"
#include "app/ui/DesktopLauncher.h"
#include "app/ui/QtPrompter.h"
#include "core/DataFolder.h"
#include "iplist/IPListStore.h"
#include "iplist/TargetSelection.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "platform/Clock_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/KeepAwakeDBus.h"
#include "platform/NetworkSettings_linux.h"
#include "platform/Resolver_linux.h"
#include "ping/PingRun.h"
#include "ping/ScheduleCheck.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "ping/ui/ScheduleFrame.h"
#include "results/RunLog.h"

namespace sondrel {

namespace {


// Client-area layout in pixels.
constexpr int kMargin = 8;
constexpr int kToolTop = 4;
constexpr int kToolSize = 30;
constexpr int kTopAreaTop = kToolTop + kToolSize + 6;
constexpr int kListWidth = 300;
constexpr int kResultsTop = Px(2760);
constexpr int kResultsLeft = Px(120);
constexpr int kDosLeft = Px(5450);
constexpr int kDosTop = Px(2820);
constexpr int kButtonHeight = 26;

QString Q(const char* text) { return QString::fromUtf8(text); }

}  // namespace

FormMain::FormMain(Services services, std::string dataFolderBase, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      dataFolderBase_(std::move(dataFolderBase)),
      exitHandler_([] { QCoreApplication::exit(0); }) {
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QStringLiteral("Sondrel Std"));
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("FormMainClient"));
  setCentralWidget(client_);
  buildPanels();
  buildMenus();
  buildButtons();
  layoutFrame();

  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s != Qt::ApplicationActive) appWasInactive_ = true;
  });
}

FormMain::~FormMain() {
  // The run waits for its echoes; the frames hold references to members, so
  // they go before the members do.
  pingRun_.reset();
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
  scheduleCheck_ = std::make_unique<ScheduleCheck>(services_.clock, services_.keepAwake);
  frame1_ = new ParameterFrame(services_, params_, parameterArea_);
  scheduleFrame_ = new ScheduleFrame(services_, *scheduleCheck_, parameterArea_);
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
  display_->setWebsite(Q(kWebsite));

  picture3_ = new QFrame(client_);
  picture3_->setObjectName(QStringLiteral("Picture3"));
  picture3_->setFrameShape(QFrame::Box);
  picture3_->hide();
  image1_ = new QToolButton(picture3_);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setToolTip(QStringLiteral("Minimize IP Scan Form"));
  image1_->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
  image1_->setAutoRaise(true);
  connect(image1_, &QToolButton::clicked, this, [this] {
    ShowPingPanel();
    focusNeutral();
  });
  connect(display_->Image2(), &QToolButton::clicked, this, [this] {
    ShowScanPanel();
    focusNeutral();
  });

  pictureDOS_ = new QFrame(client_);
  pictureDOS_->setObjectName(QStringLiteral("PictureDOS"));
  pictureDOS_->setFrameShape(QFrame::Box);
  pictureDOS_->setAutoFillBackground(true);
  pictureDOS_->hide();

  // The target list grows over the results when expanded.
  targetList_ = new TargetListPanel(client_);
  targetList_->SetDetailHost(client_);
  pictureShowIP_ = targetList_->PictureShowIP();
  connect(targetList_, &TargetListPanel::StartRequested, this, &FormMain::CommandStart_Click);
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
  targetList_->SetNeutralFocus(text402_);

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

QAction* FormMain::addEntry(QMenu* menu, const QString& name, const QString& caption,
                            const QKeySequence& key) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!key.isEmpty()) {
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
  }
  menu->addAction(a);
  actions_[name] = a;
  return a;
}

void FormMain::addSeparator(QMenu* menu, const QString& name) {
  QAction* s = menu->addSeparator();
  s->setObjectName(name);
}

QAction* FormMain::action(const QString& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

void FormMain::buildMenus() {
  QMenuBar* bar = menuBar();
  auto menu = [&](const QString& name, const QString& caption) {
    QMenu* m = bar->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name + QStringLiteral("Action"));
    return m;
  };
  const auto S = [](const char* t) { return QString::fromLatin1(t); };

  QMenu* file = menu(S("mnuFile"), S("&File"));
  addEntry(file, S("mnuExpImp_1"), S("Export IP List"));
  addEntry(file, S("mnuExpImp_2"), S("Import IP List"));
  addSeparator(file, S("mnuExpImp_3"));
  addEntry(file, S("mnuExpImp_4"), S("Export DOS Command History"));
  addEntry(file, S("mnuExpImp_5"), S("Import DOS Command History"));
  addSeparator(file, S("mnuExpImp_6"));
  addEntry(file, S("mnuWebsite"), S("Goto Our Website"), Qt::Key_F10);
  addSeparator(file, S("mnu005"));
  addEntry(file, S("mnuExit"), S("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* operate = menu(S("mnuOperate"), S("&Operate"));
  addEntry(operate, S("mnuStart"), S("Start"), Qt::Key_F5);
  addEntry(operate, S("mnuIpscanner"), S("Scan IP"), Qt::Key_F11);
  addEntry(operate, S("mnuStop"), S("S&top"), Qt::Key_F4);
  addSeparator(operate, S("mnu001"));
  addEntry(operate, S("mnuExport"), S("&Export"), Qt::Key_F6);
  addEntry(operate, S("mnuOpen"), S("O&pen"), Qt::Key_F7);
  addSeparator(operate, S("mnu002"));
  addEntry(operate, S("mnuCopy"), S("&Copy Screen"), Qt::Key_F9);
  addSeparator(operate, S("mnu8099"));
  addEntry(operate, S("mnuReport"), S("Open Summary Report"), QKeySequence(Qt::CTRL | Qt::Key_R));

  QMenu* ip = menu(S("mnuIPList"), S("&IP"));
  addEntry(ip, S("mnuAddS"), S("Add a single IP or URL"));
  addEntry(ip, S("mnuAddG"), S("Add a group of IP addresses"));
  addEntry(ip, S("munAddR"), S("Add a range of IP addresses"));
  addEntry(ip, S("mnuEdit"), S("Edit the seleted item"));
  addEntry(ip, S("mnuDelete"), S("Detete the seleted item"));
  addSeparator(ip, S("mnu8077"));
  addEntry(ip, S("mnuScanLocalIP"), S("Scan local subnet and save the ip addresses"));
  addSeparator(ip, S("mnu876"));
  QMenu* group = ip->addMenu(S("Add the scanned IP to a new IP Group"));
  group->setObjectName(S("mnuAddG2"));
  actions_[S("mnuAddG2")] = group->menuAction();
  group->menuAction()->setObjectName(S("mnuAddG2Action"));
  addEntry(group, S("mnuAddG2Active"), S("Add Active IP to a New IP Group"));
  addEntry(group, S("mnuAddG2Inactive"), S("Add Inactive IP to a New IP Group"));
  addEntry(group, S("mnuAddG2All"), S("Add All IP to a New IP Group"));
  addSeparator(ip, S("mnu780"));
  ip->addAction(targetList_->ResetAction());
  actions_[S("mnuReset")] = targetList_->ResetAction();

  QMenu* utility = menu(S("mnuUtility"), S("&Utility"));
  addEntry(utility, S("mnuDos"), S("DOS Commands"), Qt::Key_F8);
  addSeparator(utility, S("mnu7098"));
  addEntry(utility, S("mnuCloseAllDOS"), S("Close All Opening DOS Forms"));
  QMenu* history = utility->addMenu(S("Delete DOS Run History"));
  history->setObjectName(S("mnuDeleteDos"));
  history->menuAction()->setObjectName(S("mnuDeleteDosAction"));
  actions_[S("mnuDeleteDos")] = history->menuAction();
  static constexpr std::array<const char*, 14> kDel = {
      "-",
      "Edit the DOS commands list use Notepad",
      "Refresh the DOS commands list",
      "-",
      "Delete the selected history records",
      "-",
      "Delete all except the last 10 records",
      "Delete all except the last 20 records",
      "Delete all except the last 30 records",
      "Delete all except the last 50 records",
      "Delete all except the last 100 records",
      "-",
      "Delete all history records",
      "-"};
  for (std::size_t i = 0; i < kDel.size(); ++i) {
    const QString name = S("mnuDel_") + QString::number(i);
    if (QLatin1String(kDel[i]) == QLatin1String("-"))
      addSeparator(history, name);
    else
      addEntry(history, name, S(kDel[i]));
  }

  QMenu* help = menu(S("mnuHelp"), S("&Help"));
  addEntry(help, S("mnuHowto"), S("&How to Use ?"), Qt::Key_F1);
  addEntry(help, S("mnuAbout"), S("&About"), Qt::Key_F3);

  connect(action(S("mnuStart")), &QAction::triggered, this, &FormMain::CommandStart_Click);
  connect(action(S("mnuStop")), &QAction::triggered, this, &FormMain::CommandStop_Click);
  connect(action(S("mnuWebsite")), &QAction::triggered, this, &FormMain::OpenWebSite);
  connect(action(S("mnuExit")), &QAction::triggered, this, &FormMain::ExitProgram);
  connect(action(S("mnuCopy")), &QAction::triggered, this, &FormMain::CopyScreen);
  connect(action(S("mnuAbout")), &QAction::triggered, this, &FormMain::ShowAbout);
  connect(action(S("mnuDos")), &QAction::triggered, this, &FormMain::ShowDosPanel);

  // Entries whose pieces plug in later stay greyed until then; the list
  // entries until the list is loaded.
  for (const char* name :
       {"mnuExpImp_1", "mnuExpImp_2", "mnuExpImp_4", "mnuExpImp_5", "mnuIpscanner", "mnuExport",
        "mnuOpen", "mnuReport", "mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete",
        "mnuScanLocalIP", "mnuAddG2", "mnuDos", "mnuCloseAllDOS", "mnuDeleteDos",
        "mnuHowto"})
    action(S(name))->setEnabled(false);
}

void FormMain::bind(QAbstractButton* button, const QString& actionName) {
  QAction* a = action(actionName);
  connect(button, &QAbstractButton::clicked, a, &QAction::trigger);
  button->setEnabled(a->isEnabled());
  connect(a, &QAction::enabledChanged, button, &QWidget::setEnabled);
}

void FormMain::buildButtons() {
  struct Picture {
    const char* name;
    const char* action;
    QStyle::StandardPixmap icon;
    const char* tip;
  };
  static const Picture kPictures[] = {
      {"Command3", "mnuStart", QStyle::SP_MediaPlay, "Run ping test"},
      {"Command4", "mnuStop", QStyle::SP_MediaStop, "Stop the current running Ping or IP Scan test"},
      {"Command5", "mnuExport", QStyle::SP_DialogSaveButton,
       "Export the test results to a txt or csv file"},
      {"Command6", "mnuOpen", QStyle::SP_DialogOpenButton, "Open test results file"},
      {"Command7", "mnuCopy", QStyle::SP_FileIcon,
       "Copy the test result screen to clipboard"},
      {"Command11", "mnuDos", QStyle::SP_ComputerIcon, "Run Other DOS Commands"},
      {"Command12", "mnuHowto", QStyle::SP_MessageBoxQuestion, "How to use?"},
  };
  int x = kMargin;
  for (const Picture& p : kPictures) {
    auto* b = new QToolButton(client_);
    b->setObjectName(Q(p.name));
    b->setIcon(style()->standardIcon(p.icon));
    b->setIconSize({20, 20});
    b->setToolTip(Q(p.tip));
    b->setAutoRaise(true);
    b->setGeometry(x, kToolTop, kToolSize, kToolSize);
    bind(b, Q(p.action));
    x += kToolSize + 2;
  }

  struct Text {
    const char* name;
    const char* action;
    const char* caption;
    const char* tip;
  };
  static const Text kTexts[] = {
      {"CommandStart", "mnuStart", "Ping", "Run ping test"},
      {"CommandStop", "mnuStop", "Stop", "Stop the current running Ping or IP Scan test"},
      {"CommandExport", "mnuExport", "Export", "Export the test results to a txt or csv file"},
      {"Command1", "mnuOpen", "Open", "Open test results file"},
      {"Command2", "mnuCopy", "Copy", "Copy the test result screen to clipboard"},
      {"Command8", "mnuIpscanner", "Scan ip", "Quickly scan the selected ip addresses."},
  };
  const int y = display_->y() + display_->height() + 8;
  x = kMargin;
  for (const Text& t : kTexts) {
    auto* b = new QPushButton(Q(t.caption), client_);
    b->setObjectName(Q(t.name));
    b->setToolTip(Q(t.tip));
    b->setGeometry(x, y, 90, kButtonHeight);
    bind(b, Q(t.action));
    bottomRow_.push_back(b);
    x += 96;
  }
  auto* dos = new QToolButton(client_);
  dos->setObjectName(QStringLiteral("Command19"));
  dos->setIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  dos->setToolTip(QStringLiteral("Run Other DOS Commands"));
  dos->setGeometry(x, y, kButtonHeight + 4, kButtonHeight);
  bind(dos, QStringLiteral("mnuDos"));
  bottomRow_.push_back(dos);

  static constexpr std::array<const char*, 5> kListCommands = {"mnuAddS", "mnuAddG", "munAddR",
                                                               "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) targetList_->BindCommandAdd(i, action(Q(kListCommands[i])));
  targetList_->SetToolTipTargets(
      {client_->findChild<QWidget*>(QStringLiteral("CommandStart")),
       client_->findChild<QWidget*>(QStringLiteral("Command3"))},
      {client_->findChild<QWidget*>(QStringLiteral("Command8"))});
}

void FormMain::Form_Load() {
  setWindowTitle(Q(kCaption));
  display_->PaintIdle();
  picture3_->move(Px(120), Px(2760));
  // The window is shown before the slower steps; Qt paints it from the event
  // loop, so no rounds of yielding are needed here.
  dataFolder_ = DataFolder(dataFolderBase_);
  ipListFile_ = dataFolder_ + std::string(kIPListFile);
  commandHistoryFile_ = dataFolder_ + std::string(kCommandHistoryFile);
  makeRun();
  LoadIPList();
  frame1_->FillParameterLists();
  scheduleFrame_->FillScheduleLists();
  params_.numberOfSizes = 1;  // the run sets its step length when it starts
  show();
  QCoreApplication::processEvents();
  layoutFrame();  // the filled lists and their buttons have their sizes now
  FillCommandList();
  LoadCommandHistory();
  pingRun_->ReloadPreviousRun();
  // A data folder that cannot be written leaves the worker unwritten; a scan
  // says so when it needs it.
  scanProgramPath_ = ScanProgramPath(dataFolder_);
  (void)ExtractScanProgram(dataFolder_);
  scanParameter1_ = 10;
  scanParameter2_ = 350;
  InstallMessageHook();
  PrepareScanGrid();
  loaded_ = true;
  // The first activation may come before the window is loaded, or never
  // without a window manager: place it now.
  Form_Activate();
  placed_ = true;
  tellIfNoIcmp();
}

void FormMain::makeRun() {
  runLog_ = std::make_unique<RunLog>(dataFolder_);
  pingRun_ = std::make_unique<PingRun>(
      PingRun::Services{services_.clock, services_.icmp, services_.prompter, services_.keepAwake},
      params_, *runLog_);
  PingRun* run = pingRun_.get();
  ResultsDisplay* d = display_;
  d->setRowSource([run](std::int64_t i) {
    const RunData& data = run->data();
    if (i < 0 || i >= static_cast<std::int64_t>(data.records.size())) return RowTexts{};
    const ResultRowTexts t = FormatResultRow(data, data.records[static_cast<std::size_t>(i)]);
    return RowTexts{QString::fromStdString(t.first), QString::fromStdString(t.second)};
  });
  run->setPastEndCheck([this] { return scheduleCheck_->CheckEnd(); });

  connect(run, &PingRun::testRunningChanged, this, [this](bool running) {
    if (running)
      SetTestRunning();
    else
      SetTestIdle();
    scheduleFrame_->setTestRunning(running);
    targetList_->SetRunActive(running);
  });
  connect(run, &PingRun::runPreparing, this, [this, d](const QString& title2) {
    ShowPingPanel();
    d->PaintRunning();
    d->LabelTittle2()->setText(title2);
    d->ClearRows();
    d->ClearStatistics();
    d->PingReport()->hide();
  });
  connect(run, &PingRun::titlesChanged, this, [d](const QString& title1, const QString& title2) {
    d->LabelTittle1()->setText(title1);
    d->LabelTittle2()->setText(title2);
  });
  connect(run, &PingRun::runStarted, this, [this, d](const QString&, const QString&, bool wide, int) {
    d->PlaceSecondColumn(wide);
    d->ShowStatisticsCaptions();
    focusNeutral();
  });
  connect(run, &PingRun::resultAdded, this, [this, d](qint64 row) {
    d->ShowResultRow(row);
    d->SetupScrollBar(row);
    hideSelectionPopup();
  });
  connect(run, &PingRun::statisticsChanged, this, &FormMain::showStatistics);
  connect(run, &PingRun::stopping, this, [this] {
    action(QStringLiteral("mnuStop"))->setEnabled(false);
    scheduleCheck_->setArmed(false);
    scheduleCheck_->disable();
    scheduleFrame_->selectImmediately();
    focusNeutral();
  });
  connect(run, &PingRun::finished, this, [this, d] {
    action(QStringLiteral("mnuStop"))->setEnabled(true);
    d->ShowLastPage();
  });
  connect(run, &PingRun::startAbandoned, this, [this] {
    // No finished() follows a start that never became a run: the window goes
    // back to idle here, and a scheduled start that found nothing ends the
    // schedule as a stopped run would.
    if (targetsReady_) {
      collector_->cancel();
      targetsReady_ = {};
    }
    testNow_ = {};  // a start given up before its collection tests nothing later
    action(QStringLiteral("mnuStop"))->setEnabled(true);
    scheduleCheck_->setArmed(false);
    scheduleCheck_->disable();
    scheduleFrame_->selectImmediately();
  });
  connect(run, &PingRun::reportLinkVisible, this, [this, d](bool visible) {
    d->PingReport()->setVisible(visible && !scheduleCheck_->awaitingStart());
  });
  connect(run, &PingRun::problem, this, [this](const QString& text) {
    if (services_.prompter)
      services_.prompter->message(text, QStringLiteral("Information"), IPrompter::Icon::Warning);
  });
  connect(run, &PingRun::reloadStarted, this, [this, d](const QString& title2) {
    d->LabelTittle2()->setText(title2);
    d->LabelTittle3()->show();
    if (!reloadCursor_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    reloadCursor_ = true;
  });
  connect(run, &PingRun::reloadProgress, this,
          [d](qint64 remaining) { d->LabelTittle3()->setText(QString::number(remaining)); });
  connect(runLog_.get(), &RunLog::reloadFinished, this, [this, d] {
    d->LabelTittle3()->hide();
    if (reloadCursor_) QGuiApplication::restoreOverrideCursor();
    reloadCursor_ = false;
  });
  connect(run, &PingRun::previousRunLoaded, this, [d, run] { d->ShowReloadedRun(run->rowCount()); });

  connect(scheduleCheck_.get(), &ScheduleCheck::startRequested, this, [this] {
    scheduleCheck_->setArmed(true);
    pingRun_->StartPingTest();
  });
  connect(scheduleCheck_.get(), &ScheduleCheck::awaitingStartChanged, this, [d](bool awaiting) {
    if (awaiting) d->PingReport()->hide();
  });
  connect(scheduleFrame_, &ScheduleFrame::scheduleShown, this, [this, d](const QString& title) {
    d->ClearRows();
    d->ClearStatistics();
    ShowPingPanel();
    d->PingReport()->hide();
    d->LabelTittle2()->setText(title);
  });
  connect(scheduleFrame_, &ScheduleFrame::scheduleTitleCleared, this, [d] {
    if (d->LabelTittle2()->text().contains(QStringLiteral("Ping Test will auto run at")))
      d->LabelTittle2()->clear();
  });
}

void FormMain::LoadIPList() {
  store_ = std::make_unique<IPListStore>(dataFolder_, services_.network, services_.prompter);
  store_->FillIPList();
  targetList_->ShowEntries(store_->IPEntries());

  editor_ = new IPListEditor(services_, *store_, exchange_, *targetList_, this, this);
  // The editor's actions take the places of the menu's entries.
  static constexpr std::array<const char*, 5> kNames = {"mnuAddS", "mnuAddG", "munAddR",
                                                        "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) {
    QAction* placeholder = action(Q(kNames[i]));
    QAction* real = editor_->CommandAction(i);
    auto* menu = findChild<QMenu*>(QStringLiteral("mnuIPList"));
    menu->insertAction(placeholder, real);
    menu->removeAction(placeholder);
    actions_[Q(kNames[i])] = real;
    delete placeholder;
  }
  connect(editor_, &IPListEditor::PingTestRequested, this, &FormMain::StartTestNow);
  connect(pingRun_.get(), &PingRun::testRunningChanged, editor_, &IPListEditor::SetRunActive);
  editor_->SetRunActive(pingRun_->testRunning());

  collector_ = new TargetCollector(services_.resolver, this);
  connect(collector_, &TargetCollector::finished, this, &FormMain::PingTargetsCollected);
  pingRun_->setAsyncTargetSource(
      [this](PingRun::TargetsReady ready) { CollectPingTargets(std::move(ready)); });
}

void FormMain::CollectPingTargets(PingRun::TargetsReady ready) {
  CollectRequest request = TestNowRequest(CollectPurpose::PingTest, std::exchange(testNow_, {}));
  targetList_->FillListState(request);
  // Names resolve on the collector's threads; the window keeps painting and
  // takes Stop meanwhile. A new collection replaces one still under way.
  targetsReady_ = std::move(ready);
  collector_->start(std::move(request));
}

void FormMain::PingTargetsCollected(const CollectResult& result) {
  if (!targetsReady_) return;
  if (result.markCurrentSelected) targetList_->SelectCurrentItem();
  if (services_.prompter) {
    ReportUnresolved(result.targets, *services_.prompter);
    ReportTruncated(result.targets, *services_.prompter);
  }
  RunTargets targets;
  targets.addresses = result.targets.TargetAddresses;
  targets.labels = result.targets.TargetLabels;
  targets.longAddressFlag = result.targets.LongAddressFlag;
  targets.nothingToTest = result.nothingToTest;
  std::exchange(targetsReady_, {})(std::move(targets));
}

void FormMain::showStatistics(const RunStatistics& stats) {
  // A run that has sent nothing yet shows an empty column.
  if (stats.sent == 0)
    display_->ClearStatistics();
  else
    display_->ShowRunStatistics(stats);
}

void FormMain::CommandStart_Click() {
  if (!pingRun_ || pingRun_->testRunning()) {
    // A refused start changes nothing: the running run keeps its scheduled end.
    return;
  }
  scheduleFrame_->selectImmediately();
  scheduleCheck_->setArmed(true);
  pingRun_->StartPingTest();
}

void FormMain::StartTestNow(const ListEntry& entry) {
  // Refused here, the entry is not kept to replace the next selection.
  if (!pingRun_ || pingRun_->testRunning()) return;
  testNow_ = entry;
  CommandStart_Click();
}

void FormMain::CommandStop_Click() {
  if (pingRun_) pingRun_->StopPingTest();
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
  if (!testRunning_) return true;
  if (services_.prompter)
    services_.prompter->message(Q(kStopFirstText), Q(kStopFirstCaption),
                                IPrompter::Icon::Information);
  return false;
}

void FormMain::Form_Unload() { RemoveMessageHook(); }

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
  targetList_->SetListExpanded(true);
  targetList_->resize(targetList_->width(), targetList_->sizeHint().height());
  picture1_[1]->hide();
  picture1_[2]->show();
  targetList_->raise();
  picture1_[2]->raise();
}

void FormMain::CollapseTargetList() {
  targetList_->SetListExpanded(false);
  targetList_->resize(targetList_->width(), targetList_->sizeHint().height());
  picture1_[1]->show();
  picture1_[2]->hide();
}

void FormMain::CopyScreen() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  QWidget* panel = nullptr;
  if (display_->isVisibleTo(this))
    panel = display_;
  else if (picture3_->isVisibleTo(this))
    panel = picture3_;
  if (panel) {
    display_->flush();
    const QPixmap pixmap = panel->grab();
    if (!pixmap.isNull()) clipboard->setPixmap(pixmap);
  }
  focusNeutral();
}

void FormMain::OpenWebSite() {
  if (services_.launcher) services_.launcher->openUrl(Q(kWebsite));
}

void FormMain::ShowAbout() {
  if (!services_.prompter) return;
  const QString text = windowTitle() + QStringLiteral(
                                           "\n\nVersion %1 of %2\n\n"
                                           "Pings a list of targets on a timer, logs every "
                                           "reply and sweeps address ranges.\n%3")
                                           .arg(QLatin1String(kVersion.data(), kVersion.size()),
                                                QLatin1String(kVersionDate.data(), kVersionDate.size()),
                                                Q(kWebsite));
  services_.prompter->message(text, QStringLiteral("About"), IPrompter::Icon::Information);
  focusNeutral();
}

void FormMain::ExitProgram() {
  if (testRunning_) {
    if (services_.prompter)
      services_.prompter->message(Q(kStopFirstText), Q(kStopFirstCaption),
                                  IPrompter::Icon::Information);
    return;
  }
  exitHandler_();
}

void FormMain::SetTestRunning() {
  testRunning_ = true;
  display_->setRunning(true);
  action(QStringLiteral("mnuStart"))->setEnabled(false);
  action(QStringLiteral("mnuIpscanner"))->setEnabled(false);
}

void FormMain::SetTestIdle() {
  testRunning_ = false;
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

int RunMainWindow(QApplication& app) {
  Services services;
  services.clock = std::make_shared<SystemClock>();
  services.icmp = SystemIcmpCarrier();
  services.resolver = SystemResolver();
  services.network = SystemNetworkSettings();
  services.keepAwake = std::make_shared<DBusKeepAwake>();
  services.prompter = std::make_shared<QtPrompter>();
  services.launcher = std::make_shared<DesktopLauncher>();
  FormMain w(services, ApplicationDataFolder());
  w.Form_Load();
  return app.exec();
}

}  // namespace sondrel
