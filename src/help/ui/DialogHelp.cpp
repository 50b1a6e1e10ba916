#include "help/ui/DialogHelp.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/common/Twips.h"
#include "help/ui/HelpPages.h"

namespace sondrel {

namespace {

constexpr int kPageLeft = 140;  // twips
constexpr int kPageTop = 120;
constexpr int kPageWidth = 760;  // pixels: a screenshot and a column of texts
constexpr int kPageHeight = 300;
constexpr int kShotWidth = 470;

}  // namespace

DialogHelp::DialogHelp(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("DialogHelp"));
  setWindowTitle(QStringLiteral(" How to use?"));
  setModal(false);
  setWindowModality(Qt::NonModal);

  for (int page = 1; page <= kPageCount; ++page) pages_[page] = buildPage(page);

  const int buttonsTop = Px(kPageTop) + kPageHeight + 10;
  commandPre_ = new QToolButton(this);
  commandPre_->setObjectName(QStringLiteral("CommandPre"));
  commandPre_->setArrowType(Qt::LeftArrow);
  commandPre_->setToolTip(QStringLiteral("Previous"));
  commandPre_->setGeometry(Px(kPageLeft), buttonsTop, 40, 28);
  label1_ = new QLabel(QStringLiteral("1 of 7"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setGeometry(Px(kPageLeft) + 44, buttonsTop, 80, 28);
  commandNext_ = new QToolButton(this);
  commandNext_->setObjectName(QStringLiteral("CommandNext"));
  commandNext_->setArrowType(Qt::RightArrow);
  commandNext_->setToolTip(QStringLiteral("Next"));
  commandNext_->setGeometry(Px(kPageLeft) + 128, buttonsTop, 40, 28);
  command1_ = new QPushButton(QStringLiteral("&EXIT"), this);
  command1_->setObjectName(QStringLiteral("Command1"));
  const int exitWidth = std::max(90, command1_->sizeHint().width());
  command1_->setGeometry(Px(kPageLeft) + kPageWidth - exitWidth, buttonsTop, exitWidth, 28);
  setFixedSize(Px(kPageLeft) * 2 + kPageWidth, buttonsTop + 28 + 10);

  connect(commandPre_, &QToolButton::clicked, this, &DialogHelp::CommandPre_Click);
  connect(commandNext_, &QToolButton::clicked, this, &DialogHelp::CommandNext_Click);
  connect(command1_, &QPushButton::clicked, this, &QDialog::close);

  // Loading: beside the main window's left edge, near the top of the screen.
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  const int top = (screen ? screen->availableGeometry().y() : 0) + Px(100);
  move(owner ? owner->frameGeometry().x() : 0, top);
  currentPage_ = 1;
  label1_->setText(QStringLiteral("1 of 7"));
  ShowHelpPage();
}

QFrame* DialogHelp::buildPage(int page) {
  const HelpPage& content = kHelpPages[static_cast<std::size_t>(page - 1)];
  auto* panel = new QFrame(this);
  panel->setObjectName(QString::fromLatin1(content.panel));
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setAutoFillBackground(true);
  panel->resize(kPageWidth, kPageHeight);

  auto* row = new QHBoxLayout(panel);
  auto* shot = new QLabel(panel);
  shot->setObjectName(QStringLiteral("Screenshot"));
  shot->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  const QPixmap pixmap(QString::fromLatin1(content.screenshot));
  if (!pixmap.isNull())
    shot->setPixmap(pixmap.scaled(kShotWidth, kPageHeight - 20, Qt::KeepAspectRatio,
                                  Qt::SmoothTransformation));
  shot->setFixedWidth(kShotWidth);
  row->addWidget(shot);

  auto* column = new QVBoxLayout;
  for (const char* text : content.texts) {
    if (!text) break;
    auto* label = new QLabel(QString::fromUtf8(text), panel);
    label->setObjectName(QStringLiteral("HelpText"));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (text == content.texts.front()) {  // the page's heading
      QFont font = label->font();
      font.setBold(true);
      label->setFont(font);
    }
    column->addWidget(label);
  }
  column->addStretch(1);
  row->addLayout(column, 1);
  panel->hide();
  return panel;
}

void DialogHelp::ShowHelpPage() {
  for (int page = 1; page <= kPageCount; ++page) pages_[page]->hide();
  if (currentPage_ < 1 || currentPage_ > kPageCount) return;
  QFrame* panel = pages_[currentPage_];
  panel->move(Px(kPageLeft), Px(kPageTop));
  panel->show();
  panel->raise();
}

void DialogHelp::showCounter() {
  label1_->setText(QString::number(currentPage_) + QStringLiteral(" of ") + QStringLiteral("7"));
}

void DialogHelp::CommandNext_Click() {
  currentPage_ = static_cast<std::int16_t>(std::min<int>(currentPage_ + 1, kPageCount));
  showCounter();
  ShowHelpPage();
}

void DialogHelp::CommandPre_Click() {
  currentPage_ = static_cast<std::int16_t>(std::max<int>(currentPage_ - 1, 1));
  showCounter();
  ShowHelpPage();
}

}  // namespace sondrel
