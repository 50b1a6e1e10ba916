#include "archive/ui/RunsPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <set>

#include "archive/RunArchive.h"
#include "archive/ui/RunsModel.h"
#include "archive/ui/RunsWindow.h"
#include "core/ports/FileService.h"
#include "monitor/RunMonitor.h"
#include "ports/Prompter.h"

namespace sondrel {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Local midnight of `date`, in µs since the epoch.
std::int64_t MidnightUs(const QDate& date) { return QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch() * 1000; }

}  // namespace

RunsPresenter::RunsPresenter(std::string archivePath, FileService& files, std::shared_ptr<IPrompter> prompter,
                             QWidget* mainWindow, QObject* parent)
    : QObject(parent),
      path_(std::move(archivePath)),
      files_(files),
      prompter_(std::move(prompter)),
      mainWindow_(mainWindow),
      model_(new RunsModel(this)) {}

RunsPresenter::~RunsPresenter() {
  if (loader_.joinable()) loader_.join();
  delete window_.data();
}

RunArchive* RunsPresenter::archive() {
  if (archive_) return archive_.get();
  if (!files_.fileExists(path_)) {
    if (window_) {
      window_->noticeLabel()->setText(QStringLiteral("No run has been archived yet: the archive %1 begins with the first "
                                                     "ping test.")
                                          .arg(Text(path_)));
      window_->noticeLabel()->show();
    }
    return nullptr;
  }
  auto opened = RunArchive::open(files_, path_, ArchiveAccess::Beside);
  if (!opened) {
    tell(Text(opened.error().message));
    return nullptr;
  }
  archive_ = std::move(opened.value());
  if (window_) {
    window_->noticeLabel()->setText(Text(archive_->notice()));
    window_->noticeLabel()->setVisible(!archive_->notice().empty());
  }
  return archive_.get();
}

void RunsPresenter::tell(const QString& text) {
  if (window_) {
    window_->noticeLabel()->setText(text);
    window_->noticeLabel()->show();
  }
}

void RunsPresenter::makeWindow() {
  window_ = new RunsWindow(mainWindow_);
  QTableView* table = window_->table();
  table->setModel(model_);
  table->horizontalHeader()->setSectionResizeMode(RunsModel::FirstTargets, QHeaderView::Stretch);

  connect(model_, &RunsModel::failed, this, &RunsPresenter::tell);
  connect(model_, &QAbstractItemModel::modelReset, this, &RunsPresenter::showCount);
  connect(model_, &QAbstractItemModel::modelReset, this, &RunsPresenter::followSelection);
  connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &RunsPresenter::followSelection);
  connect(table, &QTableView::doubleClicked, this, &RunsPresenter::openSelected);
  connect(window_->filterText(), &QLineEdit::textChanged, this, &RunsPresenter::applyFilter);
  for (QCheckBox* on : {window_->fromOn(), window_->toOn()})
    connect(on, &QCheckBox::toggled, this, &RunsPresenter::applyFilter);
  for (QDateEdit* d : {window_->from(), window_->to()})
    connect(d, &QDateEdit::dateChanged, this, &RunsPresenter::applyFilter);
  connect(window_->openButton(), &QPushButton::clicked, this, &RunsPresenter::openSelected);
  connect(window_->pinButton(), &QPushButton::clicked, this, &RunsPresenter::pinSelected);
  connect(window_->deleteButton(), &QPushButton::clicked, this, &RunsPresenter::deleteSelected);
  connect(window_->refreshButton(), &QPushButton::clicked, this, &RunsPresenter::refresh);
}

