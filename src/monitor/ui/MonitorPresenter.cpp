#include "monitor/ui/MonitorPresenter.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableView>
#include <cmath>
#include <limits>

#include "core/ports/Clock.h"
#include "core/ports/FileService.h"
#include "archive/RunArchive.h"
#include "monitor/RunMonitor.h"
#include "monitor/ui/LatencyChart.h"
#include "monitor/ui/MonitorModels.h"
#include "ports/Prompter.h"
#include "results/AskSaveFile.h"
#include "settings/UserSettings.h"

namespace sondrel {

MonitorPresenter::MonitorPresenter(RunMonitor& monitor, std::shared_ptr<IClock> clock,
                                   std::shared_ptr<IPrompter> prompter, FileService& files, std::string archivePath,
                                   std::function<std::int64_t()> shownRun, QWidget* mainWindow, QObject* parent)
    : QObject(parent),
      monitor_(monitor),
      clock_(std::move(clock)),
      prompter_(std::move(prompter)),
      files_(files),
      mainWindow_(mainWindow),
      targets_(new TargetsModel(monitor, this)),
      outages_(new OutageLogModel(monitor, this)),
      sorted_(new QSortFilterProxyModel(this)),
      archivePath_(std::move(archivePath)),
      shownRun_(std::move(shownRun)) {
  sorted_->setSourceModel(targets_);
  sorted_->setSortRole(kSortRole);
  sorted_->setFilterCaseSensitivity(Qt::CaseInsensitive);
  sorted_->setFilterKeyColumn(-1);  // label or address
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (monitor_.takeChanged() || monitor_.live()) refresh();
  });
  openWithRuns_ = UserSettings().value(QStringLiteral("monitor/open_with_runs")).toBool();
  // Another run followed: the tables at once, not a quarter second later.
  connect(&monitor_, &RunMonitor::reset, this, [this] {
    if (window_ && window_->isVisible()) refresh();
  });
}

MonitorPresenter::~MonitorPresenter() { delete window_.data(); }

void MonitorPresenter::makeWindow() {
  window_ = new MonitorWindow(mainWindow_);
  window_->targets()->setModel(sorted_);
  window_->targets()->sortByColumn(TargetsModel::Label, Qt::AscendingOrder);
  window_->outages()->setModel(outages_);
  if (alertLog_) window_->alerts()->setModel(alertLog_);
  window_->alerts()->horizontalHeader()->setStretchLastSection(true);
  window_->alertLine()->setText(alertLine_);
  window_->outages()->horizontalHeader()->setStretchLastSection(true);
  // Wide enough for the longest state and for whole times, until the user
  // sizes them (the targets' columns are kept).
  const QFontMetrics fm(window_->font());
  window_->targets()->horizontalHeader()->resizeSection(
      TargetsModel::State, fm.horizontalAdvance(QStringLiteral("\u2716 down since 00:00:00")) + 24);
  for (int column : {OutageLogModel::Start, OutageLogModel::End})
    window_->outages()->horizontalHeader()->resizeSection(
        column, fm.horizontalAdvance(QStringLiteral("2026-12-31 00:00:00.000")) + 16);
  // The alert log's first column is its time.
  window_->alerts()->horizontalHeader()->resizeSection(0, fm.horizontalAdvance(QStringLiteral("2026-12-31 00:00:00")) + 16);
  connect(window_->filterText(), &QLineEdit::textChanged, sorted_, &QSortFilterProxyModel::setFilterFixedString);
  connect(window_->saveOutagesButton(), &QPushButton::clicked, this, &MonitorPresenter::saveOutages);
  connect(window_->saveChartButton(), &QPushButton::clicked, this, &MonitorPresenter::saveChart);
  connect(window_->saveDetailsButton(), &QPushButton::clicked, this, &MonitorPresenter::saveDetails);
  window_->openWithRuns()->setChecked(openWithRuns_);
  connect(window_->openWithRuns(), &QCheckBox::toggled, this, [this](bool on) {
    openWithRuns_ = on;
    UserSettings().setValue(QStringLiteral("monitor/open_with_runs"), on);
  });
  connect(window_->targets()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MonitorPresenter::refreshChart);
  connect(window_->span(), &QComboBox::currentIndexChanged, this, [this] {
    window_->follow()->setChecked(true);
    refreshChart();
  });
  connect(window_->logScale(), &QCheckBox::toggled, window_->chart(), &LatencyChart::setLogScale);
  connect(window_->follow(), &QCheckBox::toggled, this, [this](bool on) {
    if (on) refreshChart();
  });
  // Zoomed or panned: the chart stays where the user put it, with the
  // echoes of that span read in.
  connect(window_->chart(), &LatencyChart::rangeChangedByUser, this, [this] {
    window_->follow()->setChecked(false);
    refreshChart();
  });
  connect(window_, &MonitorWindow::closing, this, [this] {
    timer_.stop();
    keepLayout();
  });
  const QSettings settings = UserSettings();
  if (const QByteArray g = settings.value(QStringLiteral("monitor/geometry")).toByteArray(); !g.isEmpty()) {
    window_->restoreGeometry(g);
    // Kept at another scale or on a larger screen: brought within this one.
    if (const QScreen* screen = window_->screen()) {
      const QRect room = screen->availableGeometry();
      if (window_->width() > room.width() || window_->height() > room.height())
        window_->resize(window_->size().boundedTo(room.size() * 9 / 10));
      if (!room.intersects(window_->geometry())) window_->move(room.topLeft());
    }
  }
  if (const QByteArray s = settings.value(QStringLiteral("monitor/splitter")).toByteArray(); !s.isEmpty())
    window_->splitter()->restoreState(s);
  if (const QByteArray h = settings.value(QStringLiteral("monitor/columns")).toByteArray(); !h.isEmpty())
    window_->targets()->horizontalHeader()->restoreState(h);
}

