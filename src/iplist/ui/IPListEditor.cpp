#include "iplist/ui/IPListEditor.h"

#include <QAction>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

#include "iplist/IPListLines.h"
#include "iplist/ui/DialogCommon.h"
#include "iplist/ui/FormAddIP.h"
#include "iplist/ui/FormAddIPG.h"
#include "iplist/ui/FormAddIPR.h"
#include "iplist/ui/ListCommands.h"
#include "iplist/ui/TargetListPanel.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel {


namespace {
constexpr int kListedForDelete = 9;

std::string existedText(bool single, const std::string& key) {
  return (single ? "The same ip/url '" : "The same tittle '") + key + "' has existed.";
}
}  // namespace

IPListEditor::IPListEditor(std::shared_ptr<IPrompter> prompter, IIPListLines& store, DialogExchange& exchange,
                           TargetListPanel& panel, QWidget* window, QObject* parent)
    : QObject(parent),
      prompter_(std::move(prompter)),
      store_(store),
      exchange_(exchange),
      panel_(panel),
      window_(window),
      runner_([](QDialog& d) { d.exec(); }) {
  using Op = void (IPListEditor::*)();
  const std::array<Op, 5> ops{&IPListEditor::AddSingle, &IPListEditor::AddGroup,
                              &IPListEditor::AddRange, &IPListEditor::EditEntry,
                              &IPListEditor::DeleteEntries};
  for (size_t i = 0; i < actions_.size(); ++i) {
    auto* a = new QAction(QString::fromLatin1(listui::kListCommands[i].text), this);
    a->setObjectName(QString::fromLatin1(listui::kListCommands[i].actionName));
    a->setToolTip(a->text());
    connect(a, &QAction::triggered, this, ops[i]);
    actions_[i] = a;
    panel_.bindCommandAdd(static_cast<int>(i), a);
  }
}

IPListEditor::~IPListEditor() = default;

void IPListEditor::setDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

QAction* IPListEditor::commandAction(int index) const { return actions_.at(index); }

void IPListEditor::storeAnchor() {
  const QPoint at = window_ ? window_->pos() : QPoint();
  exchange_.DialogAnchorLeft = at.x() * listui::kTwipsPerPixel;
  exchange_.DialogAnchorTop = at.y() * listui::kTwipsPerPixel;
}

std::unique_ptr<QDialog> IPListEditor::makeDialog(Kind kind) {
  switch (kind) {
    case Kind::Single:
      return std::make_unique<FormAddIP>(exchange_, *prompter_, window_);
    case Kind::Group:
      return std::make_unique<FormAddIPG>(exchange_, *prompter_, window_);
    case Kind::Range:
      break;
  }
  return std::make_unique<FormAddIPR>(exchange_, *prompter_, window_);
}

DialogResult IPListEditor::runDialog(QDialog& dialog) {
  auto* entryDialog = qobject_cast<ListEntryDialog*>(&dialog);
  if (entryDialog) entryDialog->activate();
  open_ = &dialog;
  applyRunState();
  runner_(dialog);
  open_ = nullptr;
  if (entryDialog) return entryDialog->result();
  return {};
}

std::optional<ListEntry> IPListEditor::showForEntry(QDialog& dialog, bool& done) {
  const DialogResult result = runDialog(dialog);
  done = result.ending == DialogResult::Ending::Left ||
         result.ending == DialogResult::Ending::TestNow;
  if (result.ending == DialogResult::Ending::TestNow) requestTestNow(result.entry);
  if (done || result.ending == DialogResult::Ending::Nothing) return std::nullopt;
  return withTitle(result.entry);
}

void IPListEditor::setRunActive(bool active) {
  runActive_ = active;
  applyRunState();
}

void IPListEditor::applyRunState() {
  // A test-now run cannot start beside a running one; a button that did
  // nothing would leave its entry behind to replace the next selection.
  QPushButton* pingNow = nullptr;
  if (auto* d = qobject_cast<FormAddIP*>(open_)) pingNow = d->Command3();
  if (auto* d = qobject_cast<FormAddIPG*>(open_)) pingNow = d->Command4();
  if (pingNow) pingNow->setEnabled(!runActive_);
}

void IPListEditor::requestTestNow(const ListEntry& entry) {
  if (entry.kind == ListEntryKind::Range)
    Q_EMIT scanRequested(entry);
  else
    Q_EMIT pingTestRequested(entry);
}

