#include "command/ui/DosPanelPresenter.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>

#include "command/TerminalRuns.h"
#include "command/ui/PictureDOS.h"
#include "core/command/CommandHistory.h"
#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "core/common/Twips.h"
#include "core/ports/FileService.h"
#include "ports/Launcher.h"
#include "ports/Prompter.h"
#include "results/ResultsExport.h"
#include "text/TextBytes.h"

namespace sondrel {
namespace {

constexpr char kRunTag[] = "   Dos_Run";
constexpr char kAddTag[] = "   Dos Add";
// Where the history menu pops up within the window, in twips.
constexpr int kMenuLeft = 7210;
constexpr int kMenuTop = 4080;

QString Describe(const Error& error) { return ProgramText(error.message); }

}  // namespace

DosPanelPresenter::DosPanelPresenter(CommandPanelServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
  terminals_ = new TerminalRuns(services_.launcher, services_.processes, this);
  connect(terminals_, &TerminalRuns::terminalFailed, this, [this](const QString& description) {
    tell(description + QLatin1String(kRunTag), IPrompter::Icon::Critical);
  });
}

DosPanelPresenter::~DosPanelPresenter() = default;

void DosPanelPresenter::setViews(PictureDOS* panel, QWidget* window, QMenu* historyMenu) {
  panel_ = panel;
  window_ = window;
  historyMenu_ = historyMenu;
  PictureDOS* p = panel_;

  connect(p->CommandDOS(0), &QPushButton::clicked, this, [this] {
    panel_->ListIP2()->hide();
    panel_->showPicker(panel_->ListCmd());
  });
  connect(p->CommandDOS(1), &QPushButton::clicked, this, [this] {
    panel_->ListCmd()->hide();
    showAddresses();
  });
  connect(p->CommandDOS(2), &QPushButton::clicked, this, &DosPanelPresenter::RunCommand);
  connect(p->TextCmd(), &QLineEdit::returnPressed, this, &DosPanelPresenter::RunCommand);
  connect(p->CommandDOS(3), &QPushButton::clicked, this, &DosPanelPresenter::ToggleHistorySort);
  connect(p->CommandDOS(4), &QPushButton::clicked, this, &DosPanelPresenter::AddCurrentCommand);
  connect(p->CommandDOS(5), &QPushButton::clicked, this, &DosPanelPresenter::popUpHistoryMenu);
  connect(p->CommandDOS(6), &QPushButton::clicked, p, &QWidget::hide);

  connect(p->ListCmd(), &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    putCommand(item->text());
    panel_->ListCmd()->hide();
  });
  connect(p->ListDOSHis(), &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    if (item->text().isEmpty()) return;
    const int row = panel_->ListDOSHis()->row(item);
    picked_.clear();
    if (history_ && row >= 0 && row < static_cast<int>(history_->HistoryShown().size()))
      picked_ = history_->HistoryShown()[static_cast<std::size_t>(row)];
    putCommand(item->text());
  });
  connect(p->ListIP2(), &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const QString text = item->text();
    if (text == QLatin1String(kListIP2Separator.data(), kListIP2Separator.size())) {
      panel_->ListIP2()->hide();
    } else if (text == QLatin1String(kListIP2AddItem.data(), kListIP2AddItem.size())) {
      panel_->ListIP2()->hide();
      Q_EMIT addSingleWanted();
    } else {
      InsertAddress(text);
    }
  });
  // Remembered for comparison only: events reach the filter also while the
  // panel is being destroyed, when it may no longer be asked for them.
  filtered_ = {p->TextCmd(), p->ListDOSHis(), p->ListDOSHis()->viewport()};
  for (QObject* o : filtered_) o->installEventFilter(this);

  if (historyMenu_) {
    const auto entry = [this](int index, auto slot) {
      const QString name = QStringLiteral("mnuDel_%1").arg(index);
      for (QAction* a : historyMenu_->actions())
        if (a->objectName() == name) connect(a, &QAction::triggered, this, slot);
    };
    entry(1, [this] { EditHistory(); });
    entry(2, [this] { LoadHistory(); });
    entry(4, [this] { DeleteSelectedHistory(); });
    constexpr std::array<int, 5> kKeep = {10, 20, 30, 50, 100};
    for (int i = 0; i < 5; ++i) {
      const int n = kKeep[static_cast<std::size_t>(i)];
      entry(6 + i, [this, n] { KeepLastHistory(n); });
    }
    entry(12, [this] { DeleteAllHistory(); });
  }
}