void MonitorPresenter::setAlertLog(QAbstractItemModel* log) {
  alertLog_ = log;
  if (window_) window_->alerts()->setModel(log);
}

void MonitorPresenter::showTarget(std::uint32_t target) {
  showWindow();
  const QModelIndex row = sorted_->mapFromSource(targets_->index(static_cast<int>(target), 0));
  if (!row.isValid()) return;
  window_->targets()->selectRow(row.row());
  window_->targets()->scrollTo(row);
}

void MonitorPresenter::tellAlert(const QString& text) {
  alertLine_ = text;
  if (window_) window_->alertLine()->setText(text);
}

void MonitorPresenter::keepLayout() {
  if (!window_) return;
  QSettings settings = UserSettings();
  settings.setValue(QStringLiteral("monitor/geometry"), window_->saveGeometry());
  settings.setValue(QStringLiteral("monitor/splitter"), window_->splitter()->saveState());
  settings.setValue(QStringLiteral("monitor/columns"), window_->targets()->horizontalHeader()->saveState());
}

void MonitorPresenter::showWindow() {
  if (!window_) makeWindow();
  refresh();
  window_->show();
  window_->raise();
  window_->activateWindow();
  timer_.start();
}

void MonitorPresenter::runStarted() {
  if (openWithRuns_ && !(window_ && window_->isVisible())) showWindow();
}

void MonitorPresenter::refresh() {
  const std::int64_t now = clock_ ? clock_->utcMicros() : 0;
  targets_->refresh(now);
  outages_->refresh(now);
  refreshChart();
  if (window_) {
    const int n = static_cast<int>(monitor_.targetCount());
    window_->runLabel()->setText(n == 0 ? QStringLiteral("No run yet")
                                        : QStringLiteral("%1 %2, %3").arg(n).arg(n == 1 ? QStringLiteral("target")
                                                                                       : QStringLiteral("targets"))
                                              .arg(monitor_.live() ? QStringLiteral("live")
                                                                   : QStringLiteral("ended")));
  }
}

RunArchive* MonitorPresenter::archive() {
  if (!archive_ && files_.fileExists(archivePath_)) {
    if (auto opened = RunArchive::open(files_, archivePath_, ArchiveAccess::Beside)) archive_ = std::move(opened.value());
  }
  return archive_.get();
}

std::vector<std::uint32_t> MonitorPresenter::chartedTargets() const {
  std::vector<std::uint32_t> targets;
  if (!window_) return targets;
  for (const QModelIndex& i : window_->targets()->selectionModel()->selectedRows()) {
    targets.push_back(static_cast<std::uint32_t>(sorted_->mapToSource(i).row()));
    if (targets.size() == LatencyChart::kMaxSeries) break;
  }
  std::sort(targets.begin(), targets.end());
  return targets;
}

