#pragma once
// A report window over records held by the test, with fake services.

#include <QListWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/report/Report.h"
#include "fakes/FakeFileService.h"
#include "fakes/FakeLauncher.h"
#include "fakes/FakePrompter.h"
#include "report/ui/DialogRpt.h"

namespace sondrel::testing {

inline ResultRecord RecordAt(int day, int hour, int minute, int second, std::int32_t time,
                             std::int32_t size = 32) {
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, day, hour, minute, second});
  r.time = time;
  r.ttl = time == -1 ? 0 : 64;
  r.status = time == -1 ? 11010 : 0;
  r.bufferSize = size;
  return r;
}

// Two targets: "127.0.0.1" and "host.test / 127.0.0.2", two rounds in minute
// 14:05 and one in 14:06; the second target loses one ping of each minute.
inline RunData TwoTargetRun() {
  RunData run;
  run.targetCount = 2;
  run.internAddress("127.0.0.1");
  run.internAddress("127.0.0.2");
  run.targetLabels = {"127.0.0.1", "host.test / 127.0.0.2"};
  const ResultRecord records[] = {
      RecordAt(7, 14, 5, 9, 15),  RecordAt(7, 14, 5, 9, 0),
      RecordAt(7, 14, 5, 40, 10), RecordAt(7, 14, 5, 40, -1),
      RecordAt(7, 14, 6, 1, 20),  RecordAt(7, 14, 6, 1, -1),
  };
  for (std::size_t i = 0; i < std::size(records); ++i) {
    ResultRecord r = records[i];
    r.target = static_cast<std::uint32_t>(i % 2);
    run.records.push_back(r);
  }
  return run;
}

// Two targets, one round a second for 400,000 seconds: a run large enough to
// be built off the window thread.
inline RunData LargeTwoTargetRun() {
  RunData run;
  run.targetCount = 2;
  run.internAddress("127.0.0.1");
  run.internAddress("127.0.0.2");
  run.targetLabels = {"127.0.0.1", "127.0.0.2"};
  const std::size_t n = kReportThreadRecords * 4;
  run.records.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int second = static_cast<int>(i / 2);
    ResultRecord r = RecordAt(1 + second / 86400, second / 3600 % 24, second / 60 % 60,
                              second % 60, 5);
    r.target = static_cast<std::uint32_t>(i % 2);
    run.records.push_back(r);
  }
  return run;
}

struct ReportWindow {
  explicit ReportWindow(RunData records) : run(std::move(records)) {
    DialogRpt::Context ctx;
    ctx.prompter = prompter;
    ctx.launcher = launcher;
    ctx.files = &files;
    ctx.data = [this]() -> const RunData& { return run; };
    ctx.dataLive = [this] { return live; };
    ctx.stamp = [this] { return stamp; };
    dialog = std::make_unique<DialogRpt>(std::move(ctx));
    dialog->show();
    dialog->Activate();
  }
  std::vector<std::string> column(int i) const {
    std::vector<std::string> out;
    QListWidget* list = dialog->List1(i);
    for (int r = 0; r < list->count(); ++r) out.push_back(list->item(r)->text().toStdString());
    return out;
  }

  RunData run;
  bool live = false;
  std::string stamp;
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  std::shared_ptr<fakes::FakeLauncher> launcher = std::make_shared<fakes::FakeLauncher>();
  fakes::FakeFileService files;
  std::unique_ptr<DialogRpt> dialog;
};

}  // namespace sondrel::testing
