#include "monitor/ui/LatencyChart.h"

#include "core/ping/PingMoudle.h"

#include <QDateTime>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QPainter>
#include <QPainterPath>
#include <QRubberBand>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <thread>
#include <cmath>

namespace sondrel {
namespace {

constexpr int kLeft = 64, kRight = 12, kTop = 10, kBottom = 44, kLossBand = 10;

QString TimeText(std::int64_t utcUs, std::int64_t spanUs) {
  const QDateTime t = QDateTime::fromMSecsSinceEpoch(utcUs / 1000);
  if (spanUs <= 120'000'000) return t.toString(QStringLiteral("HH:mm:ss.zzz"));
  if (spanUs <= 2LL * 86'400'000'000) return t.toString(QStringLiteral("HH:mm:ss"));
  return t.toString(QStringLiteral("MM-dd HH:mm"));
}

// Blends `colour` at `alpha` over column x of a premultiplied image from
// row y0 to y1 (either order).
void BlendColumn(QImage& image, int x, int y0, int y1, const QColor& colour, int alpha) {
  if (y0 > y1) std::swap(y0, y1);
  const std::uint32_t a = static_cast<std::uint32_t>(alpha), keep = 255 - a;
  // The source premultiplied, then each pixel as src + dst * (255 - a) / 255
  // on all four bytes at once (two at a time in 16-bit lanes).
  const std::uint32_t src = (a << 24) | ((static_cast<std::uint32_t>(colour.red()) * a / 255) << 16) |
                            ((static_cast<std::uint32_t>(colour.green()) * a / 255) << 8) |
                            (static_cast<std::uint32_t>(colour.blue()) * a / 255);
  uchar* bits = image.bits();  // detached once, not per row
  const qsizetype stride = image.bytesPerLine();
  for (int yy = y0; yy <= y1; ++yy) {
    auto* px = reinterpret_cast<std::uint32_t*>(bits + yy * stride) + x;
    const std::uint32_t d = *px;
    std::uint32_t rb = (d & 0x00ff00ffu) * keep;
    std::uint32_t ag = ((d >> 8) & 0x00ff00ffu) * keep;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu) + 0x00800080u) >> 8) & 0x00ff00ffu;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu) + 0x00800080u) & 0xff00ff00u;
    *px = src + (rb | ag);
  }
}

// A dot of radius 2 in `colour`, drawn once at the screen's scale.
QPixmap DotOf(const QColor& colour, qreal scale) {
  QPixmap dot(QSize(6, 6) * scale);
  dot.setDevicePixelRatio(scale);
  dot.fill(Qt::transparent);
  QPainter d(&dot);
  d.setRenderHint(QPainter::Antialiasing, true);
  d.setPen(Qt::NoPen);
  d.setBrush(colour);
  d.drawEllipse(QPointF(3, 3), 2.5, 2.5);
  return dot;
}

QString MsText(double us) {
  const double ms = us / 1000.0;
  return QString::number(ms, 'f', ms < 1 ? 3 : ms < 10 ? 2 : ms < 100 ? 1 : 0);
}

}  // namespace

QColor LatencyChart::colourOf(std::size_t k) {
  // Okabe and Ito's colours, then two more that stay apart from them.
  static const QRgb kPalette[kMaxSeries] = {0x0072B2, 0xE69F00, 0x009E73, 0xCC79A7, 0x56B4E9,
                                            0xD55E00, 0xF0E442, 0x000000, 0x999999, 0x882255};
  return QColor::fromRgb(kPalette[k % kMaxSeries]);
}

LatencyChart::LatencyChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MonitorChart"));
  setMinimumHeight(180);
  setMouseTracking(true);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void LatencyChart::setSeries(std::vector<ChartSeries> series) {
  if (series.size() > kMaxSeries) series.resize(kMaxSeries);
  series_ = std::move(series);
  recompute();
}

void LatencyChart::setOutages(std::vector<Outage> outages) {
  outages_ = std::move(outages);
  recompute();
}

void LatencyChart::setRange(std::int64_t fromUtcUs, std::int64_t toUtcUs) {
  from_ = fromUtcUs;
  to_ = std::max(toUtcUs, fromUtcUs + 1000);
  recompute();
}

void LatencyChart::display(std::vector<ChartSeries> series, std::vector<Outage> outages, std::int64_t fromUtcUs,
                           std::int64_t toUtcUs) {
  if (series.size() > kMaxSeries) series.resize(kMaxSeries);
  series_ = std::move(series);
  outages_ = std::move(outages);
  from_ = fromUtcUs;
  to_ = std::max(toUtcUs, fromUtcUs + 1000);
  recompute();
}

