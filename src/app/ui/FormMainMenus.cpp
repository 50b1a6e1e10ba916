// The main window's menus and button rows: every button triggers the action
// of its menu entry and follows its enabled state.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <array>

#include "app/ui/ButtonIcons.h"
#include "app/ui/FormMain.h"
#include "app/ui/FormMainLayout.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/ui/ResultsDisplay.h"

namespace sondrel {

using namespace main_window;

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

  QMenu* file = menu(QStringLiteral("mnuFile"), QStringLiteral("&File"));
  addEntry(file, QStringLiteral("mnuExpImp_1"), QStringLiteral("Export IP List"));
  addEntry(file, QStringLiteral("mnuExpImp_2"), QStringLiteral("Import IP List"));
  addSeparator(file, QStringLiteral("mnuExpImp_3"));
  addEntry(file, QStringLiteral("mnuExpImp_4"), QStringLiteral("Export DOS Command History"));
  addEntry(file, QStringLiteral("mnuExpImp_5"), QStringLiteral("Import DOS Command History"));
  addSeparator(file, QStringLiteral("mnuExpImp_6"));
  addEntry(file, QStringLiteral("mnuWebsite"), QStringLiteral("Goto Our Website"), Qt::Key_F10);
  addSeparator(file, QStringLiteral("mnu005"));
  addEntry(file, QStringLiteral("mnuExit"), QStringLiteral("E&xit"),
           QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* operate = menu(QStringLiteral("mnuOperate"), QStringLiteral("&Operate"));
  addEntry(operate, QStringLiteral("mnuStart"), QStringLiteral("Start"), Qt::Key_F5);
  addEntry(operate, QStringLiteral("mnuIpscanner"), QStringLiteral("Scan IP"), Qt::Key_F11);
  addEntry(operate, QStringLiteral("mnuStop"), QStringLiteral("S&top"), Qt::Key_F4);
  addSeparator(operate, QStringLiteral("mnu001"));
  addEntry(operate, QStringLiteral("mnuExport"), QStringLiteral("&Export"), Qt::Key_F6);
  addEntry(operate, QStringLiteral("mnuOpen"), QStringLiteral("O&pen"), Qt::Key_F7);
  addSeparator(operate, QStringLiteral("mnu002"));
  addEntry(operate, QStringLiteral("mnuCopy"), QStringLiteral("&Copy Screen"), Qt::Key_F9);
  addSeparator(operate, QStringLiteral("mnu8099"));
  addEntry(operate, QStringLiteral("mnuReport"), QStringLiteral("Open Summary Report"),
           QKeySequence(Qt::CTRL | Qt::Key_R));
  addEntry(operate, QStringLiteral("mnuRuns"), QStringLiteral("Archived &Runs..."),
           QKeySequence(Qt::CTRL | Qt::Key_H));
  addEntry(operate, QStringLiteral("mnuMonitor"), QStringLiteral("&Monitor..."), QKeySequence(Qt::CTRL | Qt::Key_M));
  addEntry(operate, QStringLiteral("mnuAlerts"), QStringLiteral("&Alert Rules..."));

  QMenu* ip = menu(QStringLiteral("mnuIPList"), QStringLiteral("&IP"));
  addEntry(ip, QStringLiteral("mnuAddS"), QStringLiteral("Add a single IP or URL"));
  addEntry(ip, QStringLiteral("mnuAddG"), QStringLiteral("Add a group of IP addresses"));
  addEntry(ip, QStringLiteral("munAddR"), QStringLiteral("Add a range of IP addresses"));
  addEntry(ip, QStringLiteral("mnuEdit"), QStringLiteral("Edit the seleted item"));
  addEntry(ip, QStringLiteral("mnuDelete"), QStringLiteral("Detete the seleted item"));
  addSeparator(ip, QStringLiteral("mnu8077"));
  addEntry(ip, QStringLiteral("mnuScanLocalIP"),
           QStringLiteral("Scan local subnet and save the ip addresses"));
  addSeparator(ip, QStringLiteral("mnu876"));
  QMenu* group = ip->addMenu(QStringLiteral("Add the scanned IP to a new IP Group"));
  group->setObjectName(QStringLiteral("mnuAddG2"));
  actions_[QStringLiteral("mnuAddG2")] = group->menuAction();
  group->menuAction()->setObjectName(QStringLiteral("mnuAddG2Action"));
  addEntry(group, QStringLiteral("mnuAddG2Active"),
           QStringLiteral("Add Active IP to a New IP Group"));
  addEntry(group, QStringLiteral("mnuAddG2Inactive"),
           QStringLiteral("Add Inactive IP to a New IP Group"));
  addEntry(group, QStringLiteral("mnuAddG2All"), QStringLiteral("Add All IP to a New IP Group"));
  addSeparator(ip, QStringLiteral("mnu780"));
  ip->addAction(targetList_->resetAction());
  actions_[QStringLiteral("mnuReset")] = targetList_->resetAction();

  QMenu* utility = menu(QStringLiteral("mnuUtility"), QStringLiteral("&Utility"));
  addEntry(utility, QStringLiteral("mnuDos"), QStringLiteral("DOS Commands"), Qt::Key_F8);
  addSeparator(utility, QStringLiteral("mnu7098"));
  addEntry(utility, QStringLiteral("mnuCloseAllDOS"),
           QStringLiteral("Close All Opening DOS Forms"));
  QMenu* history = utility->addMenu(QStringLiteral("Delete DOS Run History"));
  history->setObjectName(QStringLiteral("mnuDeleteDos"));
  history->menuAction()->setObjectName(QStringLiteral("mnuDeleteDosAction"));
  actions_[QStringLiteral("mnuDeleteDos")] = history->menuAction();
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
    const QString name = QStringLiteral("mnuDel_") + QString::number(i);
    if (QLatin1String(kDel[i]) == QLatin1String("-"))
      addSeparator(history, name);
    else
      addEntry(history, name, ProgramText(kDel[i]));
  }

