#pragma once
// The start option of a ping run: "Immediately" or "Schedule" (OptionSch(0),
// OptionSch(1)), the start and end fields ComboFrom and ComboTo, and the time
// editor FrameTime with its five lists. The timing itself is ScheduleCheck's.

#include <QFrame>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>

#include "core/ping/Schedule.h"
#include "ping/ScheduleCheck.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace sondrel {

class IClock;

class ScheduleFrame final : public QFrame {
  Q_OBJECT
 public:
  // check must outlive the frame.
  ScheduleFrame(std::shared_ptr<IClock> clock, ScheduleCheck& check, QWidget* parent = nullptr);
  ~ScheduleFrame() override;
  Q_DISABLE_COPY_MOVE(ScheduleFrame)

  // Start time now + 1 hour, end time now + 8 hours, both texts written, the
  // five lists filled afresh.
  void FillScheduleLists();
  // With no run going: asks the window to clear the results page, show the
  // ping panel, hide the report link and show the schedule title.
  void ShowSchedule();

  bool scheduleSelected() const;
  QString fromText() const;
  QString toText() const;
  // The time editor; it floats over the window, so the window hides it on
  // clicks elsewhere (hideFrameTime).
  QFrame* frameTime() const { return frameTime_; }

 public Q_SLOTS:
  void OptionSch_Click(int index);
  // Start and Stop choose "Immediately" again.
  void selectImmediately();
  void ComboFrom_GotFocus();
  void ComboTo_GotFocus();
  void CommandOK_Click();
  void CommandCancel_Click();
  void hideFrameTime();
  // Whether a ping run is going (ShowSchedule does nothing then).
  void setTestRunning(bool running);

 Q_SIGNALS:
  // ShowSchedule: clear the 20 rows and statistics, show Picture2, hide
  // PingReport, set LabelTittle2 to title.
  void scheduleShown(const QString& title);
  // "Immediately" chosen: empty LabelTittle2 if it holds the schedule title.
  void scheduleTitleCleared();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void editTime(const QString& field);
  void writeTimeTexts();
  void setFieldsEnabled(bool enabled);

  std::shared_ptr<IClock> clock_;
  ScheduleCheck& check_;
  bool testRunning_ = false;
  QString editedField_;  // "ComboFrom" or "ComboTo"

  std::array<QRadioButton*, 2> optionSch_{};
  QLabel* labelFrom_ = nullptr;
  QLabel* labelTo_ = nullptr;
  QComboBox* comboFrom_ = nullptr;
  QComboBox* comboTo_ = nullptr;
  QPointer<QFrame> frameTime_;  // may move to the window, which may delete it first
  QComboBox* comboSYear_ = nullptr;
  QComboBox* comboSMonth_ = nullptr;
  QComboBox* comboSDay_ = nullptr;
  QComboBox* comboSHour_ = nullptr;
  QComboBox* comboSMinute_ = nullptr;
  QPushButton* commandOK_ = nullptr;
  QPushButton* commandCancel_ = nullptr;
};

}  // namespace sondrel