void LatencyChart::setLogScale(bool on) {
  log_ = on;
  update();
}

QRect LatencyChart::plotRect() const {
  return QRect(kLeft, kTop, std::max(1, width() - kLeft - kRight), std::max(1, height() - kTop - kBottom));
}

int LatencyChart::plotWidth() const { return plotRect().width(); }

std::int64_t LatencyChart::timeAt(int x) const {
  const QRect r = plotRect();
  return from_ + static_cast<std::int64_t>(static_cast<double>(x - r.left()) / r.width() * static_cast<double>(to_ - from_));
}

void LatencyChart::recompute() {
  const int w = plotWidth();
  const double span = static_cast<double>(to_ - from_);
  columns_.resize(series_.size());
  spread_.assign(series_.size(), false);
  topUs_ = 0;
  // The series' columns are summed on as many threads as there are cores:
  // the series share nothing, and all are joined before anything is drawn.
  auto sum = [this, w](std::size_t k) {
    if (series_[k].echoes)
      columns_[k] = series_[k].echoes->columns(from_, to_, w);
    else
      columns_[k].assign(static_cast<std::size_t>(w), Column{});
  };
  const std::size_t helpers =
      std::min<std::size_t>(series_.size() > 0 ? series_.size() - 1 : 0, std::max(1u, std::thread::hardware_concurrency()) - 1);
  {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t k; (k = next.fetch_add(1)) < series_.size();) sum(k);
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
  }
  for (std::size_t k = 0; k < series_.size(); ++k) {
    std::int64_t inRange = 0;
    for (const Column& c : columns_[k]) {
      inRange += c.replies + c.lost;
      if (c.replies > 0) topUs_ = std::max(topUs_, static_cast<double>(c.maxUs));
    }
    spread_[k] = inRange > w;
  }
  if (topUs_ <= 0) topUs_ = 1000;
  topUs_ *= 1.1;
  // The outages of the shown targets, in plot pixels.
  shaded_.clear();
  const QRect r = plotRect();
  for (const Outage& o : outages_) {
    const bool shown = std::any_of(series_.begin(), series_.end(), [&](const ChartSeries& s) { return s.target == o.target; });
    const std::int64_t end = o.ongoing() ? to_ : o.endUtcUs;
    if (!shown || end < from_ || o.startUtcUs > to_) continue;
    const int x0 = r.left() + static_cast<int>(static_cast<double>(std::max(o.startUtcUs, from_) - from_) / span * r.width());
    const int x1 = r.left() + static_cast<int>(static_cast<double>(std::min(end, to_) - from_) / span * r.width());
    shaded_.emplace_back(x0, std::max(x1, x0 + 1));
  }
  // Outages of several targets at once are shaded once: their spans joined.
  std::sort(shaded_.begin(), shaded_.end());
  std::vector<std::pair<int, int>> joined;
  for (const auto& span : shaded_) {
    if (!joined.empty() && span.first <= joined.back().second)
      joined.back().second = std::max(joined.back().second, span.second);
    else
      joined.push_back(span);
  }
  shaded_ = std::move(joined);
  update();
}

double LatencyChart::yOf(double us, double topUs, int height) const {
  if (!log_) return height * (1.0 - std::clamp(us / topUs, 0.0, 1.0));
  // Ten microseconds at the foot: every loopback reply has room above it.
  const double lo = std::log10(10.0), hi = std::log10(std::max(topUs, 20.0));
  const double v = std::log10(std::max(us, 10.0));
  return height * (1.0 - std::clamp((v - lo) / (hi - lo), 0.0, 1.0));
}

void LatencyChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = plotRect();
  const int lossTop = r.bottom() + 4;
  p.setRenderHint(QPainter::Antialiasing, false);
  // Outages under everything.
  for (const auto& [x0, x1] : shaded_) p.fillRect(QRect(x0, r.top(), x1 - x0, r.height()), QColor(0xd5, 0x5e, 0x00, 56));
  // The axes and their grid.
  p.setPen(QColor(0xdd, 0xdd, 0xdd));
  const QFontMetrics fm = p.fontMetrics();
  for (int i = 0; i <= 4; ++i) {
    const int y = r.top() + r.height() * i / 4;
    p.drawLine(r.left(), y, r.right(), y);
    double us = 0;
    if (!log_) {
      us = topUs_ * (4 - i) / 4;
    } else {
      const double lo = 1.0, hi = std::log10(std::max(topUs_, 20.0));
      us = std::pow(10.0, hi - (hi - lo) * i / 4);
    }
    p.setPen(Qt::black);
    p.drawText(QRect(0, y - fm.height() / 2, kLeft - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter, MsText(us));
    p.setPen(QColor(0xdd, 0xdd, 0xdd));
  }
  for (int i = 0; i <= 4; ++i) {
    const int x = r.left() + r.width() * i / 4;
    p.drawLine(x, r.top(), x, r.bottom());
    p.setPen(Qt::black);
    const QString t = TimeText(timeAt(x), to_ - from_);
    const int tw = fm.horizontalAdvance(t);
    p.drawText(std::clamp(x - tw / 2, 0, width() - tw), lossTop + kLossBand + fm.ascent() + 4, t);
    p.setPen(QColor(0xdd, 0xdd, 0xdd));
  }
  p.setPen(Qt::black);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.drawText(4, kTop + fm.height() + fm.ascent(), QStringLiteral("ms"));
  // The band of lost echoes.
  p.fillRect(QRect(r.left(), lossTop, r.width(), kLossBand), QColor(0xf4, 0xf4, 0xf4));

  p.setClipRect(r);
  // The spreads, blended straight into one picture of the plot: thousands of
  // translucent one-pixel rectangles would cost the painter far more.
  QImage spreads(r.size(), QImage::Format_ARGB32_Premultiplied);
  bool anySpread = false;
  auto y = [&](std::int64_t us) {
    return std::clamp(static_cast<int>(yOf(static_cast<double>(us), topUs_, r.height())), 0, r.height() - 1);
  };
  for (std::size_t k = 0; k < series_.size(); ++k) {
    if (!spread_[k]) continue;
    if (!anySpread) spreads.fill(Qt::transparent);
    anySpread = true;
    const QColor colour = colourOf(k);
    const std::vector<Column>& cols = columns_[k];
    for (std::size_t c = 0; c < cols.size() && static_cast<int>(c) < r.width(); ++c) {
      const Column& col = cols[c];
      if (col.replies == 0) continue;
      BlendColumn(spreads, static_cast<int>(c), y(col.maxUs), y(col.minUs), colour, 60);
      BlendColumn(spreads, static_cast<int>(c), y(col.q3Us), y(col.q1Us), colour, 140);
    }
  }
  if (anySpread) p.drawImage(r.topLeft(), spreads);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (std::size_t k = 0; k < series_.size(); ++k) {
    const QColor colour = colourOf(k);
    const std::vector<Column>& cols = columns_[k];
    // The median (or each echo) as a line through the columns with replies,
    // drawn as segments: one long antialiased path is stroked far slower.
    std::vector<QLineF> segments;
    std::vector<QPointF> points;
    bool open = false;
    QPointF last;
    for (std::size_t c = 0; c < cols.size(); ++c) {
      if (cols[c].replies == 0) {
        if (cols[c].lost > 0) open = false;  // a loss breaks the line
        continue;
      }
      const QPointF pt(r.left() + static_cast<double>(c) + 0.5,
                       r.top() + yOf(static_cast<double>(cols[c].medianUs), topUs_, r.height()));
      if (open) segments.emplace_back(last, pt);
      if (!spread_[k]) points.push_back(pt);
      last = pt;
      open = true;
    }
    p.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::FlatCap));  // round caps cost five times more
    p.drawLines(segments.data(), static_cast<int>(segments.size()));
    // Single echoes as dots, stamped from one drawn dot.
    if (!points.empty()) {
      const QPixmap dot = DotOf(colour, devicePixelRatioF());
      const QPointF half(dot.width() / dot.devicePixelRatio() / 2, dot.height() / dot.devicePixelRatio() / 2);
      for (const QPointF& pt : points) p.drawPixmap(pt - half, dot);
    }
  }
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setClipping(false);
  // Lost echoes: red marks, whichever target lost them.
  for (const std::vector<Column>& cols : columns_)
    for (std::size_t c = 0; c < cols.size(); ++c)
      if (cols[c].lost > 0) p.fillRect(QRect(r.left() + static_cast<int>(c), lossTop, 1, kLossBand), QColor(0xcc, 0, 0));
  // The legend, on as many lines as its names need, on white so that it
  // reads over the lines.
  int x = r.left() + 6, top = kTop + 4;
  const int line = std::max(12, fm.height() + 2);
  for (std::size_t k = 0; k < series_.size(); ++k) {
    const int w = 24 + fm.horizontalAdvance(series_[k].name);
    if (x > r.left() + 6 && x + w > r.right()) {
      x = r.left() + 6;
      top += line;
    }
    p.fillRect(QRect(x - 2, top - 2, w - 6, line), QColor(255, 255, 255, 200));
    p.fillRect(QRect(x, top + (fm.height() - 10) / 2, 10, 10), colourOf(k));
    p.setPen(Qt::black);
    p.drawText(x + 14, top + fm.ascent(), series_[k].name);
    x += w;
  }
  if (series_.empty()) {
    p.setPen(Qt::gray);
    p.drawText(r, Qt::AlignCenter, QStringLiteral("Select targets in the table to chart them"));
  }
}

void LatencyChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  recompute();
}

void LatencyChart::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  const std::int64_t at = timeAt(static_cast<int>(event->position().x()));
  const double factor = std::pow(0.8, steps);
  const std::int64_t from = at - static_cast<std::int64_t>(static_cast<double>(at - from_) * factor);
  const std::int64_t to = at + static_cast<std::int64_t>(static_cast<double>(to_ - at) * factor);
  setRange(from, std::max(to, from + 1000));
  Q_EMIT rangeChangedByUser(from_, to_);
}

void LatencyChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (event->modifiers() & Qt::ShiftModifier) {
    banding_ = true;
    dragX_ = static_cast<int>(event->position().x());
    if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, this);
    band_->setGeometry(QRect(dragX_, plotRect().top(), 1, plotRect().height()));
    band_->show();
    return;
  }
  dragging_ = true;
  dragX_ = static_cast<int>(event->position().x());
  dragFrom_ = from_;
  dragTo_ = to_;
}

void LatencyChart::mouseMoveEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  if (banding_) {
    band_->setGeometry(QRect(std::min(x, dragX_), plotRect().top(), std::abs(x - dragX_) + 1, plotRect().height()));
    return;
  }
  if (dragging_) {
    const double perPixel = static_cast<double>(dragTo_ - dragFrom_) / plotWidth();
    const auto shift = static_cast<std::int64_t>((x - dragX_) * perPixel);
    setRange(dragFrom_ - shift, dragTo_ - shift);
    Q_EMIT rangeChangedByUser(from_, to_);
    return;
  }
  const QString text = echoTextAt(x);
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void LatencyChart::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  if (!banding_) return;
  banding_ = false;
  band_->hide();
  const int x = static_cast<int>(event->position().x());
  if (std::abs(x - dragX_) < 3) return;  // a click, not a span
  const std::int64_t a = timeAt(std::min(x, dragX_)), b = timeAt(std::max(x, dragX_));
  setRange(a, b);
  Q_EMIT rangeChangedByUser(from_, to_);
}

QString LatencyChart::echoTextAt(int x) const {
  const std::int64_t at = timeAt(x);
  const double perPixel = static_cast<double>(to_ - from_) / plotWidth();
  const ArchivedEcho* best = nullptr;
  const ChartSeries* of = nullptr;
  for (const ChartSeries& s : series_) {
    if (!s.echoes) continue;
    const std::vector<ArchivedEcho>& echoes = s.echoes->echoes();
    auto it = std::lower_bound(echoes.begin(), echoes.end(), at,
                               [](const ArchivedEcho& e, std::int64_t t) { return e.sentUtcUs < t; });
    for (auto c : {it, it == echoes.begin() ? it : std::prev(it)}) {
      if (c == echoes.end()) continue;
      if (!best || std::llabs(c->sentUtcUs - at) < std::llabs(best->sentUtcUs - at)) {
        best = &*c;
        of = &s;
      }
    }
  }
  if (!best || static_cast<double>(std::llabs(best->sentUtcUs - at)) > 4 * perPixel) return {};
  const QString when = QDateTime::fromMSecsSinceEpoch(best->sentUtcUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
  const QString status = QString::fromStdString(PingMoudle::GetStatusCode(best->status));
  if (best->roundTripUs < 0) return QStringLiteral("%1\n%2\nlost: %3").arg(of->name, when, status);
  return QStringLiteral("%1\n%2\n%3 ms, TTL %4, %5")
      .arg(of->name, when, QString::number(best->roundTripUs / 1000.0, 'f', 3))
      .arg(best->ttl)
      .arg(status);
}

}  // namespace sondrel
