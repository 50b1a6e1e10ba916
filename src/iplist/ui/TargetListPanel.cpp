#include "iplist/ui/TargetListPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>
#include <utility>

#include "core/common/AddressHelpers.h"
#include "core/iplist/IPListFile.h"
#include "core/iplist/ListEntry.h"
#include "core/iplist/Targets.h"
#include "iplist/ui/DialogCommon.h"
#include "iplist/ui/ListCommands.h"
#include "text/TextBytes.h"

namespace sondrel {

using listui::kListCommands;
using listui::Px;

namespace {
constexpr int kDetailLeftTwips = 180;
constexpr int kDetailTopTwips = 2820;
constexpr int kDetailWidthTwips = 4600;


QLineEdit* captionBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setReadOnly(true);
  box->setFrame(false);
  box->setFocusPolicy(Qt::NoFocus);
  return box;
}

const std::string kNoLine;
}  // namespace

struct TargetListPanel::Ui {
  QFrame* picture1 = nullptr;
  QListWidget* listIP = nullptr;
  QLineEdit* textPing = nullptr;
  QCheckBox* checkReset = nullptr;
  std::array<QPushButton*, 5> commandAdd{};
  std::array<std::pair<QMetaObject::Connection, QMetaObject::Connection>, 5> commandBindings{};
  QFrame* pictureShowIP = nullptr;
  QLineEdit* textShowIPsT = nullptr;
  QLineEdit* textShowIPsT2 = nullptr;
  QListWidget* textShowIPs = nullptr;
  QPushButton* command18 = nullptr;
  QAction* mnuReset = nullptr;
};

TargetListPanel::TargetListPanel(QWidget* parent) : QWidget(parent), ui_(new Ui) {
  setObjectName(QStringLiteral("TargetListPanel"));

  ui_->checkReset = new QCheckBox(QStringLiteral("All"), this);
  ui_->checkReset->setObjectName(QStringLiteral("CheckReset"));
  ui_->checkReset->setToolTip(QStringLiteral("Select all items"));
  ui_->textPing = new QLineEdit(this);
  ui_->textPing->setObjectName(QStringLiteral("TextPing"));
  ui_->textPing->installEventFilter(this);

  ui_->picture1 = new QFrame(this);
  ui_->picture1->setObjectName(QStringLiteral("Picture1_0"));
  ui_->listIP = new QListWidget(ui_->picture1);
  ui_->listIP->setObjectName(QStringLiteral("ListIP"));
  // A click toggles one item, so that several entries can be picked by mouse.
  ui_->listIP->setSelectionMode(QAbstractItemView::MultiSelection);
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(0);
  for (int i = 0; i < 5; ++i) {
    auto* b = new QPushButton(QString::fromLatin1(kListCommands[i].buttonCaption), ui_->picture1);
    b->setObjectName(QStringLiteral("CommandAdd_%1").arg(i));
    b->setToolTip(QString::fromLatin1(kListCommands[i].text));
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedHeight(Px(kListCollapsedTwips) / 5);  // the five fit beside the short list
    buttons->addWidget(b);
    ui_->commandAdd[i] = b;
  }
  auto* inner = new QHBoxLayout(ui_->picture1);
  inner->setContentsMargins(0, 0, 0, 0);
  inner->addWidget(ui_->listIP, 1, Qt::AlignTop);
  inner->addLayout(buttons);

  auto* top = new QHBoxLayout;
  top->addWidget(ui_->checkReset);
  top->addWidget(ui_->textPing, 1);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addLayout(top);
  outer->addWidget(ui_->picture1);
  outer->addStretch(1);

  // The detail pop-up floats; until setDetailHost it lies over this panel.
  ui_->pictureShowIP = new QFrame(this);
  ui_->pictureShowIP->setObjectName(QStringLiteral("PictureShowIP"));
  ui_->pictureShowIP->setFrameShape(QFrame::Box);
  ui_->pictureShowIP->setAutoFillBackground(true);
  ui_->textShowIPsT = captionBox("TextShowIPsT", ui_->pictureShowIP);
  ui_->textShowIPsT2 = captionBox("TextShowIPsT2", ui_->pictureShowIP);
  ui_->textShowIPs = new QListWidget(ui_->pictureShowIP);
  ui_->textShowIPs->setObjectName(QStringLiteral("TextShowIPs"));
  ui_->command18 = new QPushButton(QStringLiteral("X"), ui_->pictureShowIP);
  ui_->command18->setObjectName(QStringLiteral("Command18"));
  ui_->command18->setToolTip(QStringLiteral("Close"));
  ui_->command18->setFixedWidth(Px(360));
  auto* head = new QHBoxLayout;
  head->addWidget(ui_->textShowIPsT, 1);
  head->addWidget(ui_->command18);
  auto* detail = new QVBoxLayout(ui_->pictureShowIP);
  detail->addLayout(head);
  detail->addWidget(ui_->textShowIPsT2);
  detail->addWidget(ui_->textShowIPs, 1);
  ui_->pictureShowIP->setFixedWidth(Px(kDetailWidthTwips));
  ui_->pictureShowIP->hide();

  ui_->mnuReset = new QAction(QStringLiteral("Reset all checked Checkbox"), this);
  ui_->mnuReset->setObjectName(QStringLiteral("mnuReset"));

  setListExpanded(false);

  connect(ui_->listIP, &QListWidget::itemClicked, this, [this] { ListIP_Click(); });
  // Keyboard selection (Space, Ctrl+A) keeps the summary right as clicks do.
  connect(ui_->listIP, &QListWidget::itemSelectionChanged, this, [this] {
    if (!selectionUpdating_ && ui_->listIP->hasFocus()) UpdateSelectionSummary();
  });
  connect(ui_->checkReset, &QCheckBox::clicked, this, [this] { CheckReset_Click(); });
  connect(ui_->mnuReset, &QAction::triggered, this, [this] { mnuReset_Click(); });
  connect(ui_->command18, &QPushButton::clicked, this, [this] { Command18_Click(); });
  connect(ui_->textShowIPs, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { TextShowIPs_Click(ui_->textShowIPs->row(item)); });
  connect(ui_->textPing, &QLineEdit::textChanged, this, [this] { TextPing_Change(); });
  connect(ui_->textPing, &QLineEdit::returnPressed, this, [this] { Q_EMIT startRequested(); });
}

