#include "report/ui/DialogRpt.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QHideEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <sstream>

#include "core/common/Twips.h"
#include "core/ports/FileService.h"
#include "ports/Launcher.h"
#include "ports/Prompter.h"
#include "report/ui/ReportChart.h"
#include "report/ui/ReportPrint.h"
#include "results/AskSaveFile.h"
#include "results/OpenOnDesktop.h"
#include "text/TextBytes.h"

namespace sondrel {

namespace {

// The box's text counts as 0 when it is empty or does not start with a number.
bool CountsAsZero(const QString& text) {
  const std::optional<double> value = LeadingPeriodNumber(text.toStdString());
  return !value || *value == 0;
}

// The report's name for a file or a print job, with the latest result's stamp.
QString DefaultName(const DialogRpt::Context& ctx) {
  return QStringLiteral("Ping_Test_Report_") + ProgramText(ctx.stamp ? ctx.stamp() : "");
}

constexpr int kListWidths[7] = {250, 44, 56, 50, 64, 96, 176};
const char* const kHeadings[7] = {"From        -        To", "TTL", "Sent", "Lost", "AvgTime",
                                  "  Loss Rate - Chart", ""};

}  // namespace

DialogRpt::DialogRpt(Context context, QWidget* parent) : QDialog(parent), ctx_(std::move(context)) {
  setObjectName(QStringLiteral("DialogRpt"));
  setWindowTitle(ProgramText(kReportCaption));
  setModal(true);
  job_ = new ReportJob(this);
  connect(job_, &ReportJob::finished, this, &DialogRpt::showReport);
  build();
}

DialogRpt::~DialogRpt() {
  job_->cancel();
  leaveBusy();
}

void DialogRpt::build() {
  auto* outer = new QVBoxLayout(this);

  // The grouping row and the buttons.
  auto* top = new QHBoxLayout();
  auto* label0 = new QLabel(QStringLiteral("Group By:"), this);
  label0->setObjectName(QStringLiteral("Label1_0"));
  byTime_ = new QRadioButton(QStringLiteral("Time Period:"), this);
  byTime_->setObjectName(QStringLiteral("Option1_0"));
  byTime_->setChecked(true);
  combo_ = new QComboBox(this);
  combo_->setObjectName(QStringLiteral("ComboGroupBy"));
  combo_->setEditable(true);
  combo_->setInsertPolicy(QComboBox::NoInsert);
  for (int m = 1; m <= 60; ++m) combo_->addItem(QString::number(m));
  for (int m = 90; m <= 300; m += 30) combo_->addItem(QString::number(m));
  combo_->setMinimumWidth(70);
  // Corrected when the value is taken, never while typing: "0.25" starts with a 0.
  connect(combo_->lineEdit(), &QLineEdit::editingFinished, this, &DialogRpt::takePeriodText);
  auto* label1 = new QLabel(QStringLiteral("Minutes"), this);
  label1->setObjectName(QStringLiteral("Label1_1"));
  bySize_ = new QRadioButton(QStringLiteral("Send Buffer Size"), this);
  bySize_->setObjectName(QStringLiteral("Option1_1"));
  for (QWidget* w : std::initializer_list<QWidget*>{label0, byTime_, combo_, label1, bySize_})
    top->addWidget(w);
  top->addSpacing(20);

  struct Action {
    const char* text;
    const char* picture;
    const char* caption;
    const char* tip;
    QStyle::StandardPixmap icon;
    void (DialogRpt::*slot)();
  };
  static const Action kActions[] = {
      {"CommandBUild", "Command3", "Generate", "Start ping test", QStyle::SP_BrowserReload,
       &DialogRpt::CommandBUild_Click},
      {"CommandExport", "Command5", "Export", "Export the test results to a txt file",
       QStyle::SP_DialogSaveButton, &DialogRpt::CommandExport_Click},
      {"CommandOpen", "Command6", "Open", "Open test results file", QStyle::SP_DialogOpenButton,
       &DialogRpt::CommandOpen_Click},
      {"CommandPrint", "Command4", "Print", "Start ping test", QStyle::SP_FileIcon,
       &DialogRpt::CommandPrint_Click},
  };
  for (const Action& a : kActions) {
    auto* picture = new QToolButton(this);
    picture->setObjectName(ProgramText(a.picture));
    picture->setIcon(style()->standardIcon(a.icon));
    picture->setToolTip(ProgramText(a.tip));
    picture->setAutoRaise(true);
    connect(picture, &QToolButton::clicked, this, a.slot);
    auto* text = new QPushButton(ProgramText(a.caption), this);
    text->setObjectName(ProgramText(a.text));
    text->setToolTip(ProgramText(a.tip));
    text->setAutoDefault(false);
    connect(text, &QPushButton::clicked, this, a.slot);
    top->addWidget(picture);
    top->addWidget(text);
    pictureButtons_.push_back(picture);
    textButtons_.push_back(text);
  }
  top->addStretch(1);
  outer->addLayout(top);

  // The table (headings over seven lists) beside the chart.
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  auto* table = new QWidget(splitter);
  auto* tableLayout = new QVBoxLayout(table);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->setSpacing(0);
  auto* headRow = new QHBoxLayout();
  headRow->setSpacing(0);
  auto* listRow = new QHBoxLayout();
  listRow->setSpacing(0);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int i = 0; i < 7; ++i) {
    if (i != 6) {
      // The heading of the bar column is the rate's, spanning both.
      auto* head = new QLineEdit(ProgramText(kHeadings[i]), table);
      head->setObjectName(QStringLiteral("Text3_") + QString::number(i == 0 ? 0 : i + 1));
      head->setReadOnly(true);
      // A heading never takes the focus, so opening the window does not
      // show it selected.
      head->setFocusPolicy(Qt::NoFocus);
      head->setFont(fixed);
      head->setFixedWidth(i == 5 ? kListWidths[5] + kListWidths[6] : kListWidths[i]);
      head->installEventFilter(this);
      headers_.push_back(head);
      headRow->addWidget(head);
    }
    auto* list = new QListWidget(table);
    list->setObjectName(QStringLiteral("List1_") + QString::number(i));
    list->setFont(fixed);
    list->setFixedWidth(kListWidths[i]);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One scroll bar for the table: the last list's, which moves the others.
    if (i != 6) list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(list, &QListWidget::currentRowChanged, this, &DialogRpt::selectRow);
    lists_[static_cast<std::size_t>(i)] = list;
    listRow->addWidget(list);
  }
  connect(lists_[6]->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
    for (int i = 0; i < 6; ++i) lists_[static_cast<std::size_t>(i)]->verticalScrollBar()->setValue(v);
  });
  headRow->addStretch(1);
  listRow->addStretch(1);
  tableLayout->addLayout(headRow);
  tableLayout->addLayout(listRow, 1);
  chart_ = new ReportChart(splitter);
  chart_->setMinimumWidth(300);
  splitter->addWidget(table);
  splitter->addWidget(chart_);
  splitter->setStretchFactor(1, 1);
  outer->addWidget(splitter, 1);

  auto* bottom = new QHBoxLayout();
  text2_ = new QLineEdit(QStringLiteral("Calculating..."), this);
  text2_->setObjectName(QStringLiteral("Text2"));
  text2_->setReadOnly(true);
  text2_->setFocusPolicy(Qt::NoFocus);
  text2_->setFixedWidth(160);
  text2_->hide();
  // The neutral box that takes the focus after each action.
  text4_ = new QLineEdit(this);
  text4_->setObjectName(QStringLiteral("Text4"));
  text4_->setReadOnly(true);
  text4_->setFrame(false);
  text4_->setFixedSize(8, 8);
  bottom->addWidget(text2_);
  bottom->addStretch(1);
  bottom->addWidget(text4_);
  outer->addLayout(bottom);
  resize(1180, 640);
}

