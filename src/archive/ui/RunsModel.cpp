#include "archive/ui/RunsModel.h"

#include "archive/RunTexts.h"
#include "core/ping/RunRecords.h"

namespace sondrel {
namespace {

RunColumn SortedBy(int column) {
  switch (column) {
    case RunsModel::Ended:
      return RunColumn::End;
    case RunsModel::Duration:
      return RunColumn::Duration;
    case RunsModel::Targets:
    case RunsModel::FirstTargets:
      return RunColumn::Targets;
    case RunsModel::Sent:
      return RunColumn::Sent;
    case RunsModel::Lost:
      return RunColumn::Lost;
    case RunsModel::LossRate:
      return RunColumn::LossRate;
    case RunsModel::RanBy:
      return RunColumn::Origin;
    case RunsModel::EndedBy:
      return RunColumn::Ending;
    case RunsModel::Pinned:
      return RunColumn::Pinned;
    default:
      return RunColumn::Start;
  }
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

RunsModel::RunsModel(QObject* parent) : QAbstractTableModel(parent) {}

void RunsModel::setArchive(RunArchive* archive) {
  archive_ = archive;
  reload();
}

void RunsModel::setFilter(const RunFilter& filter) {
  filter_ = filter;
  reload();
}

void RunsModel::fail(const Error& error) {
  problem_ = Text(error.message);
  Q_EMIT failed(problem_);
}

void RunsModel::reload() {
  beginResetModel();
  rows_.clear();
  total_ = 0;
  problem_.clear();
  if (archive_) {
    if (auto counted = archive_->countRuns(filter_); !counted) {
      fail(counted.error());
    } else if (auto page = archive_->listRuns(filter_, 0, kPage, order_); !page) {
      fail(page.error());
    } else {
      total_ = counted.value();
      rows_ = std::move(page.value());
      // Runs begun since the count are read with the next page.
      total_ = std::max<std::int64_t>(total_, static_cast<std::int64_t>(rows_.size()));
    }
  }
  endResetModel();
}

const RunSummary* RunsModel::runAt(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)] : nullptr;
}

int RunsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RunsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

bool RunsModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && archive_ && static_cast<std::int64_t>(rows_.size()) < total_;
}

void RunsModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  auto page = archive_->listRuns(filter_, static_cast<std::int64_t>(rows_.size()), kPage, order_);
  if (!page) {
    total_ = static_cast<std::int64_t>(rows_.size());  // no endless retries from the view
    return fail(page.error());
  }
  if (page.value().empty()) {
    total_ = static_cast<std::int64_t>(rows_.size());  // runs deleted since the count
    return;
  }
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.value().size()) - 1);
  for (RunSummary& r : page.value()) rows_.push_back(std::move(r));
  endInsertRows();
}

void RunsModel::sort(int column, Qt::SortOrder order) {
  order_ = {SortedBy(column), order == Qt::AscendingOrder};
  reload();
}

QVariant RunsModel::data(const QModelIndex& index, int role) const {
  const RunSummary* run = index.isValid() ? runAt(index.row()) : nullptr;
  if (!run) return {};
  if (role == kIdRole) return QVariant::fromValue<qlonglong>(run->id);
  if (role == Qt::TextAlignmentRole) {
    switch (index.column()) {
      case Duration:
      case Targets:
      case Sent:
      case Lost:
      case LossRate:
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      default:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
  }
  if (role == Qt::ToolTipRole && index.column() == FirstTargets) return Text(RunTargetsText(*run));
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case Started:
      return Text(run->startLocal);
    case Ended:
      return Text(run->endLocal);
    case Duration:
      return Text(RunDurationText(run->durationUs));
    case Targets:
      return run->targetCount;
    case FirstTargets:
      return Text(RunTargetsText(*run));
    case Sent:
      return QVariant::fromValue<qlonglong>(run->sent);
    case Lost:
      return QVariant::fromValue<qlonglong>(run->lost);
    case LossRate:
      return Text(FormatLossRate(run->sent, run->lost));
    case RanBy:
      return QString::fromLatin1(RunOriginText(run->origin));
    case EndedBy:
      return QString::fromLatin1(RunEndingText(run->ending));
    case Pinned:
      return run->pinned ? QStringLiteral("pinned") : QString();
    default:
      return {};
  }
}

QVariant RunsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Started", "Ended",     "Duration", "Targets", "First targets",
                                                "Sent",    "Lost",      "Loss rate", "Ran by", "Ended by",
                                                "Kept"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

}  // namespace sondrel