// First ListIP item showing `text`, ignoring case; -1 when none.
int IPListEditor::findItem(const std::string& text, int skip) const {
  const QString wanted = TextOfBytes(text);
  QListWidget* list = panel_.ListIP();
  for (int i = 0; i < list->count(); ++i)
    if (i != skip && list->item(i)->text().compare(wanted, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

ListEntry IPListEditor::withTitle(ListEntry entry) {
  if (entry.title.empty() && entry.kind == ListEntryKind::Group) entry.title = "IP_Group";
  if (entry.title.empty() && entry.kind == ListEntryKind::Range) entry.title = "IP_Range";
  return entry;
}

void IPListEditor::addLoop(Kind kind) {
  storeAnchor();
  exchange_.EditOriginal.clear();
  const std::unique_ptr<QDialog> dialog = makeDialog(kind);
  while (true) {
    bool done = false;
    const std::optional<ListEntry> entry = showForEntry(*dialog, done);
    if (done) return;
    if (!entry) continue;
    const bool single = kind == Kind::Single;
    const std::string& key = entry->title;  // the target, or the title
    if (findItem(key) >= 0) {
      exchange_.DialogStatus = existedText(single, key);
      continue;
    }
    const std::string line = formatListEntry(*entry);
    std::vector<std::string> lines = currentLines();
    lines.push_back(line);
    // After a failed rewrite the failure has been shown; the dialog comes
    // back without a status line, its fields as typed.
    if (rewrite(lines, line)) exchange_.DialogStatus = "'" + key + "' has been added to the list.";
  }
}

std::vector<std::string> IPListEditor::currentLines() const {
  std::vector<std::string> lines = store_.lines();
  // An empty list is one empty element; writing it would end the file at once.
  std::erase_if(lines, [](const std::string& l) { return l.empty(); });
  return lines;
}

bool IPListEditor::rewrite(const std::vector<std::string>& lines, const std::string& current,
                           int editedRow) {
  const bool ok = store_.rewrite(lines);
  // The store reloaded either way; an edited entry keeps its highlight.
  if (ok && editedRow >= 0)
    panel_.showEntries(store_.lines(), editedRow, lines[static_cast<size_t>(editedRow)]);
  else
    panel_.showEntries(store_.lines());
  if (ok && !current.empty()) {
    for (int i = 0; i < panel_.ListIP()->count(); ++i) {
      if (panel_.entryLine(i) == current) {
        panel_.setCurrentIndex(i);
        break;
      }
    }
  }
  panel_.syncSelectionSummary();
  return ok;
}

void IPListEditor::AddSingle() { addLoop(Kind::Single); }
void IPListEditor::AddGroup() { addLoop(Kind::Group); }
void IPListEditor::AddRange() { addLoop(Kind::Range); }

void IPListEditor::EditEntry() {
  const int row = panel_.currentIndex();
  if (row < 0 || panel_.currentText().isEmpty()) return;
  std::vector<std::string> lines = currentLines();
  if (row >= static_cast<int>(lines.size())) return;
  storeAnchor();
  exchange_.EditOriginal = lines[static_cast<size_t>(row)];
  const ListEntryKind edited = parseListEntry(exchange_.EditOriginal).kind;
  const Kind kind = edited == ListEntryKind::Single  ? Kind::Single
                    : edited == ListEntryKind::Group ? Kind::Group
                                                     : Kind::Range;
  const std::unique_ptr<QDialog> dialog = makeDialog(kind);
  while (true) {
    exchange_.EditMode = true;
    // The stored list is untouched until a save, so leaving keeps the
    // original line even after a refused title.
    bool done = false;
    const std::optional<ListEntry> entry = showForEntry(*dialog, done);
    if (done) return;
    if (!entry) continue;
    const std::string& key = entry->title;  // the target, or the title
    if (kind == Kind::Single) {
      const int found = findItem(key);
      if (found == row) return;  // the same entry, perhaps in another case
      if (found >= 0) {
        exchange_.DialogStatus = existedText(true, key);
        continue;
      }
    } else if (findItem(key, row) >= 0) {
      exchange_.DialogStatus = existedText(false, key);
      continue;
    }
    // An entry saved with the text it showed keeps its bytes, so that a line
    // from a single-byte list is not rewritten as UTF-8 unasked.
    std::string& line = lines[static_cast<size_t>(row)];
    if (std::string typed = formatListEntry(*entry); TextOfBytes(typed) != TextOfBytes(line))
      line = std::move(typed);
    rewrite(lines, line, row);
    return;
  }
}

void IPListEditor::DeleteEntries() {
  QListWidget* list = panel_.ListIP();
  const std::vector<int> selected = panel_.selectedIndices();
  QString listed;
  for (size_t i = 0; i < selected.size() && i < kListedForDelete; ++i)
    listed += QStringLiteral("\r\n    ") + list->item(selected[i])->text();
  if (selected.size() > kListedForDelete) listed += QStringLiteral("\r\n    ......");

  int remembered = panel_.currentIndex();
  std::vector<bool> drop(static_cast<size_t>(list->count()), false);
  QString question;
  if (selected.empty()) {
    if (panel_.currentText().isEmpty()) {
      remembered = -1;
    } else {
      drop[static_cast<size_t>(remembered)] = true;
      question = QStringLiteral("Are you sure to delete the item '") + panel_.currentText() +
                 QStringLiteral("'?");
    }
  } else {
    remembered = selected.back();
    for (int i : selected) drop[static_cast<size_t>(i)] = true;
    question = QStringLiteral("Are you sure to delete %1 seleted items ?").arg(selected.size()) +
               QStringLiteral("\r\n") + listed;
  }
  if (!question.isEmpty() &&
      prompter_->message(question, QStringLiteral("Delete IP"), IPrompter::Icon::Information,
                         IPrompter::Buttons::YesNo) == IPrompter::Answer::Yes) {
    const std::vector<std::string> lines = currentLines();
    std::vector<std::string> kept;
    for (size_t i = 0; i < lines.size(); ++i)
      if (i >= drop.size() || !drop[i]) kept.push_back(lines[i]);
    rewrite(kept, {});
  }
  if (remembered >= 0) panel_.setCurrentIndex(std::min(remembered, list->count() - 1));
  panel_.syncSelectionSummary();
}

}  // namespace sondrel