void DialogRpt::Activate() {
  if (const QScreen* s = screen()) {
    const QRect area = s->geometry();
    const QSize frame = frameGeometry().size();
    move(area.x() + (area.width() - frame.width()) / 2,
         std::max(area.y(), area.y() + (area.height() - frame.height()) / 2 - Px(100)));
  }
  combo_->setEditText(ProgramText(ProposedPeriodText(ctx_.data())));
  focusText4();
}

void DialogRpt::takePeriodText() {
  // A length of 0 never reaches the building.
  if (CountsAsZero(combo_->currentText())) combo_->setEditText(QStringLiteral("1"));
}

void DialogRpt::focusText4() { text4_->setFocus(Qt::OtherFocusReason); }

bool DialogRpt::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn)
    for (QLineEdit* head : headers_)
      if (watched == head) {
        focusText4();
        break;
      }
  return QDialog::eventFilter(watched, event);
}

void DialogRpt::hideEvent(QHideEvent* event) {
  // However the window goes (close box, Escape, its owner), a build under way
  // ends with it and takes the wait cursor along.
  if (!event->spontaneous()) AbandonBuild();
  QDialog::hideEvent(event);
}

void DialogRpt::enterBusy() {
  busy_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (QPushButton* b : textButtons_) b->setEnabled(false);
  for (QToolButton* b : pictureButtons_) b->setEnabled(false);
  text2_->show();
}