void RunsPresenter::showWindow() {
  if (!window_) makeWindow();
  model_->setArchive(archive());
  // Each column as wide as the first page needs; the targets take the rest.
  for (int c = 0; c < RunsModel::kColumns; ++c)
    if (c != RunsModel::FirstTargets) window_->table()->resizeColumnToContents(c);
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void RunsPresenter::refresh() {
  if (!window_ || !window_->isVisible()) return;
  const std::vector<std::int64_t> kept = selectedIds();
  if (!archive_) model_->setArchive(archive());
  else model_->reload();
  // The runs selected before stay selected where they are read again.
  QItemSelectionModel* selection = window_->table()->selectionModel();
  for (int row = 0; row < model_->rowCount(); ++row)
    if (std::find(kept.begin(), kept.end(), model_->runAt(row)->id) != kept.end())
      selection->select(model_->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void RunsPresenter::setRunGoing(bool going) {
  runGoing_ = going;
  if (window_) followSelection();
}

void RunsPresenter::applyFilter() {
  RunFilter f;
  f.text = window_->filterText()->text().trimmed().toStdString();
  if (window_->fromOn()->isChecked()) f.fromUtcUs = MidnightUs(window_->from()->date());
  // The day given is in: up to the next midnight.
  if (window_->toOn()->isChecked()) f.toUtcUs = MidnightUs(window_->to()->date().addDays(1));
  model_->setFilter(f);
}

void RunsPresenter::showCount() {
  if (!window_) return;
  const bool filtered = !model_->filter().text.empty() || model_->filter().fromUtcUs || model_->filter().toUtcUs;
  const qint64 n = model_->total();
  window_->countLabel()->setText(n == 1 ? (filtered ? QStringLiteral("1 run matches") : QStringLiteral("1 run"))
                                        : QStringLiteral("%1 runs%2").arg(n).arg(filtered ? QStringLiteral(" match")
                                                                                           : QString()));
}

std::vector<std::int64_t> RunsPresenter::selectedIds() const {
  std::vector<std::int64_t> ids;
  if (!window_) return ids;
  for (const QModelIndex& i : window_->table()->selectionModel()->selectedRows())
    if (const RunSummary* r = model_->runAt(i.row())) ids.push_back(r->id);
  return ids;
}

void RunsPresenter::followSelection() {
  if (!window_) return;
  const QModelIndexList rows = window_->table()->selectionModel()->selectedRows();
  bool allPinned = !rows.isEmpty();
  for (const QModelIndex& i : rows)
    if (const RunSummary* r = model_->runAt(i.row()); r && !r->pinned) allPinned = false;
  const bool writable = archive_ && !archive_->readOnly();
  window_->openButton()->setEnabled(rows.size() == 1 && !runGoing_ && !loading_);
  window_->openButton()->setToolTip(runGoing_ ? QStringLiteral("A ping test is running: stop it first")
                                              : QStringLiteral("Show the run in the main window as the previous run"));
  window_->pinButton()->setEnabled(!rows.isEmpty() && writable);
  window_->pinButton()->setText(allPinned ? QStringLiteral("Un&pin") : QStringLiteral("&Pin"));
  window_->deleteButton()->setEnabled(!rows.isEmpty() && writable);
}

void RunsPresenter::openSelected() {
  const std::vector<std::int64_t> ids = selectedIds();
  if (ids.size() == 1) openRun(ids.front());
}

void RunsPresenter::openRun(std::int64_t id) {
  if (loading_ || runGoing_) return;
  if (loader_.joinable()) loader_.join();
  loading_ = true;
  if (window_) {
    followSelection();
    window_->setCursor(Qt::BusyCursor);
  }
  // Its own connection: a connection is used by one thread at a time.
  loader_ = std::thread([this, id] {
    auto opened = RunArchive::open(files_, path_, ArchiveAccess::ReadOnly);
    auto loaded = opened ? opened.value()->loadRun(id) : Result<RunData>(opened.error());
    std::shared_ptr<RunData> run;
    QString why;
    if (loaded) {
      run = std::make_shared<RunData>(std::move(loaded.value()));
      run->archiveRun = id;
    } else {
      why = Text(loaded.error().message);
    }
    QMetaObject::invokeMethod(
        this,
        [this, run, why] {
          loading_ = false;
          if (window_) {
            window_->unsetCursor();
            followSelection();
          }
          if (run) {
            Q_EMIT runOpened(run);
          } else if (prompter_) {
            prompter_->message(QStringLiteral("The run could not be opened.") + QStringLiteral("\r\n\r\n") + why,
                               QStringLiteral("Archived Runs"), IPrompter::Icon::Warning);
          }
        },
        Qt::QueuedConnection);
    if (!loaded) return;
    // Then the exact times of its echoes, for the monitor.
    auto figures = FiguresOfArchivedRun(*opened.value(), id, ReadMonitorSettings());
    if (!figures) return;
    auto shared = std::make_shared<MonitorFigures>(std::move(figures.value()));
    QMetaObject::invokeMethod(this, [this, id, shared] { Q_EMIT figuresRead(id, shared); }, Qt::QueuedConnection);
  });
}

void RunsPresenter::pinSelected() {
  RunArchive* a = archive();
  const std::vector<std::int64_t> ids = selectedIds();
  if (!a || ids.empty()) return;
  bool allPinned = true;
  for (const QModelIndex& i : window_->table()->selectionModel()->selectedRows())
    if (const RunSummary* r = model_->runAt(i.row()); r && !r->pinned) allPinned = false;
  for (std::int64_t id : ids) {
    if (auto done = a->setPinned(id, !allPinned); !done) {
      tell(Text(done.error().message));
      break;
    }
  }
  refresh();
}

void RunsPresenter::deleteSelected() {
  RunArchive* a = archive();
  const std::vector<std::int64_t> ids = selectedIds();
  if (!a || ids.empty() || !prompter_) return;
  QString question;
  if (ids.size() == 1) {
    const RunSummary* r = model_->runAt(window_->table()->selectionModel()->selectedRows().front().row());
    question = QStringLiteral("Delete the run started %1 (%2 targets, %3 sent) from the run archive?")
                   .arg(Text(r->startLocal))
                   .arg(r->targetCount)
                   .arg(r->sent);
  } else {
    question = QStringLiteral("Delete these %1 runs from the run archive?").arg(ids.size());
  }
  question += QStringLiteral(" This cannot be undone.");
  if (prompter_->message(question, QStringLiteral("Archived Runs"), IPrompter::Icon::Question,
                         IPrompter::Buttons::YesNo) != IPrompter::Answer::Yes)
    return;
  QStringList failures;
  for (std::int64_t id : ids)
    if (auto done = a->deleteRun(id); !done) failures << Text(done.error().message);
  window_->table()->clearSelection();
  refresh();
  if (!failures.isEmpty())
    prompter_->message(failures.join(QStringLiteral("\r\n")), QStringLiteral("Archived Runs"), IPrompter::Icon::Warning);
}

std::int64_t RunsPresenter::archivedIdOf(const RunData& run) {
  if (run.archiveRun != 0) return run.archiveRun;
  if (RunArchive* a = archive()) {
    if (auto found = a->findRun(run); found && found.value()) return *found.value();
  }
  return 0;
}

QString RunsPresenter::archiveNote(const RunData& run) {
  const QString path = Text(path_);
  const std::int64_t id = archivedIdOf(run);
  if (id == 0) return QStringLiteral("The run archive %1 does not hold this run.").arg(path);
  return QStringLiteral("The run stays in the run archive as run %1: %2").arg(id).arg(path);
}

}  // namespace sondrel
