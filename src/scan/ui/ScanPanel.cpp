#include "scan/ui/ScanPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>

#include "ping/ui/PanelScrolling.h"

namespace sondrel {

namespace {

constexpr int kHeaderHeight = 18;
constexpr int kTop = 4 + kHeaderHeight + 2;
constexpr int kBarHeight = 28;  // counters, progress and the filter buttons

QLabel* Cell(QWidget* parent, const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAutoFillBackground(true);
  label->setIndent(3);
  return label;
}

}  // namespace

ScanPanel::ScanPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("ScanPanel"));
  const char* titles[] = {"No.", "IP Address", "Time", "TTL", "Host Name", "MAC Address"};
  for (int c = 0; c < 6; ++c) {
    headers_[c] = new QLabel(QString::fromLatin1(titles[c]), this);
    headers_[c]->setIndent(3);
  }
  for (int r = 0; r < kScanGridRows; ++r) {
    const QString n = QString::number(r);
    ssTYPE_[r] = Cell(this, QStringLiteral("ssTYPE_") + n);
    ssIP_[r] = Cell(this, QStringLiteral("ssIP_") + n);
    sMS_[r] = Cell(this, QStringLiteral("sMS_") + n);
    sTTL_[r] = Cell(this, QStringLiteral("sTTL_") + n);
    sHOST_[r] = Cell(this, QStringLiteral("sHOST_") + n);
    sMAC_[r] = Cell(this, QStringLiteral("sMAC_") + n);
  }
  vScroll2_ = new QScrollBar(Qt::Vertical, this);
  vScroll2_->setObjectName(QStringLiteral("VScroll2"));
  vScroll2_->setRange(0, 0);
  ScrollWithBar(this, vScroll2_);

  auto* total = new QLabel(QStringLiteral("Total:"), this);
  total->setObjectName(QStringLiteral("LabelTotalCaption"));
  labelTotal_ = new QLabel(this);
  labelTotal_->setObjectName(QStringLiteral("LabelTotal"));
  auto* active = new QLabel(QStringLiteral("Active / Inactive:"), this);
  active->setObjectName(QStringLiteral("LabelActiveCaption"));
  labelActive_ = new QLabel(this);
  labelActive_->setObjectName(QStringLiteral("LabelActive"));
  label9_ = new QLabel(this);
  label9_->setObjectName(QStringLiteral("Label9"));
  labelInactive_ = new QLabel(this);
  labelInactive_->setObjectName(QStringLiteral("LabelInactive"));
  text2_ = new QLineEdit(this);
  text2_->setObjectName(QStringLiteral("Text2"));
  text2_->setReadOnly(true);
  const char* captions[] = {"All", "Active", "Inactive", "Add to IP Group"};
  for (int k = 0; k < 4; ++k) {
    cmdShowScan_[k] = new QPushButton(QString::fromLatin1(captions[k]), this);
    cmdShowScan_[k]->setObjectName(QStringLiteral("CmdShowScan_") + QString::number(k));
    cmdShowScan_[k]->hide();
  }
  ClearScanTable();
  layoutCells();
}

void ScanPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  layoutCells();
}

void ScanPanel::layoutCells() {
  // All 21 rows and the bar below them fit the panel; the font follows.
  const int kRowHeight =
      std::clamp((height() - kTop - kBarHeight - 6) / kScanGridRows, 12, 17);
  QFont font = this->font();
  font.setPixelSize(kRowHeight - 3);
  for (auto* column : {&ssTYPE_, &ssIP_, &sMS_, &sTTL_, &sHOST_, &sMAC_})
    for (QLabel* cell : *column) cell->setFont(font);
  const int scrollWidth = 16;
  const int width = std::max(400, this->width() - 8 - scrollWidth);
  // Shares of the width per column: number, address, time, TTL, host, MAC.
  const int shares[] = {6, 16, 10, 6, 36, 20};
  int x[7] = {4};
  for (int c = 0; c < 6; ++c) x[c + 1] = x[c] + width * shares[c] / 94;
  for (int c = 0; c < 6; ++c) headers_[c]->setGeometry(x[c], 4, x[c + 1] - x[c] - 1, kHeaderHeight);
  for (int r = 0; r < kScanGridRows; ++r) {
    const int y = kTop + r * kRowHeight;
    std::array<QLabel*, 6> cells = {ssTYPE_[r], ssIP_[r], sMS_[r], sTTL_[r], sHOST_[r], sMAC_[r]};
    for (int c = 0; c < 6; ++c) cells[c]->setGeometry(x[c], y, x[c + 1] - x[c] - 1, kRowHeight - 1);
  }
  vScroll2_->setGeometry(x[6] + 2, kTop, scrollWidth, kRowHeight * kScanGridRows);
  const int bottom = kTop + kRowHeight * kScanGridRows + 4;
  findChild<QLabel*>(QStringLiteral("LabelTotalCaption"))->setGeometry(4, bottom, 40, 22);
  labelTotal_->setGeometry(46, bottom, 60, 22);
  findChild<QLabel*>(QStringLiteral("LabelActiveCaption"))->setGeometry(110, bottom, 110, 22);
  labelActive_->setGeometry(222, bottom, 50, 22);
  label9_->setGeometry(274, bottom, 10, 22);
  labelInactive_->setGeometry(286, bottom, 50, 22);
  text2_->setGeometry(340, bottom, 230, 22);
  int bx = 576;
  for (QPushButton* b : cmdShowScan_) {
    const int w = b->sizeHint().width();
    b->setGeometry(bx, bottom - 1, w, 24);
    bx += w + 3;
  }
}