bool DosPanelPresenter::eventFilter(QObject* watched, QEvent* event) {
  if (panel_) {
    const bool overHistory = watched == filtered_[1] || watched == filtered_[2];
    if (overHistory && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove))
      hidePickers();
    if (watched == filtered_[0] && event->type() == QEvent::MouseButtonPress) hidePickers();
  }
  return QObject::eventFilter(watched, event);
}

void DosPanelPresenter::FillCommandList() {
  QListWidget* list = panel_->ListCmd();
  list->clear();
  for (std::string_view command : kReadyCommands)
    list->addItem(QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size())));
}

void DosPanelPresenter::setHistoryFile(const std::string& path) {
  history_ = std::make_unique<CommandHistory>(*services_.files, path);
}

void DosPanelPresenter::fillHistoryList() {
  QListWidget* list = panel_->ListDOSHis();
  list->clear();
  const std::vector<std::string>& shown = history_->HistoryShown();
  QStringList items;
  items.reserve(static_cast<qsizetype>(shown.size()));
  for (const std::string& line : shown) items << TextOfBytes(line);
  list->addItems(items);
}

void DosPanelPresenter::followImports(ResultsExport& exporter) {
  connect(&exporter, &ResultsExport::historyReplaced, this, &DosPanelPresenter::LoadHistory);
}

void DosPanelPresenter::LoadHistory() {
  if (!history_) return;
  const Result<void> loaded = history_->LoadHistory();
  fillHistoryList();
  if (!loaded) {
    tell(Describe(loaded.error()), IPrompter::Icon::Warning);
    return;
  }
  tellAboutTail();
}

void DosPanelPresenter::tellAboutTail() {
  // Once, not after each reload that finds the same lines again.
  const int lines = history_->TailLines();
  const bool told = lines > 0 && lines != toldTailLines_;
  toldTailLines_ = lines;
  if (!told) return;
  const QString count =
      lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(lines);
  tell(QStringLiteral("The command history holds ") + count +
           QStringLiteral(" after an empty line. They are not loaded; they are kept in the "
                          "file as they are:\r\n") +
           QString::fromStdString(history_->path()),
       IPrompter::Icon::Information);
}

void DosPanelPresenter::AddToHistory(const std::string& command) {
  if (!history_) return;
  const Result<void> added = history_->AddToHistory(command);
  fillHistoryList();
  if (!added)
    tell(Describe(added.error()) + QLatin1String(kAddTag),
         IPrompter::Icon::Critical);
}

std::string DosPanelPresenter::commandBytes(const QString& text) const {
  // A history line not in UTF-8 is shown decoded; unchanged, it runs with
  // the bytes it is stored with, and so is found already listed.
  std::string utf8 = BytesOfText(text);
  if (!history_) return utf8;
  if (!picked_.empty() && TextOfBytes(picked_) == text) return picked_;
  const std::vector<std::string>& lines = history_->HistoryLines();
  if (std::find(lines.begin(), lines.end(), utf8) != lines.end()) return utf8;
  for (const std::string& line : lines)
    if (!IsUtf8(line) && TextOfBytes(line) == text) return line;
  return utf8;
}

void DosPanelPresenter::RunCommand() {
  const std::string command = commandBytes(panel_->TextCmd()->text().trimmed());
  if (const Result<void> run = terminals_->Run(command); !run) {
    tell(Describe(run.error()) + QLatin1String(kRunTag), IPrompter::Icon::Critical);
    return;
  }
  if (panel_->CheckAutoAdd()->isChecked()) AddToHistory(command);
}

void DosPanelPresenter::AddCurrentCommand() {
  const QString command = panel_->TextCmd()->text().trimmed();
  if (command.isEmpty()) {
    tell(QString::fromLatin1(kNothingToAddText), IPrompter::Icon::Critical);
    return;
  }
  AddToHistory(commandBytes(command));
}