void DialogRpt::leaveBusy() {
  if (!busy_) return;
  busy_ = false;
  for (QPushButton* b : textButtons_) b->setEnabled(true);
  for (QToolButton* b : pictureButtons_) b->setEnabled(true);
  text2_->hide();
  QApplication::restoreOverrideCursor();
}

void DialogRpt::CommandBUild_Click() {
  if (busy_) return;
  for (QListWidget* list : lists_) list->clear();
  rowTarget_.clear();
  rowPeriod_.clear();
  chart_->setReport(nullptr);
  takePeriodText();
  const double minutes = PeriodMinutesFromText(combo_->currentText().toStdString());
  const ReportGrouping grouping =
      bySize_->isChecked() ? ReportGrouping::BufferSize : ReportGrouping::TimePeriod;
  headers_[0]->setText(grouping == ReportGrouping::BufferSize
                           ? QStringLiteral("From        -        To          Buffer")
                           : ProgramText(kHeadings[0]));
  enterBusy();
  const RunData& run = ctx_.data();
  // A large run that nothing changes meanwhile is built off the window thread;
  // records that a run or a reload may change are built here at once.
  if (run.records.size() >= kReportThreadRecords && !(ctx_.dataLive && ctx_.dataLive())) {
    job_->start(run, minutes, grouping);
    return;
  }
  showReport(std::make_shared<ReportOutcome>(BuildReport(run, minutes, grouping)));
}

void DialogRpt::AbandonBuild() {
  if (!job_->running()) return;
  job_->cancel();
  leaveBusy();
}

void DialogRpt::showReport(std::shared_ptr<ReportOutcome> outcome) {
  leaveBusy();
  if (!outcome->ok()) {
    // The report of an earlier Generate stays for the export.
    ctx_.prompter->message(ProgramText(outcome->error().message), QString(),
                           IPrompter::Icon::Critical);
    focusText4();
    return;
  }
  report_ = std::move(outcome->value());
  fillTable(*report_);
  chart_->setReport(&*report_);
  focusText4();
}

void DialogRpt::fillTable(const Report& report) {
  std::array<QStringList, 7> columns;
  auto addRow = [&](int target, int period) {
    rowTarget_.push_back(target);
    rowPeriod_.push_back(period);
  };
  const bool bySize = report.grouping == ReportGrouping::BufferSize;
  for (std::size_t k = 0; k < report.targets.size(); ++k) {
    const ReportTarget& t = report.targets[k];
    const int target = static_cast<int>(k);
    for (int blank = 0; blank < 2; ++blank) {
      for (QStringList& c : columns) c << QString();
      addRow(target, -1);
    }
    // Labels read as the results display reads them, as UTF-8.
    columns[0] << QStringLiteral("Ping  ") +
                      ProgramText(ShortLabel(t.label.empty() ? t.address : t.label)) +
                      QStringLiteral(" :");
    for (int i = 1; i < 7; ++i) columns[static_cast<std::size_t>(i)] << QString();
    addRow(target, -1);
    for (QStringList& c : columns) c << QString();
    addRow(target, -1);
    for (std::size_t p = 0; p < t.periods.size(); ++p) {
      const ReportPeriod& r = t.periods[p];
      QString span = ProgramText(r.from) + QStringLiteral(" - ") + ProgramText(r.to);
      if (bySize) span += QStringLiteral("  ") + QString::number(r.bufferSize);
      columns[0] << span;
      columns[1] << QString::number(r.avgTtl);
      columns[2] << QString::number(r.sent);
      columns[3] << QString::number(r.lost);
      columns[4] << ProgramText(FormatReplyTime(r.avgTime));
      columns[5] << ProgramText(LossRateCell(r.lossRate));
      columns[6] << ProgramText(LossRateBar(r.lossRate));
      addRow(target, static_cast<int>(p));
    }
  }
  for (std::size_t i = 0; i < 7; ++i) lists_[i]->addItems(columns[i]);
}

