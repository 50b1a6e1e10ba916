#include "ping/ui/ResultsDisplay.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <climits>

#include "ping/ui/PanelScrolling.h"

namespace sondrel {

namespace {

// Panel geometry in pixels (15 twips each).
constexpr int kTitleTop = 3;
constexpr int kRowTop = 22;
constexpr int kRowHeight = 15;
constexpr int kTypeLeft = 4;
constexpr int kTypeWidth = 58;
constexpr int kIPLeft = kTypeLeft + kTypeWidth;
constexpr int kIP2Left = Px(4715);
constexpr int kIP2LeftLong = Px(4815);
constexpr int kScrollWidth = 16;
constexpr int kCaptionWidth = 70;
constexpr int kValueWidth = 104;
constexpr int kDefaultWidth = 780;
constexpr int kPanelHeight = kRowTop + ResultsDisplay::kRows * kRowHeight + 6;

constexpr std::array<const char*, ResultsDisplay::kStatisticsCaptions> kCaptions = {
    "Sent:", "Received:", "Lost:", "Loss Rate:", "", "Min Time:",
    "Max Time:", "Avg Time:", "Avg TTL:", "", "Report:"};

const QColor kGrey(0x80, 0x80, 0x80);
const QColor kBlack(0, 0, 0);
const QColor kStatisticsText(0xC0, 0xC0, 0xC0);
const QColor kRowText(0xE8, 0xE8, 0xE8);
const QColor kLinkHover(0, 255, 0);
const QColor kWebsiteIdle(64, 64, 64);
const QColor kReportIdle(192, 192, 192);

void SetColours(QLabel* label, const QColor& background, const QColor& text) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, background);
  p.setColor(QPalette::WindowText, text);
  label->setPalette(p);
}

void SetBackground(QLabel* label, const QColor& background) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, background);
  label->setPalette(p);
}

void SetTextColour(QLabel* label, const QColor& text) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, text);
  label->setPalette(p);
}

int ToScroll(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, INT_MAX)); }

}  // namespace

ResultsDisplay::ResultsDisplay(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("Picture2"));
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);
  setFixedSize(kDefaultWidth, kPanelHeight);
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);

  labelTittle1_ = makeLabel(QStringLiteral("LabelTittle1"),
                            {kTypeLeft, kTitleTop, kTypeWidth, kRowHeight + 2});
  labelTittle2_ = makeLabel(QStringLiteral("LabelTittle2"), {});
  labelTittle3_ = makeLabel(QStringLiteral("LabelTittle3"), {});
  labelTittle3_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  labelTittle3_->hide();
  for (QLabel* l : {labelTittle1_, labelTittle2_, labelTittle3_}) l->installEventFilter(this);

  for (int r = 0; r < kRows; ++r) {
    const int y = kRowTop + r * kRowHeight;
    const QString n = QString::number(r);
    sTYPE[r] = makeLabel(QStringLiteral("sTYPE_") + n, {kTypeLeft, y, kTypeWidth, kRowHeight});
    sIP[r] = makeLabel(QStringLiteral("sIP_") + n, {});
    sIP2[r] = makeLabel(QStringLiteral("sIP2_") + n, {});
    sIP3[r] = makeLabel(QStringLiteral("sIP3_") + n, {});
    sIP4[r] = makeLabel(QStringLiteral("sIP4_") + n, {});
    sIP3[r]->setText(r < kStatisticsCaptions ? QString::fromLatin1(kCaptions[r]) : QString());
    for (QLabel* l : {sTYPE[r], sIP[r], sIP2[r]}) l->installEventFilter(this);
  }

  vScroll1_ = new QScrollBar(Qt::Vertical, this);
  vScroll1_->setObjectName(QStringLiteral("VScroll1"));
  vScroll1_->setRange(0, 0);
  vScroll1_->setSingleStep(1);
  vScroll1_->setPageStep(kRows);
  connect(vScroll1_, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });
  ScrollWithBar(this, vScroll1_);

  // "Open" sits in the value column beside "Report:".
  pingReport_ = makeLabel(QStringLiteral("PingReport"), {});
  pingReport_->setText(QStringLiteral("Open"));
  pingReport_->setToolTip(QStringLiteral("Open Summary Report"));
  pingReport_->setCursor(Qt::PointingHandCursor);
  QFont underlined = pingReport_->font();
  underlined.setUnderline(true);
  pingReport_->setFont(underlined);
  pingReport_->hide();
  pingReport_->installEventFilter(this);

  labelWebsite_ = makeLabel(QStringLiteral("LabelWebsite"), {});
  labelWebsite_->setFont(underlined);
  labelWebsite_->setCursor(Qt::PointingHandCursor);
  labelWebsite_->setWordWrap(true);
  labelWebsite_->installEventFilter(this);

  image2_ = new QToolButton(this);
  image2_->setObjectName(QStringLiteral("Image2"));
  image2_->setToolTip(QStringLiteral("Minimize Ping Form"));
  image2_->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
  image2_->setAutoRaise(true);
  setPanelWidth(kDefaultWidth);

  SetTextColour(pingReport_, kReportIdle);
  // Its dark grey text needs a light ground, also on a running (black) panel.
  SetColours(labelWebsite_, kGrey, kWebsiteIdle);
  paintIdle();

  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(16);
  connect(&flushTimer_, &QTimer::timeout, this, &ResultsDisplay::flush);
}

