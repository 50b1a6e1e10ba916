#pragma once
// The summary report window: the period length (or the grouping by buffer
// size), Generate, the seven-column table with the loss-rate bars, a chart of
// one target's figures, and the export, open and print actions.

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/report/Report.h"
#include "report/ReportJob.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPrinter;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace sondrel {

class FileService;
class ILauncher;
class IPrompter;
class ReportChart;
class ReportJob;

inline constexpr char kReportCaption[] = " Ping Test Summary Report";
inline constexpr char kNoReportYet[] = "No report generated yet, click 'Generate' first.";
inline constexpr char kReportSaved[] = "Ping test report has export to file: ";
inline constexpr char kReportSaveTitle[] = "Ping Test Report will be export to this File";
// Runs larger than this are built off the window thread.
inline constexpr std::size_t kReportThreadRecords = 200'000;

class DialogRpt final : public QDialog {
  Q_OBJECT
 public:
  struct Context {
    std::shared_ptr<IPrompter> prompter;
    std::shared_ptr<ILauncher> launcher;
    FileService* files = nullptr;
    // The records to report on; read on another thread during a build unless
    // dataLive() says they may change meanwhile.
    std::function<const RunData&()> data;
    std::function<bool()> dataLive;
    // The default name's stamp: mmddhhmm of the latest result since start-up.
    std::function<std::string()> stamp;
  };

  explicit DialogRpt(Context context, QWidget* parent = nullptr);
  ~DialogRpt() override;

  // Each activation: placement, the proposed period, the focus.
  void Activate();

  void CommandBUild_Click();
  void CommandExport_Click();
  void CommandOpen_Click();
  void CommandPrint_Click();
  // The records are about to change: a build reading them stops at once.
  void AbandonBuild();

  bool busy() const { return busy_; }
  const std::optional<Report>& report() const { return report_; }
  // The list box of column i (0 to 6).
  QListWidget* List1(int i) const { return lists_.at(static_cast<std::size_t>(i)); }
  QComboBox* ComboGroupBy() const { return combo_; }
  ReportChart* chart() const { return chart_; }
  // Replaces the system print dialog (tests print straight to a PDF file):
  // true to print with the printer as set up.
  void setPrintDialog(std::function<bool(QPrinter&)> dialog) { printDialog_ = std::move(dialog); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void build();
  void enterBusy();
  void leaveBusy();
  void focusText4();
  void startGenerate();
  void showReport(std::shared_ptr<ReportOutcome> outcome);
  void fillTable(const Report& report);
  void selectRow(int row);
  void exportAs(bool csv);
  // The period box's text as it is taken: 0 (or no number) becomes "1".
  void takePeriodText();

  Context ctx_;
  std::optional<Report> report_;
  std::vector<int> rowTarget_;  // the target of each table row
  std::vector<int> rowPeriod_;  // the period of each row, -1 for a heading row
  bool busy_ = false;
  bool selecting_ = false;
  std::function<bool(QPrinter&)> printDialog_;

  QComboBox* combo_ = nullptr;
  QRadioButton* byTime_ = nullptr;
  QRadioButton* bySize_ = nullptr;
  std::array<QListWidget*, 7> lists_{};
  std::vector<QLineEdit*> headers_;
  QLineEdit* text2_ = nullptr;
  QLineEdit* text4_ = nullptr;
  std::vector<QPushButton*> textButtons_;
  std::vector<QToolButton*> pictureButtons_;
  ReportChart* chart_ = nullptr;
  ReportJob* job_ = nullptr;
};

}  // namespace sondrel
