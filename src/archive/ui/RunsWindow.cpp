#include "archive/ui/RunsWindow.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace sondrel {
namespace {

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

RunsWindow::RunsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("RunsWindow"));
  setWindowTitle(QStringLiteral("Archived Runs"));
  // As large as it was made for, within the screen (a small screen, or a
  // large scale factor).
  QSize wanted(1120, 520);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(wanted);

  filter_ = Named(new QLineEdit(this), "RunsFilter");
  filter_->setPlaceholderText(QStringLiteral("Target address or label"));
  filter_->setClearButtonEnabled(true);
  fromOn_ = Named(new QCheckBox(QStringLiteral("&From"), this), "RunsFromOn");
  from_ = Named(new QDateEdit(this), "RunsFrom");
  toOn_ = Named(new QCheckBox(QStringLiteral("&To"), this), "RunsToOn");
  to_ = Named(new QDateEdit(this), "RunsTo");
  for (QDateEdit* d : {from_, to_}) {
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    d->setDate(QDate::currentDate());
    d->setEnabled(false);
  }
  connect(fromOn_, &QCheckBox::toggled, from_, &QWidget::setEnabled);
  connect(toOn_, &QCheckBox::toggled, to_, &QWidget::setEnabled);

  auto* filterRow = new QHBoxLayout;
  auto* filterLabel = new QLabel(QStringLiteral("F&ilter:"), this);
  filterLabel->setBuddy(filter_);
  filterRow->addWidget(filterLabel);
  filterRow->addWidget(filter_, 1);
  filterRow->addSpacing(12);
  filterRow->addWidget(fromOn_);
  filterRow->addWidget(from_);
  filterRow->addWidget(toOn_);
  filterRow->addWidget(to_);

  table_ = Named(new QTableView(this), "RunsTable");
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(true);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);

  open_ = Named(new QPushButton(QStringLiteral("&Open"), this), "RunsOpen");
  open_->setToolTip(QStringLiteral("Show the run in the main window as the previous run"));
  pin_ = Named(new QPushButton(QStringLiteral("&Pin"), this), "RunsPin");
  pin_->setToolTip(QStringLiteral("A pinned run is kept whatever its age and the archive's size"));
  delete_ = Named(new QPushButton(QStringLiteral("&Delete"), this), "RunsDelete");
  refresh_ = Named(new QPushButton(QStringLiteral("&Refresh"), this), "RunsRefresh");
  auto* close = Named(new QPushButton(QStringLiteral("Close"), this), "RunsClose");
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  count_ = Named(new QLabel(this), "RunsCount");
  notice_ = Named(new QLabel(this), "RunsNotice");
  notice_->setWordWrap(true);
  notice_->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(count_, 1);
  for (QPushButton* b : {open_, pin_, delete_, refresh_, close}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filterRow);
  layout->addWidget(notice_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
}

}  // namespace sondrel
