#include "command/ui/PictureDOS.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace sondrel {
namespace {

struct Button {
  const char* caption;
  const char* tip;
};
// Short captions for a narrow row; the tooltips carry the full texts.
constexpr std::array<Button, 7> kButtons = {{
    {"Command", "Select a DOS cammand"},
    {"IP", "Select a Ip Address"},
    {"Run", "Run the DOS Command"},
    {"Sort", "Sort the DOS command list"},
    {"Add", "Add the current DOS command to the list"},
    {"Manage", "Manage the DOS commands list"},
    {"X", "Close"},
}};

constexpr int kGap = 4;
constexpr int kRowHeight = 24;

}  // namespace

PictureDOS::PictureDOS(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PictureDOS"));
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);

  textCmd_ = new QLineEdit(this);
  textCmd_->setObjectName(QStringLiteral("TextCmd"));
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    auto* b = new QPushButton(QString::fromLatin1(kButtons[i].caption), this);
    b->setObjectName(QStringLiteral("CommandDOS_%1").arg(i));
    b->setToolTip(QString::fromLatin1(kButtons[i].tip));
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

void PictureDOS::placeControls() {
  const int w = std::max(width(), 200) - 2 * kGap;
  int y = kGap;
  const int closeWidth = kRowHeight;
  textCmd_->setGeometry(kGap, y, w - closeWidth - kGap, kRowHeight);
  commandDOS_[6]->setGeometry(kGap + w - closeWidth, y, closeWidth, kRowHeight);
  y += kRowHeight + kGap;
  const int buttonWidth = (w - 5 * kGap) / 6;
  for (int i = 0; i < 6; ++i)
    commandDOS_[static_cast<std::size_t>(i)]->setGeometry(kGap + i * (buttonWidth + kGap), y,
                                                          buttonWidth, kRowHeight);
  y += kRowHeight + kGap;
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