void DialogRpt::selectRow(int row) {
  if (selecting_) return;
  selecting_ = true;
  for (QListWidget* list : lists_)
    if (list->currentRow() != row) list->setCurrentRow(row);
  selecting_ = false;
  if (row >= 0 && static_cast<std::size_t>(row) < rowTarget_.size())
    chart_->showTarget(rowTarget_[static_cast<std::size_t>(row)],
                       std::max(0, rowPeriod_[static_cast<std::size_t>(row)]));
}

void DialogRpt::CommandExport_Click() {
  if (busy_) return;
  const QString format = ctx_.prompter->exportFormat(QStringLiteral("REPORT"));
  if (format == QStringLiteral("TEXT"))
    exportAs(false);
  else if (format == QStringLiteral("CSV"))
    exportAs(true);
  focusText4();
}

void DialogRpt::exportAs(bool csv) {
  enterBusy();
  if (ctx_.data().records.empty()) {
    leaveBusy();
    ctx_.prompter->message(ProgramText(kReportNoData), QString(), IPrompter::Icon::Critical);
    return;
  }
  if (!report_) {
    leaveBusy();
    ctx_.prompter->message(ProgramText(kNoReportYet), QStringLiteral("Information"),
                           IPrompter::Icon::Information);
    return;
  }
  const QString path =
      AskSaveFile(*ctx_.prompter,
                  {ProgramText(kReportSaveTitle), DefaultName(ctx_),
                   csv ? QStringLiteral("csv") : QStringLiteral("txt"), {}});
  if (path.isEmpty()) {
    leaveBusy();
    return;
  }
  std::ostringstream bytes;
  if (csv)
    ExportReportCsv(bytes, *report_);
  else
    ExportReportText(bytes, *report_);
  // Written whole under a temporary name first: a failure leaves any old file.
  const auto written = ctx_.files->replaceFile(path.toStdString(), bytes.str());
  leaveBusy();
  if (!written) {
    ctx_.prompter->message(ProgramText(written.error().message), QString(),
                           IPrompter::Icon::Critical);
    return;
  }
  ctx_.prompter->message(ProgramText(kReportSaved) + QStringLiteral("\r\n\r\n") + path,
                         QStringLiteral("File Saved"), IPrompter::Icon::Information);
}

void DialogRpt::CommandOpen_Click() {
  if (busy_) return;
  AskAndOpenResultsFile(ctx_.launcher.get(), *ctx_.prompter);
  focusText4();
}

void DialogRpt::CommandPrint_Click() {
  if (busy_) return;
  if (!report_) {
    ctx_.prompter->message(ProgramText(kNoReportYet), QStringLiteral("Information"),
                           IPrompter::Icon::Information);
    focusText4();
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(DefaultName(ctx_));
  bool accepted = false;
  if (printDialog_) {
    accepted = printDialog_(printer);
  } else {
    QPrintDialog dialog(&printer, this);
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (accepted) {
    enterBusy();
    const bool printed = PrintReport(printer, *report_, chart_);
    leaveBusy();
    if (!printed)
      ctx_.prompter->message(QStringLiteral("The report could not be printed."), QString(),
                             IPrompter::Icon::Critical);
  }
  focusText4();
}

}  // namespace sondrel
