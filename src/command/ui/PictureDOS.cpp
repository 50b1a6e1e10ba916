#include "command/ui/PictureDOS.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <utility>
#include <vector>

namespace sondrel {
namespace {

// The buttons' texts, in the row's order; the last, beside the command
// line, is the panel's close box.
constexpr std::array<const char*, 7> kCaptions = {"Select a DOS cammand",
                                                   "Select a Ip Address",
                                                   "Run the DOS Command",
                                                   "Sort the DOS command list",
                                                   "Add the current DOS command to the list",
                                                   "Manage the DOS commands list",
                                                   "X"};

constexpr int kGap = 4;
constexpr int kRowHeight = 24;

}  // namespace

PictureDOS::PictureDOS(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PictureDOS"));
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);

  textCmd_ = new QLineEdit(this);
  textCmd_->setObjectName(QStringLiteral("TextCmd"));
  for (std::size_t i = 0; i < kCaptions.size(); ++i) {
    auto* b = new QPushButton(QString::fromLatin1(kCaptions[i]), this);
    b->setObjectName(QStringLiteral("CommandDOS_%1").arg(i));
    b->setToolTip(i == 6 ? QStringLiteral("Close") : b->text());
    b->setAutoDefault(false);
    commandDOS_[i] = b;
  }
  checkAutoAdd_ = new QCheckBox(QStringLiteral("add to list"), this);
  checkAutoAdd_->setObjectName(QStringLiteral("CheckAutoAdd"));
  checkAutoAdd_->setChecked(true);

  listDOSHis_ = new QListWidget(this);
  listDOSHis_->setObjectName(QStringLiteral("ListDOSHis"));
  listDOSHis_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  listDOSHis_->setUniformItemSizes(true);  // long histories lay out at once
  listDOSHis_->setMouseTracking(true);

  listCmd_ = new QListWidget(this);
  listCmd_->setObjectName(QStringLiteral("ListCmd"));
  listCmd_->hide();
  listIP2_ = new QListWidget(this);
  listIP2_->setObjectName(QStringLiteral("ListIP2"));
  listIP2_->hide();
  placeControls();
}

void PictureDOS::showPicker(QListWidget* list) {
  list->show();
  list->raise();
}

void PictureDOS::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  placeControls();
}

// The width a button needs for its caption in its present font.
int PictureDOS::buttonWidth(QPushButton* button) const {
  button->ensurePolished();
  return button->sizeHint().width();
}

int PictureDOS::placeButtonRows(int left, int top, int width) {
  constexpr double kSmallestPoints = 6.0;
  // Buttons go side by side at their captions' widths and wrap to the next
  // row; each row is shared out over the whole width. A caption wider than
  // the panel gets a smaller font rather than being cut.
  std::vector<std::pair<QPushButton*, int>> row;
  int y = top;
  const auto placeRow = [&] {
    if (row.empty()) return;
    int used = 0;
    for (const auto& [b, w] : row) used += w;
    const int spare = width - used - kGap * static_cast<int>(row.size() - 1);
    int x = left;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const int share = spare / static_cast<int>(row.size()) +
                        (static_cast<int>(i) < spare % static_cast<int>(row.size()) ? 1 : 0);
      const int w = row[i].second + share;
      row[i].first->setGeometry(x, y, w, kRowHeight);
      x += w + kGap;
    }
    y += kRowHeight + kGap;
    row.clear();
  };
  int x = left;
  for (std::size_t i = 0; i < 6; ++i) {
    QPushButton* b = commandDOS_[i];
    b->setFont(font());
    int w = buttonWidth(b);
    for (QFont smaller = b->font(); w > width && smaller.pointSizeF() > kSmallestPoints;) {
      smaller.setPointSizeF(std::max(kSmallestPoints, smaller.pointSizeF() - 0.5));
      b->setFont(smaller);
      w = buttonWidth(b);
    }
    w = std::min(w, width);
    if (!row.empty() && x + w > left + width) {
      placeRow();
      x = left;
    }
    row.emplace_back(b, w);
    x += w + kGap;
  }
  placeRow();
  return y;
}

void PictureDOS::placeControls() {
  const int w = std::max(width(), 200) - 2 * kGap;
  int y = kGap;
  const int closeWidth = kRowHeight;
  textCmd_->setGeometry(kGap, y, w - closeWidth - kGap, kRowHeight);
  commandDOS_[6]->setGeometry(kGap + w - closeWidth, y, closeWidth, kRowHeight);
  y = placeButtonRows(kGap, y + kRowHeight + kGap, w);
  checkAutoAdd_->setGeometry(kGap, y, w, kRowHeight);
  y += kRowHeight + kGap;
  const int listHeight = std::max(height() - y - kGap, 40);
  listDOSHis_->setGeometry(kGap, y, w, listHeight);
  // The pickers drop down from the command line over the history.
  const int pickerTop = kGap + kRowHeight;
  const int pickerHeight = std::max(height() - pickerTop - kGap, 40);
  listCmd_->setGeometry(kGap, pickerTop, w / 2, pickerHeight);
  listIP2_->setGeometry(kGap + w / 4, pickerTop, w / 2, pickerHeight);
}

}  // namespace sondrel