TargetListPanel::~TargetListPanel() { delete ui_; }

int TargetListPanel::groupDetailHeightTwips(int members) {
  return std::min((members + 1) * 190 + 1200, kGroupDetailMaxTwips);
}

QFrame* TargetListPanel::Picture1() const { return ui_->picture1; }
QListWidget* TargetListPanel::ListIP() const { return ui_->listIP; }
QLineEdit* TargetListPanel::TextPing() const { return ui_->textPing; }
QCheckBox* TargetListPanel::CheckReset() const { return ui_->checkReset; }
QPushButton* TargetListPanel::CommandAdd(int index) const { return ui_->commandAdd.at(index); }
QFrame* TargetListPanel::PictureShowIP() const { return ui_->pictureShowIP; }
QLineEdit* TargetListPanel::TextShowIPsT() const { return ui_->textShowIPsT; }
QLineEdit* TargetListPanel::TextShowIPsT2() const { return ui_->textShowIPsT2; }
QListWidget* TargetListPanel::TextShowIPs() const { return ui_->textShowIPs; }
QPushButton* TargetListPanel::Command18() const { return ui_->command18; }
QAction* TargetListPanel::resetAction() const { return ui_->mnuReset; }

void TargetListPanel::bindCommandAdd(int index, QAction* action) {
  QPushButton* button = ui_->commandAdd.at(index);
  // One action per button: a later binding replaces the earlier one, so a
  // click never runs an operation twice.
  auto& bound = ui_->commandBindings.at(index);
  QObject::disconnect(bound.first);
  QObject::disconnect(bound.second);
  bound.first = connect(button, &QPushButton::clicked, action, &QAction::trigger);
  auto follow = [button, action] { button->setEnabled(action->isEnabled()); };
  bound.second = connect(action, &QAction::changed, button, follow);
  follow();
}

void TargetListPanel::setDetailHost(QWidget* host) {
  const bool shown = ui_->pictureShowIP->isVisible();
  ui_->pictureShowIP->setParent(host ? host : this);
  ui_->pictureShowIP->setVisible(shown);
}

void TargetListPanel::setNeutralFocus(QWidget* widget) { neutralFocus_ = widget; }

void TargetListPanel::setToolTipTargets(std::vector<QWidget*> pingButtons,
                                        std::vector<QWidget*> scanButtons) {
  pingTipTargets_ = std::move(pingButtons);
  scanTipTargets_ = std::move(scanButtons);
  TextPing_Change();
}

void TargetListPanel::setRunActive(bool active) { runActive_ = active; }

void TargetListPanel::setListExpanded(bool expanded) {
  expanded_ = expanded;
  if (expanded) hideEntryDetails();
  ui_->listIP->setFixedHeight(Px(expanded ? kListExpandedTwips : kListCollapsedTwips));
  ui_->picture1->setFixedHeight(
      Px(expanded ? kContainerExpandedTwips : kContainerCollapsedTwips));
  if (expanded) raise();
}

bool TargetListPanel::isListExpanded() const { return expanded_; }