void MonitorPresenter::refreshChart() {
  if (!window_) return;
  LatencyChart* chart = window_->chart();
  // Nothing selected: no archive read at every refresh.
  const std::vector<std::uint32_t> charted = chartedTargets();
  if (charted.empty()) {
    chart->setSeries({});
    return;
  }
  const std::int64_t run = shownRun_ ? shownRun_() : 0;
  RunArchive* a = run ? archive() : nullptr;
  auto summary = a ? a->summary(run) : Result<RunSummary>(Error{0, ""});
  if (!summary) {
    chart->setSeries({});
    return;
  }
  // The span: the whole run, or the latest minutes of it while following.
  const std::int64_t start = summary.value().startUtcUs;
  const std::int64_t end = monitor_.live() && clock_ ? clock_->utcMicros()
                                                     : summary.value().endUtcUs.value_or(start + summary.value().durationUs);
  static constexpr std::int64_t kSpans[] = {0, 5 * 60'000'000LL, 3'600'000'000LL, 86'400'000'000LL};
  const std::int64_t span = kSpans[std::clamp(window_->span()->currentIndex(), 0, 3)];
  std::int64_t from = chart->rangeFrom(), to = chart->rangeTo();
  if (window_->follow()->isChecked()) {
    from = span == 0 ? start : std::max(start, end - span);
    to = std::max(end, from + 1'000'000);
  }
  // Each charted target's echoes are read once, then only those sent since
  // (the writer commits a pass at a time, so the archive may lag a little).
  if (run != chartRun_) {
    chartEchoes_.clear();
    chartRun_ = run;
  }
  std::vector<ChartSeries> series;
  for (std::uint32_t t : charted) {
    std::shared_ptr<EchoSeries>& held = chartEchoes_[t];
    if (!held) held = std::make_shared<EchoSeries>();
    // Read on while the monitor has heard of more echoes than are held.
    const TargetLatency* heard = monitor_.latencyOf(t);
    if (held->echoes().empty() || (heard && static_cast<std::int64_t>(held->echoes().size()) < heard->sent())) {
      const std::int64_t since = held->echoes().empty() ? std::numeric_limits<std::int64_t>::min() : held->lastSentUs() + 1;
      auto echoes = a->echoesOf(run, t, since, std::numeric_limits<std::int64_t>::max());
      if (!echoes) continue;
      held->append(echoes.value());
    }
    series.push_back({t, QString::fromStdString(monitor_.nameOf(t)), held});
  }
  chart->display(std::move(series), monitor_.outages().outages(), from, to);
}

void MonitorPresenter::saveChart() {
  if (!prompter_ || !window_) return;
  const QString path = AskSaveFile(*prompter_, {QStringLiteral("Save the latency chart"), QStringLiteral("Latency"),
                                                QStringLiteral("png"), {},
                                                QStringLiteral("PNG image (*.png);;SVG drawing (*.svg)")});
  if (path.isEmpty()) return;
  LatencyChart* chart = window_->chart();
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    // Drawn again as vectors, at the chart's size on screen.
    QSvgGenerator svg;
    svg.setOutputDevice(&bytes);
    svg.setSize(chart->size());
    svg.setViewBox(QRect(QPoint(0, 0), chart->size()));
    svg.setTitle(QStringLiteral("Round-trip times"));
    QPainter painter(&svg);
    chart->render(&painter);
  } else {
    chart->grab().save(&bytes, "PNG");
  }
  bytes.close();
  if (auto written = files_.replaceFile(path.toStdString(), bytes.data().toStdString()); !written)
    prompter_->message(QStringLiteral("The chart could not be written: ") + path + QStringLiteral("\r\n") +
                           QString::fromStdString(written.error().message),
                       QStringLiteral("Monitor"), IPrompter::Icon::Critical);
}

void MonitorPresenter::saveCsv(const QString& title, const QString& name, const std::string& bytes) {
  if (!prompter_) return;
  const QString path = AskSaveFile(*prompter_, {title, name, QStringLiteral("csv"), {}});
  if (path.isEmpty()) return;
  if (auto written = files_.replaceFile(path.toStdString(), bytes); !written)
    prompter_->message(QStringLiteral("The file could not be written: ") + path + QStringLiteral("\r\n") +
                           QString::fromStdString(written.error().message),
                       QStringLiteral("Monitor"), IPrompter::Icon::Critical);
}

void MonitorPresenter::saveOutages() {
  saveCsv(QStringLiteral("Save the outage log"), QStringLiteral("Outages"), outages_->csv());
}

void MonitorPresenter::saveDetails() {
  // The whole run's figures from the monitor; those of each period of the
  // report's length from the archive's exact times, cut at whole minutes
  // from the run's start.
  TargetsModel::PeriodsOf periodsOf;
  std::int64_t from = -1, to = -1;
  const std::int64_t run = shownRun_ ? shownRun_() : 0;
  RunArchive* a = run ? archive() : nullptr;
  if (auto summary = a ? a->summary(run) : Result<RunSummary>(Error{0, ""})) {
    from = summary.value().startUtcUs;
    to = summary.value().endUtcUs.value_or(clock_ ? clock_->utcMicros() : from + summary.value().durationUs);
    const double minutes = reportMinutes_ ? reportMinutes_() : 1.0;
    const auto periodUs = std::max<std::int64_t>(60'000'000, std::llround(minutes * 60e6));
    const std::int64_t origin = from - ((from % 60'000'000) + 60'000'000) % 60'000'000;
    periodsOf = [a, run, origin, periodUs](std::uint32_t target) {
      PeriodLatency periods(origin, periodUs);
      if (auto echoes = a->echoesOf(run, target, std::numeric_limits<std::int64_t>::min(),
                                    std::numeric_limits<std::int64_t>::max()))
        for (const ArchivedEcho& e : echoes.value()) periods.add(e.sentUtcUs, e.roundTripUs);
      return periods.periods();
    };
  }
  saveCsv(QStringLiteral("Save every target's figures"), QStringLiteral("Details"),
          targets_->detailsCsv(periodsOf, from, to));
}

}  // namespace sondrel
