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
  ip->addAction(targetList_->resetAction());
  actions_[S("mnuReset")] = targetList_->resetAction();

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
  connect(action(S("mnuHowto")), &QAction::triggered, this, &FormMain::OpenHelp);
  connect(action(S("mnuDos")), &QAction::triggered, this, &FormMain::ShowDosPanel);

  // Entries whose pieces plug in later stay greyed until then; the list
  // entries until the list is loaded.
  for (const char* name :
       {"mnuExpImp_1", "mnuExpImp_2", "mnuExpImp_4", "mnuExpImp_5", "mnuIpscanner", "mnuExport",
        "mnuOpen", "mnuReport", "mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete",
        "mnuScanLocalIP", "mnuAddG2", "mnuDos", "mnuCloseAllDOS", "mnuDeleteDos"})
    action(S(name))->setEnabled(false);
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
  };
  int x = kMargin;
  for (const Picture& p : kPictures) {
    auto* b = new QToolButton(client_);
    b->setObjectName(Q(p.name));
    share(b, Q(p.action), p.icon, Q(p.tip));
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
  share(dos, QStringLiteral("mnuDos"), ButtonIcon::Dos, QStringLiteral("Run Other DOS Commands"));
  dos->setGeometry(x, y, kButtonHeight + 4, kButtonHeight);
  bottomRow_.push_back(dos);

  static constexpr std::array<const char*, 5> kListCommands = {"mnuAddS", "mnuAddG", "munAddR",
                                                               "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) targetList_->bindCommandAdd(i, action(Q(kListCommands[i])));
  targetList_->setToolTipTargets(
      {client_->findChild<QWidget*>(QStringLiteral("CommandStart")),
       client_->findChild<QWidget*>(QStringLiteral("Command3"))},
      {client_->findChild<QWidget*>(QStringLiteral("Command8"))});
}

}  // namespace sondrel