  QMenu* help = menu(QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
  addEntry(help, QStringLiteral("mnuHowto"), QStringLiteral("&How to Use ?"), Qt::Key_F1);
  addEntry(help, QStringLiteral("mnuAbout"), QStringLiteral("&About"), Qt::Key_F3);

  connect(action(QStringLiteral("mnuStart")), &QAction::triggered, this,
          &FormMain::CommandStart_Click);
  connect(action(QStringLiteral("mnuStop")), &QAction::triggered, this,
          &FormMain::CommandStop_Click);
  connect(action(QStringLiteral("mnuWebsite")), &QAction::triggered, this, &FormMain::OpenWebSite);
  connect(action(QStringLiteral("mnuExit")), &QAction::triggered, this, &FormMain::ExitProgram);
  connect(action(QStringLiteral("mnuCopy")), &QAction::triggered, this, &FormMain::CopyScreen);
  connect(action(QStringLiteral("mnuAbout")), &QAction::triggered, this, &FormMain::ShowAbout);
  connect(action(QStringLiteral("mnuHowto")), &QAction::triggered, this, &FormMain::OpenHelp);
  connect(action(QStringLiteral("mnuDos")), &QAction::triggered, this, &FormMain::ShowDosPanel);

  // Entries whose pieces plug in later stay greyed until then; the list
  // entries until the list is loaded.
  for (const char* name :
       {"mnuExpImp_1", "mnuExpImp_2", "mnuExpImp_4", "mnuExpImp_5", "mnuIpscanner", "mnuExport",
        "mnuOpen", "mnuReport", "mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete",
        "mnuScanLocalIP", "mnuAddG2", "mnuDos", "mnuCloseAllDOS", "mnuDeleteDos"})
    action(ProgramText(name))->setEnabled(false);
}

void FormMain::bind(QAbstractButton* button, const QString& actionName) {
  QAction* a = action(actionName);
  connect(button, &QAbstractButton::clicked, a, &QAction::trigger);
  button->setEnabled(a->isEnabled());
  connect(a, &QAction::enabledChanged, button, &QWidget::setEnabled);
  // Named on the button, so what it runs can be asked of it.
  button->addAction(a);
}

void FormMain::share(QToolButton* button, const QString& actionName, ButtonIcon icon,
                     const QString& tip) {
  // The picture button is the menu entry's own action: one enabled state,
  // one trigger. The menu keeps its entries plain text.
  QAction* a = action(actionName);
  a->setIcon(DrawnIcon(icon));
  a->setIconVisibleInMenu(false);
  a->setToolTip(tip);
  button->setDefaultAction(a);
}

void FormMain::buildButtons() {
  struct Picture {
    const char* name;
    const char* action;
    ButtonIcon icon;
    const char* tip;
  };
  static const Picture kPictures[] = {
      {"Command3", "mnuStart", ButtonIcon::Start, "Run ping test"},
      {"Command4", "mnuStop", ButtonIcon::Stop, "Stop the current running Ping or IP Scan test"},
      {"Command5", "mnuExport", ButtonIcon::Export,
       "Export the test results to a txt or csv file"},
      {"Command6", "mnuOpen", ButtonIcon::Open, "Open test results file"},
      {"Command7", "mnuCopy", ButtonIcon::Copy,
       "Copy the test result screen to clipboard"},
      {"Command11", "mnuDos", ButtonIcon::Dos, "Run Other DOS Commands"},
      {"Command12", "mnuHowto", ButtonIcon::Help, "How to use?"},
      {"CommandMonitor", "mnuMonitor", ButtonIcon::Monitor,
       "Every target's state, latency chart and outages"},
  };
  int x = kMargin;
  for (const Picture& p : kPictures) {
    auto* b = new QToolButton(client_);
    b->setObjectName(ProgramText(p.name));
    share(b, ProgramText(p.action), p.icon, ProgramText(p.tip));
    b->setIconSize({20, 20});
    b->setAutoRaise(true);
    b->setGeometry(x, kToolTop, kToolSize, kToolSize);
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
    auto* b = new QPushButton(ProgramText(t.caption), client_);
    b->setObjectName(ProgramText(t.name));
    b->setToolTip(ProgramText(t.tip));
    b->setGeometry(x, y, 90, kButtonHeight);
    bind(b, ProgramText(t.action));
    bottomRow_.push_back(b);
    x += 96;
  }
  auto* dos = new QToolButton(client_);
  dos->setObjectName(QStringLiteral("Command19"));
  share(dos, QStringLiteral("mnuDos"), ButtonIcon::Dos, QStringLiteral("Run Other DOS Commands"));
  dos->setGeometry(x, y, kButtonHeight + 4, kButtonHeight);
  bottomRow_.push_back(dos);

  static constexpr std::array<const char*, 5> kListCommands = {"mnuAddS", "mnuAddG", "munAddR",
                                                               "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) targetList_->bindCommandAdd(i, action(ProgramText(kListCommands[i])));
  targetList_->setToolTipTargets(
      {client_->findChild<QWidget*>(QStringLiteral("CommandStart")),
       client_->findChild<QWidget*>(QStringLiteral("Command3"))},
      {client_->findChild<QWidget*>(QStringLiteral("Command8"))});
}

}  // namespace sondrel