QLabel* ResultsDisplay::makeLabel(const QString& name, const QRect& geometry) {
  auto* l = new QLabel(this);
  l->setObjectName(name);
  l->setGeometry(geometry);
  l->setAutoFillBackground(true);
  l->setTextFormat(Qt::PlainText);
  return l;
}

void ResultsDisplay::setWebsite(const QString& address) { labelWebsite_->setText(address); }

void ResultsDisplay::setRowColours(const QColor& background) {
  for (int r = 0; r < kRows; ++r)
    for (QLabel* l : {sTYPE[r], sIP[r], sIP2[r]}) SetColours(l, background, kRowText);
  for (QLabel* l : {labelTittle1_, labelTittle2_, labelTittle3_}) SetColours(l, background, kRowText);
  for (int r = 0; r < kRows; ++r) {
    SetColours(sIP3[r], background, kStatisticsText);
    SetColours(sIP4[r], background, kStatisticsText);
  }
  SetBackground(pingReport_, background);
  QPalette p = palette();
  p.setColor(QPalette::Window, background);
  setPalette(p);
}

void ResultsDisplay::paintIdle() { setRowColours(kGrey); }

void ResultsDisplay::paintRunning() { setRowColours(kBlack); }

void ResultsDisplay::placeSecondColumn(bool longAddress) {
  secondLeft_ = longAddress ? kIP2LeftLong : kIP2Left;
  layoutColumns();
}

void ResultsDisplay::setPanelWidth(int width) {
  setFixedWidth(width);
  layoutColumns();
}

void ResultsDisplay::layoutColumns() {
  // The statistics column keeps to the right edge; the second text takes
  // what is left between its fixed left position and the scroll bar.
  const int valueLeft = width() - 4 - kValueWidth;
  const int captionLeft = valueLeft - kCaptionWidth;
  const int scrollLeft = captionLeft - 6 - kScrollWidth;
  const int secondRight = scrollLeft - 2;
  for (int r = 0; r < kRows; ++r) {
    const int y = kRowTop + r * kRowHeight;
    sIP[r]->setGeometry(kIPLeft, y, secondLeft_ - kIPLeft, kRowHeight);
    sIP2[r]->setGeometry(secondLeft_, y, secondRight - secondLeft_, kRowHeight);
    sIP3[r]->setGeometry(captionLeft, y, kCaptionWidth, kRowHeight);
    sIP4[r]->setGeometry(valueLeft, y, kValueWidth, kRowHeight);
  }
  labelTittle2_->setGeometry(kIPLeft, kTitleTop, secondRight - kIPLeft - 70, kRowHeight + 2);
  labelTittle3_->setGeometry(secondRight - 70, kTitleTop, 70, kRowHeight + 2);
  vScroll1_->setGeometry(scrollLeft, kRowTop, kScrollWidth, kRows * kRowHeight);
  pingReport_->setGeometry(valueLeft, kRowTop + 10 * kRowHeight, kValueWidth, kRowHeight);
  labelWebsite_->setGeometry(captionLeft, kRowTop + 18 * kRowHeight, kCaptionWidth + kValueWidth,
                             2 * kRowHeight);
  image2_->setGeometry(width() - 22, 2, 18, 18);
}

void ResultsDisplay::showStatisticsCaptions() {
  for (QLabel* l : sIP3) l->show();
}

void ResultsDisplay::clearRows() {
  flushTimer_.stop();
  rowCount_ = 0;
  pageFirst_ = 0;
  pageLast_ = -1;
  rowsDirty_ = true;
  flush();
}

void ResultsDisplay::clearStatistics() {
  statisticsShown_ = false;
  statisticsDirty_ = true;
  scheduleFlush();
}

void ResultsDisplay::ShowResultRow(std::int64_t index) {
  if (index < 0) return;
  if (index % kRows == 0 || index < pageFirst_ || index >= pageFirst_ + kRows)
    pageFirst_ = index - index % kRows;
  pageLast_ = index;
  rowCount_ = std::max(rowCount_, index + 1);
  rowsDirty_ = true;
  scheduleFlush();
}

void ResultsDisplay::ShowRunStatistics(const RunStatistics& statistics) {
  statistics_ = statistics;
  statisticsShown_ = true;
  statisticsDirty_ = true;
  scheduleFlush();
}

void ResultsDisplay::SetupScrollBar(std::int64_t index) {
  // The bar's range is 32 bits wide: it covers the whole run.
  scrollMaximum_ = ToScroll(index);
  scrollValue_ = ToScroll(index - 10);
  scrollDirty_ = true;
  scheduleFlush();
}