void TargetListPanel::showEntries(const std::vector<std::string>& ipEntries, int editedRow,
                                  const std::string& editedLine) {
  // The entries highlighted before stay highlighted where they still exist
  // (an edited one under its new line), and so does the current entry, so
  // that the selection never drifts from what the summary says.
  std::multiset<std::string> wasSelected;
  for (int row : selectedIndices())
    wasSelected.insert(row == editedRow ? editedLine : entryLine(row));
  const int currentRow = currentIndex();
  const std::string wasCurrent = currentRow == editedRow ? editedLine : entryLine(currentRow);

  lines_.clear();
  setSelectionUpdating(true);
  ui_->listIP->clear();
  int newCurrent = -1;
  for (const std::string& line : ipEntries) {
    if (line.empty()) continue;  // the empty list's placeholder element
    lines_.push_back(line);
    auto* item = new QListWidgetItem(TextOfBytesLike(line, EntryDisplayName(line)), ui_->listIP);
    if (auto it = wasSelected.find(line); it != wasSelected.end()) {
      item->setSelected(true);
      wasSelected.erase(it);
    }
    if (newCurrent < 0 && currentRow >= 0 && line == wasCurrent)
      newCurrent = static_cast<int>(lines_.size()) - 1;
  }
  setCurrentIndex(newCurrent);
  setSelectionUpdating(false);
  hideEntryDetails();
  syncSelectionSummary();
}

void TargetListPanel::syncSelectionSummary() {
  if (!selectedIndices().empty() || currentIndex() >= 0) {
    UpdateSelectionSummary();
    return;
  }
  // Nothing picked in the list: a typed target stays, a stale summary goes.
  setSelectionUpdating(true);
  if (ui_->textPing->text().startsWith(QStringLiteral("Selected "))) ui_->textPing->clear();
  ui_->checkReset->setChecked(false);
  setSelectionUpdating(false);
}

const std::string& TargetListPanel::entryLine(int index) const {
  if (index < 0 || index >= static_cast<int>(lines_.size())) return kNoLine;
  return lines_[static_cast<size_t>(index)];
}

int TargetListPanel::currentIndex() const {
  const QModelIndex current = ui_->listIP->selectionModel()->currentIndex();
  return current.isValid() ? current.row() : -1;
}

QString TargetListPanel::currentText() const {
  const int row = currentIndex();
  return row < 0 ? QString() : ui_->listIP->item(row)->text();
}

std::vector<int> TargetListPanel::selectedIndices() const {
  std::vector<int> rows;
  for (int i = 0; i < ui_->listIP->count(); ++i)
    if (ui_->listIP->item(i)->isSelected()) rows.push_back(i);
  return rows;
}

QString TargetListPanel::pingText() const { return ui_->textPing->text(); }

void TargetListPanel::selectCurrentItem() {
  const int row = currentIndex();
  if (row < 0) return;
  setSelectionUpdating(true);
  ui_->listIP->item(row)->setSelected(true);
  setSelectionUpdating(false);
  UpdateSelectionSummary();
}

void TargetListPanel::setCurrentIndex(int index) {
  QItemSelectionModel* model = ui_->listIP->selectionModel();
  if (index < 0 || index >= ui_->listIP->count()) {
    model->clearCurrentIndex();
    return;
  }
  model->setCurrentIndex(ui_->listIP->model()->index(index, 0), QItemSelectionModel::NoUpdate);
  ui_->listIP->scrollToItem(ui_->listIP->item(index));
}

void TargetListPanel::clearSelection() {
  setSelectionUpdating(true);
  ui_->listIP->selectionModel()->clearSelection();
  setSelectionUpdating(false);
}

void TargetListPanel::fillListState(CollectRequest& request) const {
  request.currentIndex = currentIndex();
  request.currentText = BytesOfText(currentText());
  request.textPing = BytesOfText(pingText());
  request.selected = selectedIndices();
  request.entries = lines_;
}

void TargetListPanel::setSelectionUpdating(bool on) { selectionUpdating_ = on; }

void TargetListPanel::selectAll(bool selected) {
  setSelectionUpdating(true);
  if (selected)
    ui_->listIP->selectAll();
  else
    ui_->listIP->selectionModel()->clearSelection();
  setSelectionUpdating(false);
}

bool TargetListPanel::SelectionUpdating() const { return selectionUpdating_; }
char TargetListPanel::ShownEntryKind() const { return shownKind_; }
int TargetListPanel::detailHeightTwips() const { return detailHeightTwips_; }

