// The monitor window's figures.
//
// The chart, on a day's archived run (bench/DayRun.h: 100 targets x 86,400
// echoes, written once into /tmp/sondrel-bench-dayrun-N/ and kept for the
// next runs of this program): a frame of 10 charted targets at 1,600 px of
// plot (display() as the presenter calls it, then the widget rendered into
// an image) at four zooms and along a wheel zoom from the whole day to a
// minute and back; the first chart after opening the run, from a fresh
// archive connection, and through the real window (the run opened from the
// Archived Runs window, 10 rows selected in the monitor's table).
//
// The window at work: the real main window and services on 1,000 loopback
// targets at 100 ms (10,000 results a second), the monitor open with 10
// targets charted live, a click asked for every 10 ms; how long each waits.
// Needs raw ICMP and a private network namespace (scripts/bench runs it so).
//
// What the monitor costs the run engine: results per second with and without
// a RunMonitor reading the run, alternated; ns per OutageTracker::add and per
// TargetLatency::add (the two things it does with each result); the memory
// per result of a run of 10 million results with and without it.
//
// Medians of repetitions; each chart figure also as its longest frame.
#include "bench_widgets_main.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QImage>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "ClickProbe.h"
#include "DayRun.h"
#include "EngineRun.h"
#include "app/ui/Composition.h"
#include "app/ui/FormMain.h"
#include "archive/ui/RunsPresenter.h"
#include "core/common/DataFolder.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePrompter.h"
#include "iplist/ui/TargetListPanel.h"
#include "core/monitor/LatencyFigures.h"
#include "monitor/RunMonitor.h"
#include "monitor/ui/LatencyChart.h"
#include "monitor/ui/MonitorModels.h"
#include "monitor/ui/MonitorPresenter.h"
#include "monitor/ui/MonitorWindow.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kSecond = 1'000'000;
constexpr int kPlotWidth = 1600;
constexpr int kCharted = 10;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double Median(std::vector<double> v) { return bench::Percentile(std::move(v), 0.5); }
double Longest(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

// ---- the day's run ----

// Raised whenever DayRun.h makes other echoes: a kept archive of the old
// ones is then made again.
constexpr int kDayRunVersion = 1;

struct DayArchive {
  std::string base;    // holds SondrelDataBas/
  std::string path;    // the archive file
  std::int64_t run = 0;
  bench::DayRunShape shape;
};

// Made once and kept: a day's run takes a while to write. Its end is the
// moment it was made; the marker file keeps that and the run's id.
const DayArchive& Day() {
  static const DayArchive day = [] {
    DayArchive d;
    d.base = "/tmp/sondrel-bench-dayrun-" + std::to_string(kDayRunVersion);
    d.path = d.base + "/SondrelDataBas/" + kArchiveFile;
    const std::string marker = d.base + "/made";
    long long endUs = 0, run = 0;
    if (std::ifstream in(marker); in >> endUs >> run && run > 0 && std::filesystem::exists(d.path)) {
      d.shape = bench::DayEndingAt(endUs);
      d.run = run;
      return d;
    }
    std::filesystem::remove_all(d.base);
    std::filesystem::create_directories(d.base + "/SondrelDataBas");
    endUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
    d.shape = bench::DayEndingAt(endUs);
    std::fprintf(stderr, "monitor_bench: writing a day's run into %s ...\n", d.path.c_str());
    const auto t0 = Clock::now();
    const bench::DayRunWritten written = bench::WriteDayRun(SystemFiles(), d.path, d.shape);
    if (written.run == 0) {
      std::fprintf(stderr, "monitor_bench: %s\n", written.failure.c_str());
      return d;
    }
    std::fprintf(stderr, "monitor_bench: %lld results in %.1f s\n", static_cast<long long>(written.results),
                 MsSince(t0) / 1000);
    d.run = written.run;
    std::ofstream(marker) << endUs << ' ' << d.run << '\n';
    return d;
  }();
  return day;
}

// The charted targets' echoes, the run's outages and its span, read once.
struct DayEchoes {
  std::vector<std::vector<ArchivedEcho>> echoes;
  std::vector<QString> names;
  std::vector<Outage> outages;
  std::int64_t fromUs = 0, toUs = 0;
};

const DayEchoes& Charted() {
  static const DayEchoes charted = [] {
    DayEchoes c;
    const DayArchive& day = Day();
    auto archive = RunArchive::open(SystemFiles(), day.path, ArchiveAccess::ReadOnly);
    if (!archive || day.run == 0) return c;
    auto summary = archive.value()->summary(day.run);
    auto outages = archive.value()->outagesOf(day.run);
    auto targets = archive.value()->targetsOf(day.run);
    if (!summary || !outages || !targets) return c;
    c.fromUs = summary.value().startUtcUs;
    c.toUs = summary.value().endUtcUs.value_or(c.fromUs + summary.value().durationUs);
    c.outages = outages.value();
    for (std::uint32_t t = 0; t < kCharted; ++t) {
      auto echoes = archive.value()->echoesOf(day.run, t, std::numeric_limits<std::int64_t>::min(),
                                              std::numeric_limits<std::int64_t>::max());
      if (!echoes) return DayEchoes{};
      c.echoes.push_back(std::move(echoes.value()));
      c.names.push_back(QString::fromStdString(targets.value()[t].second));
    }
    return c;
  }();
  return charted;
}

// New series of the charted echoes: none of their summaries built yet.
std::vector<ChartSeries> FreshSeries(const DayEchoes& c) {
  std::vector<ChartSeries> series;
  for (std::size_t k = 0; k < c.echoes.size(); ++k)
    series.push_back({static_cast<std::uint32_t>(k), c.names[k], std::make_shared<EchoSeries>(c.echoes[k])});
  return series;
}

// `widget` (the chart, or the window holding it) sized so that the chart's
// plot is kPlotWidth wide.
void SizeChart(QWidget& widget, LatencyChart& chart, int height) {
  for (int k = 0; k < 3 && chart.plotWidth() != kPlotWidth; ++k) {
    widget.resize(widget.width() + kPlotWidth - chart.plotWidth(), height);
    QApplication::processEvents();
  }
}

// The moment the shared outage began, and the spans about it.
std::int64_t OutageStartUs() { return bench::DaySentUtcUs(Day().shape, bench::kSharedOutageSecond); }
struct Span {
  const char* name;
  std::int64_t lengthUs;
};
constexpr Span kZooms[] = {{"day", 0}, {"hour", 3600 * kSecond}, {"5min", 300 * kSecond}, {"1min", 60 * kSecond}};

std::pair<std::int64_t, std::int64_t> ZoomRange(int zoom) {
  const DayEchoes& c = Charted();
  if (kZooms[zoom].lengthUs == 0) return {c.fromUs, c.toUs};
  // A third before the outage began, the rest after.
  const std::int64_t from = OutageStartUs() - kZooms[zoom].lengthUs / 3;
  return {from, from + kZooms[zoom].lengthUs};
}

bool DayReady(benchmark::State& state) {
  if (Charted().echoes.size() != kCharted) {
    state.SkipWithError("no day's run to chart");
    return false;
  }
  return true;
}

// ---- 2. chart frames ----

// One zoom, its summaries built by a first frame: each frame is display()
// with the run's outages, as the presenter calls it at each refresh, and the
// widget rendered.
void BM_ChartFrame(benchmark::State& state) {
  if (!DayReady(state)) return;
  const DayEchoes& c = Charted();
  const auto [from, to] = ZoomRange(static_cast<int>(state.range(0)));
  LatencyChart chart;
  chart.resize(1000, 420);
  SizeChart(chart, chart, 420);
  if (chart.plotWidth() != kPlotWidth) {
    state.SkipWithError("the chart is not 1600 px wide");
    return;
  }
  QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
  const std::vector<ChartSeries> series = FreshSeries(c);
  auto t0 = Clock::now();
  chart.display(series, c.outages, from, to);
  chart.render(&image);
  const double first = MsSince(t0);
  std::vector<double> frames, displays;
  for (auto _ : state) {
    t0 = Clock::now();
    chart.display(series, c.outages, from, to);
    displays.push_back(MsSince(t0));
    chart.render(&image);
    frames.push_back(MsSince(t0));
  }
  bool spread = false;
  for (std::size_t k = 0; k < chart.series().size(); ++k) spread = spread || chart.spreadOf(k);
  state.SetLabel(kZooms[state.range(0)].name);
  state.counters["frame_median_ms"] = Median(frames);
  state.counters["frame_max_ms"] = Longest(frames);
  state.counters["display_median_ms"] = Median(displays);  // the columns summed, before the paint
  state.counters["first_frame_ms"] = first;  // the summaries of this zoom built
  state.counters["spread"] = spread;
}
BENCHMARK(BM_ChartFrame)->DenseRange(0, 3)->Iterations(30)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Wheel steps about the shared outage's start, each followed by a render.
// `in` steps towards it, then as many back out.
std::vector<double> WheelFrames(LatencyChart& chart, const std::function<void()>& draw, int steps) {
  // The pointer where the outage began in the whole day's view (the plot
  // has a margin of 12 px on its right).
  const QRect plot(chart.width() - chart.plotWidth() - 12, 0, chart.plotWidth(), chart.height());
  const double at = static_cast<double>(OutageStartUs() - chart.rangeFrom()) /
                    static_cast<double>(chart.rangeTo() - chart.rangeFrom());
  const QPointF pointer(plot.left() + at * plot.width(), chart.height() / 2.0);
  std::vector<double> frames;
  for (int k = 0; k < 2 * steps; ++k) {
    const int delta = k < steps ? 120 : -120;
    QWheelEvent wheel(pointer, chart.mapToGlobal(pointer), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    const auto t0 = Clock::now();
    QCoreApplication::sendEvent(&chart, &wheel);
    draw();
    frames.push_back(MsSince(t0));
    QApplication::processEvents();
  }
  return frames;
}

// From the whole day to a minute: 0.8 a step, 33 steps; then back.
constexpr int kWheelSteps = 33;

void BM_WheelZoom(benchmark::State& state) {
  if (!DayReady(state)) return;
  const DayEchoes& c = Charted();
  LatencyChart chart;
  chart.resize(1000, 420);
  SizeChart(chart, chart, 420);
  QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> frames;
  double narrowestS = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Fresh series, the whole day drawn: no other zoom's summary built yet.
    chart.display(FreshSeries(c), c.outages, c.fromUs, c.toUs);
    chart.render(&image);
    state.ResumeTiming();
    narrowestS = static_cast<double>(c.toUs - c.fromUs) / kSecond;
    frames = WheelFrames(
        chart,
        [&] {
          chart.render(&image);
          narrowestS = std::min(narrowestS, static_cast<double>(chart.rangeTo() - chart.rangeFrom()) / kSecond);
        },
        kWheelSteps);
  }
  const std::vector<double> in(frames.begin(), frames.begin() + std::min<std::size_t>(frames.size(), kWheelSteps));
  state.counters["frame_median_ms"] = Median(frames);
  state.counters["frame_max_ms"] = Longest(frames);
  state.counters["frame_max_in_ms"] = Longest(in);
  state.counters["longest_at_step"] = static_cast<double>(std::max_element(frames.begin(), frames.end()) - frames.begin());
  state.counters["frames"] = static_cast<double>(frames.size());
  state.counters["narrowest_span_s"] = narrowestS;
}
BENCHMARK(BM_WheelZoom)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- 3. the first chart after opening the run ----

// A fresh connection to the archive (as the window's presenter opens it),
// the run's summary and outages, the 10 targets' echoes, the first frame.
void BM_FirstChart(benchmark::State& state) {
  if (!DayReady(state)) return;
  const DayArchive& day = Day();
  std::vector<double> reads, draws, totals;
  for (auto _ : state) {
    LatencyChart chart;
    chart.resize(1000, 420);
    SizeChart(chart, chart, 420);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    const auto t0 = Clock::now();
    auto archive = RunArchive::open(SystemFiles(), day.path, ArchiveAccess::Beside);
    if (!archive) {
      state.SkipWithError("the archive did not open");
      return;
    }
    RunArchive& a = *archive.value();
    auto summary = a.summary(day.run);
    auto outages = a.outagesOf(day.run);
    auto targets = a.targetsOf(day.run);
    std::vector<ChartSeries> series;
    for (std::uint32_t t = 0; t < kCharted; ++t) {
      auto echoes = a.echoesOf(day.run, t, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max());
      if (!echoes || !targets) break;
      series.push_back({t, QString::fromStdString(targets.value()[t].second),
                        std::make_shared<EchoSeries>(std::move(echoes.value()))});
    }
    if (!summary || !outages || series.size() != kCharted) {
      state.SkipWithError("the run could not be read");
      return;
    }
    const double read = MsSince(t0);
    const auto t1 = Clock::now();
    const std::int64_t from = summary.value().startUtcUs;
    chart.display(std::move(series), outages.value(), from, summary.value().endUtcUs.value_or(from));
    chart.render(&image);
    draws.push_back(MsSince(t1));
    reads.push_back(read);
    totals.push_back(MsSince(t0));
  }
  state.counters["first_chart_ms"] = Median(totals);
  state.counters["reads_ms"] = Median(reads);
  state.counters["draw_ms"] = Median(draws);
}
BENCHMARK(BM_FirstChart)->Iterations(5)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same through the window: the main window with the day's archive in its
// data folder, the run opened as the Archived Runs window's Open does, the
// monitor opened, 10 rows selected at once, the chart painted. Then the same
// wheel zoom on the window's chart, each step with the presenter's answer to
// it and a paint. Each repetition a new window on a copy of the archive.
void BM_FirstChartThroughWindow(benchmark::State& state) {
  if (!DayReady(state)) return;
  const DayArchive& day = Day();
  double shownMs = 0, figuresMs = 0, selectMs = 0, selectPaintMs = 0;
  std::vector<double> wheel;
  for (auto _ : state) {
    QTemporaryDir base;
    const std::string folder = DataFolder(SystemFiles(), base.path().toStdString());
    std::filesystem::copy_file(day.path, folder + kArchiveFile);
    WindowServices services = SystemServices();
    services.prompter = std::make_shared<fakes::FakePrompter>();
    FormMain w(services, base.path().toStdString());
    w.Form_Load();
    QApplication::processEvents();

    std::optional<Clock::time_point> figuresAt;
    QObject::connect(w.runsPresenter(), &RunsPresenter::figuresRead, &w, [&] { figuresAt = Clock::now(); });
    const auto t0 = Clock::now();
    w.runsPresenter()->openRun(day.run);
    if (!QTest::qWaitFor([&] { return w.pingRun()->data().archiveRun == day.run; }, 60000)) {
      state.SkipWithError("the run was not shown");
      return;
    }
    shownMs = MsSince(t0);
    if (!QTest::qWaitFor([&] { return figuresAt.has_value(); }, 60000)) {
      state.SkipWithError("the run's figures were not read");
      return;
    }
    figuresMs = std::chrono::duration<double, std::milli>(*figuresAt - t0).count();

    w.action(QStringLiteral("mnuMonitor"))->trigger();
    MonitorPresenter& presenter = *w.monitorPresenter();
    MonitorWindow& mw = *presenter.window();
    LatencyChart& chart = *mw.chart();
    QApplication::processEvents();
    SizeChart(mw, chart, 900);
    if (chart.plotWidth() != kPlotWidth || presenter.sortedTargets()->rowCount() != day.shape.targets) {
      state.SkipWithError("the monitor is not as expected");
      return;
    }
    QTableView* table = mw.targets();
    const QItemSelection rows(presenter.sortedTargets()->index(0, 0),
                              presenter.sortedTargets()->index(kCharted - 1, TargetsModel::kColumns - 1));
    const auto t1 = Clock::now();
    table->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectMs = MsSince(t1);
    chart.repaint();
    selectPaintMs = MsSince(t1);
    if (chart.series().size() != kCharted) {
      state.SkipWithError("the chart does not show the selected targets");
      return;
    }
    QApplication::processEvents();
    wheel = WheelFrames(chart, [&] { chart.repaint(); }, kWheelSteps);
  }
  state.counters["open_to_shown_ms"] = shownMs;
  state.counters["open_to_figures_ms"] = figuresMs;
  state.counters["select_to_chart_ms"] = selectPaintMs;
  state.counters["select_reads_and_display_ms"] = selectMs;
  state.counters["wheel_frame_median_ms"] = Median(wheel);
  state.counters["wheel_frame_max_ms"] = Longest(wheel);
}
BENCHMARK(BM_FirstChartThroughWindow)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the presenter reads at each refresh while a run goes on (4 times a
// second): each charted target's echoes sent since those it holds, here the
// last second of the day's run.
void BM_ChartRefreshReads(benchmark::State& state) {
  if (!DayReady(state)) return;
  const DayArchive& day = Day();
  auto archive = RunArchive::open(SystemFiles(), day.path, ArchiveAccess::Beside);
  if (!archive) {
    state.SkipWithError("the archive did not open");
    return;
  }
  const std::int64_t since = Charted().toUs - kSecond;
  std::size_t read = 0;
  for (auto _ : state) {
    read = 0;
    for (std::uint32_t t = 0; t < kCharted; ++t) {
      auto echoes = archive.value()->echoesOf(day.run, t, since, std::numeric_limits<std::int64_t>::max());
      read += echoes ? echoes.value().size() : 0;
    }
  }
  state.counters["echoes_read"] = static_cast<double>(read);
}
BENCHMARK(BM_ChartRefreshReads)->Iterations(10)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- 4. the window at 10,000 results a second ----

void BM_ClicksWhileMonitoring(benchmark::State& state) {
  constexpr int kTargets = 1000;
  constexpr int kProbeSeconds = 20;
  std::vector<double> delays;
  double resultsPerS = 0, longestBusyMs = 0, windowCpuShare = 0;
  for (auto _ : state) {
    QTemporaryDir base;
    const std::string folder = DataFolder(SystemFiles(), base.path().toStdString());
    std::string group = "Bloopback-1000";
    for (int k = 0; k < kTargets; ++k) group += ",127.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1);
    std::ofstream(folder + std::string(kIPListFile), std::ios::binary) << group << "\r\n \r\n";
    WindowServices services = SystemServices();
    services.prompter = std::make_shared<fakes::FakePrompter>();
    FormMain w(services, base.path().toStdString());
    w.Form_Load();
    w.show();
    QPushButton probeButton(QStringLiteral("probe"), &w);
    probeButton.setGeometry(0, 0, 40, 20);
    probeButton.show();
    bench::ClickProbe probe(&probeButton);
    QApplication::processEvents();

    // Every 100 ms, until stopped; the list's group selected.
    ParameterFrame& frame = *w.parameterFrame();
    frame.comboInv()->setEditText(QStringLiteral("100"));
    frame.comboTimes()->setCurrentIndex(0);
    Q_EMIT frame.comboTimes()->activated(0);
    QListWidget* list = w.targetList()->ListIP();
    if (list->count() < 1 || w.parameters().intervalMs != 100 || w.parameters().pingsPerTarget != 0) {
      state.SkipWithError("the run's settings did not take");
      return;
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());

    w.action(QStringLiteral("mnuMonitor"))->trigger();
    MonitorPresenter& presenter = *w.monitorPresenter();
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return presenter.sortedTargets()->rowCount() == kTargets; }, 30000)) {
      state.SkipWithError("the run did not start on 1,000 targets");
      return;
    }
    const QItemSelection rows(presenter.sortedTargets()->index(0, 0),
                              presenter.sortedTargets()->index(kCharted - 1, TargetsModel::kColumns - 1));
    presenter.window()->targets()->selectionModel()->select(
        rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!QTest::qWaitFor([&] { return presenter.window()->chart()->series().size() == kCharted; }, 10000)) {
      state.SkipWithError("the chart does not follow the selection");
      return;
    }

    std::atomic<bool> asking{true};
    std::thread asker([&] {
      // Bounded by the probe's time below.
      while (asking.load()) {
        QCoreApplication::postEvent(&probe, new bench::ClickRequest(Clock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    const std::int64_t rowsBefore = w.pingRun()->rowCount();
    const double cpuBefore = bench::ThreadCpuMs();
    const auto t0 = Clock::now();
    // An event loop of its own: QTest::qWait sleeps 10 ms between its
    // rounds of events, which every click would wait for too.
    QEventLoop probing;
    QTimer::singleShot(kProbeSeconds * 1000, &probing, &QEventLoop::quit);
    probing.exec();
    const double elapsedMs = MsSince(t0);
    resultsPerS = static_cast<double>(w.pingRun()->rowCount() - rowsBefore) / (elapsedMs / 1000);
    windowCpuShare = (bench::ThreadCpuMs() - cpuBefore) / elapsedMs;
    asking = false;
    asker.join();
    QCoreApplication::removePostedEvents(&probe, bench::ClickRequest::type());
    delays = probe.delaysMs;
    if (!delays.empty()) {
      const auto k = static_cast<std::size_t>(std::max_element(delays.begin(), delays.end()) - delays.begin());
      longestBusyMs = k > 0 ? probe.cpuAtAnswerMs[k] - probe.cpuAtAnswerMs[k - 1] : 0;
    }
    w.action(QStringLiteral("mnuStop"))->trigger();
    if (!QTest::qWaitFor([&] { return !w.testRunning(); }, 30000)) state.SkipWithError("the run did not stop");
  }
  state.counters["click_max_ms"] = Longest(delays);
  state.counters["click_median_ms"] = bench::Percentile(delays, 0.5);
  state.counters["click_p99_ms"] = bench::Percentile(delays, 0.99);
  state.counters["clicks"] = static_cast<double>(delays.size());
  state.counters["click_max_window_cpu_ms"] = longestBusyMs;
  state.counters["window_cpu_share"] = windowCpuShare;
  state.counters["results_per_s"] = resultsPerS;
}
BENCHMARK(BM_ClicksWhileMonitoring)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- 5 and 6. what the monitor costs the engine ----

// Time moves a second at each pass (the worker reads it once a pass), as in
// a run at one pass a second: the monitor's recent window holds its five
// minutes of echoes, not the whole run as with a clock that stands still.
class PassClock final : public IClock {
 public:
  LocalDateTime now() const override { return fake_.now(); }
  std::int64_t monotonicMs() const override { return fake_.monotonicMs(); }
  std::int64_t utcMicros() const override { return fake_.utcMicros() + passes_++ * kSecond; }

 private:
  fakes::FakeClock fake_;
  mutable std::atomic<std::int64_t> passes_{0};
};

constexpr int kEngineTargets = 1000;

bench::EngineRunFigures EngineRun(std::int64_t passes, bool withMonitor) {
  QTemporaryDir dir;
  RunMonitor monitor;
  return bench::RunThroughEngine(kEngineTargets, passes, std::make_shared<PassClock>(), dir.path().toStdString() + "/",
                                 withMonitor ? &monitor : nullptr);
}

// Runs of 500,000 results, with and without the monitor in turn (each
// first every other time).
void BM_EngineWithMonitor(benchmark::State& state) {
  constexpr std::int64_t kPasses = 500;
  constexpr int kPairs = 7;
  std::vector<double> with, without, ratios;
  for (auto _ : state) {
    for (int k = 0; k < kPairs; ++k) {
      double rate[2];
      for (int arm : {k % 2, 1 - k % 2}) {
        const bench::EngineRunFigures f = EngineRun(kPasses, arm == 1);
        rate[arm] = f.firstToLastSeconds > 0 ? static_cast<double>(f.shown - 1) / f.firstToLastSeconds : 0;
      }
      without.push_back(rate[0]);
      with.push_back(rate[1]);
      ratios.push_back(rate[0] > 0 ? rate[1] / rate[0] : 0);
    }
  }
  state.counters["with_results_per_s"] = Median(with);
  state.counters["without_results_per_s"] = Median(without);
  state.counters["ratio_median"] = Median(ratios);
  state.counters["pairs"] = static_cast<double>(ratios.size());
}
BENCHMARK(BM_EngineWithMonitor)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One add of a run of 1,000 targets sent together, one echo in 100 lost and
// each target's outage of 5 echoes every 10,000.
void BM_OutageTrackerAdd(benchmark::State& state) {
  OutageTracker tracker;
  std::int64_t i = 0;
  for (auto _ : state) {
    const auto target = static_cast<std::uint32_t>(i % kEngineTargets);
    const std::int64_t pass = i / kEngineTargets;
    const bool lost = (pass % 10'000) < 5 || (static_cast<std::uint64_t>(i) * 2654435761u) % 100 == 7;
    benchmark::DoNotOptimize(tracker.add(target, pass * kSecond, !lost));
    ++i;
  }
  state.counters["outages"] = static_cast<double>(tracker.outages().size());
}
BENCHMARK(BM_OutageTrackerAdd)->Repetitions(5);

// The rest of what the monitor does with each result: one add to a
// target's round-trip figures (whole run and the latest five minutes), for
// 1,000 targets a pass a second, replies of 20 µs to 3 ms.
void BM_TargetLatencyAdd(benchmark::State& state) {
  std::vector<TargetLatency> latency(kEngineTargets);
  std::int64_t i = 0;
  for (auto _ : state) {
    const std::int64_t pass = i / kEngineTargets;
    latency[static_cast<std::size_t>(i % kEngineTargets)].add(
        pass * kSecond, 20 + static_cast<std::int64_t>((static_cast<std::uint64_t>(i) * 2654435761u) % 3000));
    ++i;
  }
}
BENCHMARK(BM_TargetLatencyAdd)->Repetitions(5);

// 10 million results (1,000 targets x 10,000 passes) as long_run_bench runs
// them, the monitor reading or not. Each in a program run of its own (the
// figures run them apart): the peak of one would hide the other's.
void MemoryPerResult(benchmark::State& state, bool withMonitor) {
  bench::EngineRunFigures f;
  for (auto _ : state) f = EngineRun(10'000, withMonitor);
  state.counters["results"] = static_cast<double>(f.shown);
  state.counters["bytes_per_result"] = f.bytesPerResult;
  state.counters["results_per_s"] = f.seconds > 0 ? static_cast<double>(f.shown) / f.seconds : 0;
}
void BM_MemoryWithMonitor(benchmark::State& state) { MemoryPerResult(state, true); }
void BM_MemoryWithoutMonitor(benchmark::State& state) { MemoryPerResult(state, false); }
BENCHMARK(BM_MemoryWithMonitor)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemoryWithoutMonitor)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) {
  // The user's own settings (outage threshold, window sizes) neither read
  // nor written.
  static QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);
  return RunBenchmarksWithWidgets(argc, argv);
}