void ResultsDisplay::VScroll1_Change() {
  if (running_) return;
  {
    const QSignalBlocker block(vScroll1_);
    vScroll1_->setMinimum(kRows - 1);
  }
  if (rowCount_ - 1 <= kRows - 1) return;
  const std::int64_t first = std::int64_t{vScroll1_->value()} - (kRows - 1);
  if (first < 0) return;
  pageFirst_ = first;
  pageLast_ = std::min(first + kRows - 1, rowCount_ - 1);
  rowsDirty_ = true;
  flush();
}

void ResultsDisplay::showLastPage() {
  flush();
  if (rowCount_ == 0) return;
  {
    const QSignalBlocker block(vScroll1_);
    vScroll1_->setRange(0, ToScroll(rowCount_ - 1));
    vScroll1_->setValue(ToScroll(rowCount_ - 1));
  }
  VScroll1_Change();
}

void ResultsDisplay::showReloadedRun(std::int64_t count) {
  flushTimer_.stop();
  rowCount_ = std::max<std::int64_t>(count, 0);
  pageFirst_ = 0;
  pageLast_ = std::min<std::int64_t>(rowCount_, kRows) - 1;
  rowsDirty_ = true;
  scrollDirty_ = false;
  {
    // At the top of the bar, its page showing records 1 to 20, so that the
    // first step down moves on by one result.
    const QSignalBlocker block(vScroll1_);
    const int last = ToScroll(rowCount_ - 1);
    vScroll1_->setRange(std::min(kRows - 1, last), last);
    vScroll1_->setValue(vScroll1_->minimum());
  }
  flush();
}

QString ResultsDisplay::visibleText() {
  flush();
  const QChar tab(QLatin1Char('\t'));
  QStringList lines{labelTittle2_->text()};
  for (int r = 0; r < kRows; ++r)
    if (!sTYPE[r]->text().isEmpty())
      lines << sTYPE[r]->text() + tab + sIP[r]->text() + tab + sIP2[r]->text();
  for (int i = 0; i < kStatisticsCaptions; ++i)
    if (!sIP3[i]->text().isEmpty() && sIP3[i]->isVisibleTo(this) && !sIP4[i]->text().isEmpty())
      lines << sIP3[i]->text() + tab + sIP4[i]->text();
  return lines.join(QLatin1Char('\n'));
}

void ResultsDisplay::scheduleFlush() {
  if (!flushTimer_.isActive()) flushTimer_.start();
}

void ResultsDisplay::flush() {
  flushTimer_.stop();
  if (rowsDirty_) {
    rowsDirty_ = false;
    for (int r = 0; r < kRows; ++r) {
      const std::int64_t index = pageFirst_ + r;
      if (index > pageLast_) {
        sTYPE[r]->clear();
        sIP[r]->clear();
        sIP2[r]->clear();
        continue;
      }
      const RowTexts texts = source_ ? source_(index) : RowTexts{};
      sTYPE[r]->setText(QString::number(index + 1) + QLatin1Char('.'));
      sIP[r]->setText(texts.first);
      sIP2[r]->setText(texts.second);
    }
  }
  if (statisticsDirty_) {
    statisticsDirty_ = false;
    std::array<std::string, 9> texts{};
    if (statisticsShown_) {
      const StatisticsTexts t = FormatStatistics(statistics_);
      texts = {t.sent, t.received, t.lost, t.lossRate, {}, t.minTime, t.maxTime, t.avgTime, t.avgTtl};
    }
    for (int i = 0; i < 9; ++i) sIP4[i]->setText(QString::fromStdString(texts[i]));
  }
  if (scrollDirty_) {
    scrollDirty_ = false;
    const QSignalBlocker block(vScroll1_);
    vScroll1_->setRange(0, scrollMaximum_);
    vScroll1_->setValue(scrollValue_);
  }
}

bool ResultsDisplay::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == labelWebsite_ || watched == pingReport_) {
    auto* label = static_cast<QLabel*>(watched);
    if (type == QEvent::Enter) SetTextColour(label, kLinkHover);
    if (type == QEvent::Leave)
      SetTextColour(label, label == pingReport_ ? kReportIdle : kWebsiteIdle);
    if (type == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      if (label == pingReport_)
        Q_EMIT reportClicked();
      else
        Q_EMIT websiteClicked();
      return true;
    }
    return false;
  }
  const bool isSecond = std::find(sIP2.begin(), sIP2.end(), watched) != sIP2.end();
  if (type == QEvent::Enter && watched != labelTittle1_ && watched != labelTittle2_ &&
      watched != labelTittle3_)
    Q_EMIT rowsHovered(isSecond);
  if (type == QEvent::MouseButtonPress && (isSecond || watched == labelTittle2_))
    Q_EMIT textClicked();
  return false;
}

void ResultsDisplay::mousePressEvent(QMouseEvent* event) {
  Q_EMIT panelClicked();
  QFrame::mousePressEvent(event);
}

}  // namespace sondrel
