#include "report/ui/ReportPresenter.h"

#include "ping/PingRun.h"
#include "report/ui/DialogRpt.h"

namespace sondrel {

ReportPresenter::ReportPresenter(WindowServices services, PingRun& run, QWidget* window)
    : QObject(window),
      services_(std::move(services)),
      run_(run),
      window_(window),
      files_(services_.files) {
  // A build reading the records stops before they are replaced.
  connect(&run_, &PingRun::dataAboutToChange, this, [this] {
    if (dialog_) dialog_->AbandonBuild();
  }, Qt::DirectConnection);
}

void ReportPresenter::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail&) {
  lastRecord_ = record;
}

DialogRpt* ReportPresenter::dialog() const { return dialog_.data(); }

void ReportPresenter::OpenReport() {
  if (dialog_) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  DialogRpt::Context ctx;
  ctx.prompter = services_.prompter;
  ctx.launcher = services_.launcher;
  ctx.files = files_;
  ctx.data = [this]() -> const RunData& { return run_.data(); };
  ctx.dataLive = [this] { return run_.testRunning(); };
  ctx.stamp = [this] { return stamp(); };
  dialog_ = new DialogRpt(std::move(ctx), window_);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->show();
  dialog_->Activate();
  Q_EMIT dialogOpened(dialog_);
}

}  // namespace sondrel
