#pragma once
// The ping results panel: a page of 20 result rows, the run's title line,
// the statistics column, the scroll bar that pages back through a finished
// run, and the report and web-site links.
//
// Results may arrive thousands of times a second. The panel keeps what each
// row and value should read and writes the labels at most once per frame
// (flush()), reading only the records of the visible page.

#include <QFrame>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>

#include "core/ping/RunRecords.h"
#include "core/common/Twips.h"

class QLabel;
class QScrollBar;
class QToolButton;

namespace sondrel {

// The two texts of one result row.
struct RowTexts {
  QString first;
  QString second;
};

// The run's records by index, formatted as rows.
using RowTextSource = std::function<RowTexts(std::int64_t index)>;

class ResultsDisplay final : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kRows = 20;
  static constexpr int kStatisticsCaptions = 11;

  explicit ResultsDisplay(QWidget* parent = nullptr);

  void setRowSource(RowTextSource source) { source_ = std::move(source); }
  // While a run goes, the scroll bar does not change the page.
  void setRunning(bool running) { running_ = running; }
  bool running() const { return running_; }

  // Places record `index` on the current page; index 0, 20, 40 … starts a new,
  // empty page.
  void ShowResultRow(std::int64_t index);
  // The statistics column: counts, loss rate, times (1 ms for replies under
  // 1 ms, "0 ms" before any reply) and average TTL.
  void ShowRunStatistics(const RunStatistics& statistics);
  // The scroll bar for a run whose latest record is `index`.
  void SetupScrollBar(std::int64_t index);
  // Shows the page the scroll position selects (the 20 records ending there).
  void VScroll1_Change();
  // After a run: the scroll bar at the latest record, its page shown.
  void showLastPage();
  // A finished run of `count` records shown from its first page (the reload).
  void showReloadedRun(std::int64_t count);

  // Empties rows, row numbers and statistics values.
  void clearRows();
  void clearStatistics();
  // Grey rows and titles of a window that has shown no run yet.
  void paintIdle();
  // Black panel, rows and titles of a starting run.
  void paintRunning();
  // The second column further right when some address is long.
  void placeSecondColumn(bool longAddress);
  void showStatisticsCaptions();
  // The panel's width; the statistics column keeps to its right edge.
  void setPanelWidth(int width);

  std::int64_t rowCount() const { return rowCount_; }

  // Writes what is pending to the labels at once (normally done per frame).
  void flush();
  // What the panel shows, as lines of text: the title line, the rows (number,
  // first and second text, TAB between) and the statistics.
  QString visibleText();

  QLabel* LabelTittle1() const { return labelTittle1_; }
  QLabel* LabelTittle2() const { return labelTittle2_; }
  QLabel* LabelTittle3() const { return labelTittle3_; }
  QLabel* PingReport() const { return pingReport_; }
  QLabel* LabelWebsite() const { return labelWebsite_; }
  QScrollBar* VScroll1() const { return vScroll1_; }
  QToolButton* Image2() const { return image2_; }

  std::array<QLabel*, kRows> sTYPE{};
  std::array<QLabel*, kRows> sIP{};
  std::array<QLabel*, kRows> sIP2{};
  std::array<QLabel*, kRows> sIP3{};
  std::array<QLabel*, kRows> sIP4{};

  void setWebsite(const QString& address);

 Q_SIGNALS:
  void reportClicked();
  void websiteClicked();
  // The mouse moved over a result row; hideSelection: over the second text,
  // which also closes the selected-targets pop-up.
  void rowsHovered(bool hideSelection);
  // A click on the title line or a result text.
  void textClicked();
  // A click on the panel itself.
  void panelClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void scheduleFlush();
  void setRowColours(const QColor& background);
  QLabel* makeLabel(const QString& name, const QRect& geometry);
  void layoutColumns();

  RowTextSource source_;
  int secondLeft_ = Px(4715);
  bool running_ = false;
  std::int64_t rowCount_ = 0;
  // Records pageFirst_ .. pageLast_ fill rows 0 … of the page; none when
  // pageLast_ < pageFirst_.
  std::int64_t pageFirst_ = 0;
  std::int64_t pageLast_ = -1;
  bool rowsDirty_ = false;
  bool statisticsDirty_ = false;
  bool statisticsShown_ = false;
  RunStatistics statistics_;
  bool scrollDirty_ = false;
  int scrollMaximum_ = 0;
  int scrollValue_ = 0;
  QTimer flushTimer_;

  QLabel* labelTittle1_ = nullptr;
  QLabel* labelTittle2_ = nullptr;
  QLabel* labelTittle3_ = nullptr;
  QLabel* pingReport_ = nullptr;
  QLabel* labelWebsite_ = nullptr;
  QScrollBar* vScroll1_ = nullptr;
  QToolButton* image2_ = nullptr;
};

}  // namespace sondrel