void DosPanelPresenter::ToggleHistorySort() {
  if (!history_) return;
  const Result<void> done = history_->ToggleHistorySort();
  fillHistoryList();
  if (!done) tell(Describe(done.error()), IPrompter::Icon::Warning);
  QListWidget* list = panel_->ListDOSHis();
  list->show();
  list->raise();
  QScrollBar* bar = list->verticalScrollBar();
  bar->setValue(bar->value() + 20);
}

void DosPanelPresenter::DeleteSelectedHistory() {
  if (!history_) return;
  QListWidget* list = panel_->ListDOSHis();
  const std::vector<std::string>& shown = history_->HistoryShown();
  std::vector<std::string> selected;
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->isSelected() && row < static_cast<int>(shown.size()))
      selected.push_back(shown[static_cast<std::size_t>(row)]);
  if (selected.empty()) {
    tell(QString::fromLatin1(kSelectToDeleteText), IPrompter::Icon::Warning);
    return;
  }
  if (!ask(QStringLiteral("Are you sure to delete %1 seleted items ?").arg(selected.size())))
    return;
  const Result<void> done = history_->DeleteSelectedHistory(selected);
  fillHistoryList();
  if (!done) tell(Describe(done.error()), IPrompter::Icon::Critical);
}

void DosPanelPresenter::KeepLastHistory(int n) {
  if (!history_) return;
  if (!ask(QStringLiteral("Are you sure to delete all except last %1 records ?").arg(n))) return;
  const Result<void> done = history_->KeepLastHistory(n);
  fillHistoryList();
  if (!done) tell(Describe(done.error()), IPrompter::Icon::Critical);
}

void DosPanelPresenter::DeleteAllHistory() {
  if (!history_) return;
  if (!ask(QStringLiteral("Are you sure to delete all history records ?"))) return;
  const Result<void> done = history_->DeleteAllHistory();
  fillHistoryList();
  if (!done) tell(Describe(done.error()), IPrompter::Icon::Critical);
}

void DosPanelPresenter::EditHistory() {
  if (!history_ || !services_.launcher) return;
  const QString path = QString::fromStdString(history_->path());
  if (!services_.launcher->openUrl(path))
    tell(QStringLiteral("No text editor could be opened for ") + path,
         IPrompter::Icon::Warning);
}

void DosPanelPresenter::InsertAddress(const QString& address) {
  QLineEdit* text = panel_->TextCmd();
  const std::string command =
      sondrel::InsertAddress(BytesOfText(text->text()), BytesOfText(address));
  putCommand(TextOfBytes(command));
  panel_->ListIP2()->hide();
}

void DosPanelPresenter::CloseAllTerminals() { terminals_->CloseAll(); }

void DosPanelPresenter::hidePickers() {
  panel_->ListCmd()->hide();
  panel_->ListIP2()->hide();
}

void DosPanelPresenter::showAddresses() {
  QListWidget* list = panel_->ListIP2();
  list->clear();
  std::vector<std::string> items;
  if (addresses_) items = addresses_();
  if (items.empty()) items = {std::string(kListIP2Separator), std::string(kListIP2AddItem)};
  for (const std::string& item : items) list->addItem(TextOfBytes(item));
  panel_->showPicker(list);
}

void DosPanelPresenter::putCommand(const QString& text) {
  QLineEdit* box = panel_->TextCmd();
  box->setText(text);
  box->setCursorPosition(std::min<int>(99, static_cast<int>(text.size())));
  box->setFocus(Qt::OtherFocusReason);
}

void DosPanelPresenter::popUpHistoryMenu() {
  if (!historyMenu_) return;
  QWidget* anchor = window_ ? window_ : panel_->window();
  historyMenu_->popup(anchor->mapToGlobal(QPoint(Px(kMenuLeft), Px(kMenuTop))));
}

bool DosPanelPresenter::ask(const QString& text) {
  if (!services_.prompter) return true;
  return services_.prompter->message(text, QString::fromLatin1(kDeleteHistoryCaption),
                                     IPrompter::Icon::Information, IPrompter::Buttons::YesNo) ==
         IPrompter::Answer::Yes;
}

void DosPanelPresenter::tell(const QString& text, IPrompter::Icon icon) {
  if (!services_.prompter) return;
  services_.prompter->message(text, ProgramText(kProductTitle), icon);
}

}  // namespace sondrel
