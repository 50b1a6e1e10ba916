#pragma once
// Round-trip time against wall-clock time for a few targets: each echo as a
// point while they are few, and where more echoes fall on one pixel column
// than can be drawn, the column's spread (minimum to maximum light, the
// middle half darker, the median as the line). Lost echoes are red marks on
// a band of their own; outages are shaded across the chart. The wheel zooms
// about the pointer, a drag pans, a drag with Shift zooms to the span it
// covers, and hovering names the nearest echo.

#include <QRubberBand>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/monitor/Outages.h"
#include "monitor/EchoSeries.h"

namespace sondrel {

struct ChartSeries {
  std::uint32_t target = 0;
  QString name;
  std::shared_ptr<const EchoSeries> echoes;  // never null once set
};

class LatencyChart final : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxSeries = 10;
  using Column = EchoColumn;

  explicit LatencyChart(QWidget* parent = nullptr);

  void setSeries(std::vector<ChartSeries> series);
  void setOutages(std::vector<Outage> outages);
  // The time shown, µs since 1970 UTC.
  void setRange(std::int64_t fromUtcUs, std::int64_t toUtcUs);
  // All three at once, summed and drawn once.
  void display(std::vector<ChartSeries> series, std::vector<Outage> outages, std::int64_t fromUtcUs,
               std::int64_t toUtcUs);
  std::int64_t rangeFrom() const { return from_; }
  std::int64_t rangeTo() const { return to_; }
  void setLogScale(bool on);
  bool logScale() const { return log_; }

  const std::vector<ChartSeries>& series() const { return series_; }
  // The columns of series k as last drawn (its plot's width of them).
  const std::vector<Column>& columnsOf(std::size_t k) const { return columns_.at(k); }
  // Whether series k is drawn as a spread (more echoes than columns).
  bool spreadOf(std::size_t k) const { return spread_.at(k); }
  int plotWidth() const;
  // The outages' shaded spans in plot pixels, as last drawn.
  const std::vector<std::pair<int, int>>& shaded() const { return shaded_; }
  // The text hovering at plot position x names (empty: no echo near).
  QString echoTextAt(int x) const;

  // The colour-blind-safe palette the series take in turn.
  static QColor colourOf(std::size_t k);

 Q_SIGNALS:
  // The user zoomed or panned: the chart no longer follows the live end.
  void rangeChangedByUser(qint64 fromUtcUs, qint64 toUtcUs);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect plotRect() const;
  void recompute();
  double yOf(double us, double topUs, int height) const;
  std::int64_t timeAt(int x) const;

  std::vector<ChartSeries> series_;
  std::vector<Outage> outages_;
  std::vector<std::vector<Column>> columns_;
  std::vector<bool> spread_;
  std::vector<std::pair<int, int>> shaded_;
  std::int64_t from_ = 0, to_ = 1;
  double topUs_ = 1000;
  bool log_ = false;
  bool dragging_ = false;
  bool banding_ = false;  // Shift held at the press: a rubber band
  QRubberBand* band_ = nullptr;
  int dragX_ = 0;
  std::int64_t dragFrom_ = 0, dragTo_ = 0;
};

}  // namespace sondrel