void TargetListPanel::ShowEntryDetails(const std::string& line) {
  ui_->textShowIPsT->clear();
  ui_->textShowIPsT2->clear();
  ui_->textShowIPs->clear();
  const ListEntry entry = parseListEntry(line);
  if (entry.kind != ListEntryKind::Group && entry.kind != ListEntryKind::Range) {
    hideEntryDetails();
    return;
  }
  const auto decode = [&line](const std::string& field) { return TextOfBytesLike(line, field); };
  ui_->textShowIPsT2->setText(decode(entry.title));
  if (entry.kind == ListEntryKind::Group) {
    ui_->textShowIPsT->setText(QStringLiteral("Current selected IP Group:"));
    for (const std::string& member : entry.members) ui_->textShowIPs->addItem(decode(member));
    detailHeightTwips_ = groupDetailHeightTwips(static_cast<int>(entry.members.size()));
  } else {
    ui_->textShowIPsT->setText(QStringLiteral("Current selected IP Range:"));
    ui_->textShowIPs->addItem(QString());
    ui_->textShowIPs->addItem(decode(entry.first()) + QStringLiteral("  -  ") +
                              decode(entry.last()));
    detailHeightTwips_ = kRangeDetailTwips;
  }
  shownKind_ = static_cast<char>(entry.kind);
  ui_->pictureShowIP->move(Px(kDetailLeftTwips), Px(kDetailTopTwips));
  ui_->pictureShowIP->setFixedHeight(Px(detailHeightTwips_));
  ui_->pictureShowIP->show();
  ui_->pictureShowIP->raise();
}

void TargetListPanel::hideEntryDetails() { ui_->pictureShowIP->hide(); }

void TargetListPanel::UpdateSelectionSummary() {
  const size_t count = selectedIndices().size();
  setSelectionUpdating(true);
  if (count == 0) {
    ui_->textPing->setText(currentText());
    ui_->checkReset->setChecked(false);
  } else {
    ui_->textPing->setText(QStringLiteral("Selected %1 Items").arg(count));
    // "All" says that every entry is picked, not that some are.
    ui_->checkReset->setChecked(count == static_cast<size_t>(ui_->listIP->count()));
  }
  setSelectionUpdating(false);
}

void TargetListPanel::ListIP_Click() {
  const int row = currentIndex();
  if (row < 0 || ui_->listIP->item(row)->text().isEmpty()) return;
  if (!runActive_ && !expanded_) ShowEntryDetails(entryLine(row));
  UpdateSelectionSummary();
}

void TargetListPanel::CheckReset_Click() {
  if (selectionUpdating_) return;
  selectAll(ui_->checkReset->isChecked());
  // The target box follows, so it never names a stale selection.
  UpdateSelectionSummary();
  if (neutralFocus_) neutralFocus_->setFocus(Qt::OtherFocusReason);
  hideEntryDetails();
}

void TargetListPanel::mnuReset_Click() {
  setSelectionUpdating(true);
  ui_->checkReset->setChecked(false);
  ui_->listIP->selectionModel()->clearSelection();
  setSelectionUpdating(false);
  UpdateSelectionSummary();
}

void TargetListPanel::Command18_Click() { hideEntryDetails(); }

void TargetListPanel::TextShowIPs_Click(int row) {
  if (shownKind_ != 'B' || row < 0 || row >= ui_->textShowIPs->count()) return;
  const QString member = ui_->textShowIPs->item(row)->text();
  if (member.isEmpty() || ui_->checkReset->isChecked()) return;
  ui_->textPing->setText(TextOfBytes(StripNote(BytesOfText(member))));
  clearSelection();
  setCurrentIndex(-1);
}

void TargetListPanel::TextPing_Change() {
  const QString text = ui_->textPing->text();
  const QString pingTip = QStringLiteral("Run Ping Test on the '") + text + QStringLiteral("'.");
  const QString scanTip =
      QStringLiteral("Quickly scan the ip addresses of '") + text + QStringLiteral("'. ");
  for (QWidget* w : pingTipTargets_) w->setToolTip(pingTip);
  for (QWidget* w : scanTipTargets_) w->setToolTip(scanTip);
}

void TargetListPanel::TextPing_GotFocus() {
  QLineEdit* box = ui_->textPing;
  if (box->text().startsWith(QStringLiteral("Selected"))) {
    box->clear();
  } else {
    box->setSelection(0, 999);
    // A mouse press right after the focus would undo the selection.
    QTimer::singleShot(0, box, [box] { box->selectAll(); });
  }
  setSelectionUpdating(true);
  ui_->listIP->selectionModel()->clearSelection();
  ui_->checkReset->setChecked(false);
  setSelectionUpdating(false);
  setCurrentIndex(-1);
  hideEntryDetails();
}

void TargetListPanel::TextPing_LostFocus() {
  QString text = ui_->textPing->text();
  text.remove(u' ');
  if (text != ui_->textPing->text()) ui_->textPing->setText(text);
  if (text.isEmpty() && ui_->listIP->count() > 0) setCurrentIndex(0);
}

bool TargetListPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->textPing) {
    if (event->type() == QEvent::FocusIn)
      TextPing_GotFocus();
    else if (event->type() == QEvent::FocusOut)
      TextPing_LostFocus();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace sondrel
