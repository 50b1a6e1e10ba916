#include "report/ui/ReportPrint.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QWidget>
#include <algorithm>
#include <sstream>

namespace sondrel {

std::vector<std::string> ReportPrintLines(const Report& report) {
  std::ostringstream text;
  ExportReportText(text, report);
  std::vector<std::string> lines;
  const std::string all = text.str();
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    std::string line;
    for (char c : all.substr(start, end - start)) {
      if (c == '\t')
        line.append(8 - line.size() % 8, ' ');
      else
        line += c;
    }
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

bool PrintReport(QPrinter& printer, const Report& report, QWidget* chart) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(8);
  painter.setFont(font);
  const QFontMetrics metrics(font, &printer);
  const QRect page = painter.viewport();
  const int lineHeight = metrics.lineSpacing();
  const int linesPerPage = std::max(1, page.height() / lineHeight - 2);

  std::vector<std::string> lines = ReportPrintLines(report);
  lines.insert(lines.begin(), "Ping Test Summary Report");
  int onPage = 0;
  for (const std::string& line : lines) {
    if (onPage == linesPerPage) {
      printer.newPage();
      onPage = 0;
    }
    painter.drawText(0, (onPage + 1) * lineHeight, QString::fromStdString(line));
    ++onPage;
  }

  if (chart) {
    printer.newPage();
    const QSize size = chart->size();
    if (size.width() > 0 && size.height() > 0) {
      const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                    static_cast<double>(page.height()) / size.height());
      painter.save();
      painter.scale(scale, scale);
      chart->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
      painter.restore();
    }
  }
  painter.end();
  return true;
}

}  // namespace sondrel
