#pragma once
// Printing the report: the rows of the text file, then the chart on a page of
// its own. The system print dialog offers a printer or a PDF file.

#include <string>
#include <vector>

#include "core/report/Report.h"

class QPrinter;
class QWidget;

namespace sondrel {

// The lines of the text file with TABs expanded to stops of 8, as paper shows them.
std::vector<std::string> ReportPrintLines(const Report& report);

// False when the printer could not be started.
bool PrintReport(QPrinter& printer, const Report& report, QWidget* chart);

}  // namespace sondrel