QString ScanPanel::visibleText() const {
  const QChar tab(QLatin1Char('\t'));
  QStringList cells;
  for (const QLabel* head : headers_) cells << head->text();
  QStringList lines{cells.join(tab)};
  for (int r = 0; r < kScanGridRows; ++r) {
    if (ssIP_[r]->text().isEmpty()) continue;
    cells.clear();
    for (const QLabel* cell : {ssTYPE_[r], ssIP_[r], sMS_[r], sTTL_[r], sHOST_[r], sMAC_[r]})
      cells << cell->text();
    lines << cells.join(tab);
  }
  if (!labelTotal_->text().isEmpty()) lines << QStringLiteral("Total:") + tab + labelTotal_->text();
  if (!labelActive_->text().isEmpty())
    lines << QStringLiteral("Active / Inactive:") + tab + labelActive_->text() +
                 QStringLiteral(" / ") + labelInactive_->text();
  return lines.join(QLatin1Char('\n'));
}

void ScanPanel::paintRow(int row, std::uint32_t colour) {
  if (rowColour_[row] == colour) return;  // a palette change repaints
  rowColour_[row] = colour;
  const QColor c(static_cast<QRgb>(colour));
  const QColor text = colour == kScanEmptyColour ? QColor(Qt::white) : QColor(Qt::black);
  for (QLabel* cell : {ssTYPE_[row], ssIP_[row], sMS_[row], sTTL_[row], sHOST_[row], sMAC_[row]}) {
    QPalette p = cell->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::WindowText, text);
    cell->setPalette(p);
  }
}

void ScanPanel::ClearScanTable() {
  for (int r = 0; r < kScanGridRows; ++r) {
    for (QLabel* cell : {ssTYPE_[r], ssIP_[r], sMS_[r], sTTL_[r], sHOST_[r], sMAC_[r]})
      cell->clear();
    paintRow(r, kScanEmptyColour);
  }
}

void ScanPanel::drawRows(const ScanTable& table, ScanRowWindow window) {
  // The same as clearing first and drawing then, without painting twice.
  int drawn = 0;
  for (int i = window.first; i <= window.last; ++i) {
    const int r = i - window.first;
    if (r >= kScanGridRows || i >= static_cast<int>(table.size())) break;
    drawn = r + 1;
    const ScanRecord& record = table[static_cast<std::size_t>(i)];
    const ScanRowText row = FormatScanRow(record, i);
    ssIP_[r]->setText(QString::fromStdString(record.ip));
    sHOST_[r]->setText(QString::fromStdString(record.host));
    sMAC_[r]->setText(QString::fromStdString(record.mac));
    ssTYPE_[r]->setText(QString::fromStdString(row.number));
    sTTL_[r]->setText(QString::fromStdString(record.ttl));
    sMS_[r]->setText(QString::fromStdString(row.ms));
    paintRow(r, row.colour);
  }
  for (int r = drawn; r < kScanGridRows; ++r) {
    for (QLabel* cell : {ssTYPE_[r], ssIP_[r], sMS_[r], sTTL_[r], sHOST_[r], sMAC_[r]})
      cell->clear();
    paintRow(r, kScanEmptyColour);
  }
}

void ScanPanel::setFilterButtonsVisible(bool visible) {
  for (QPushButton* b : cmdShowScan_) b->setVisible(visible);
}

}  // namespace sondrel
