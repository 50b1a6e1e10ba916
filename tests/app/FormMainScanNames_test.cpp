// The window's scan through the real worker, with the system resolver
// pointed at a slow name server of the test's own: every row shows its echo
// at once, the names follow, and the scan ends only once they are in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/ProcessService_linux.h"
#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ports/ProcessService.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"
#include "support/TestNameServer.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

TEST(FormMainScanNames, RowsShowTheirEchoesAtOnceAndTheScanEndsWithEveryName) {
  if (const std::string why = testing::WhyNoTestNameServer(); !why.empty()) SONDREL_SKIP_MISSING(why);
  testing::TestNameServer server;
  ASSERT_TRUE(server.start(QStringLiteral("127.0.0.53"), {QStringLiteral("--delay"), QStringLiteral("3000")}));
  const testing::TestResolvConf resolv({"127.0.0.53"});

  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  const std::string folder = testing::DataFolderWithList(base, "CR,127.1.0.1,127.1.0.30\r\n \r\n");
  // The window's worker, started where /etc/resolv.conf names the server.
  const std::string worker = folder + "PingIPscan2008112";
  std::ofstream(worker) << "#!/bin/sh\nexec unshare -m sh -c 'mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"' "
                        << resolv.path() << " " SONDREL_BIN_DIR "/sondrel-scanworker \"$@\"\n";
  ::chmod(worker.c_str(), 0700);

  testing::FakeServices fakes;
  WindowServices services = fakes.services();
  services.processes = MakeProcessService();
  FormMain w(services, base.path().toStdString());
  w.setExitHandler([] {});
  w.Form_Load();
  QListWidget* l = w.targetList()->ListIP();
  ASSERT_EQ(l->count(), 1);
  QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
  ScanRun& run = *w.scanPresenter()->scanRun();
  ScanPanel& panel = *w.scanPanel();

  // Well before the first name, the grid has every row live.
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.LabelActive()->text() == QStringLiteral("30"); }, 10000));
  EXPECT_TRUE(panel.sMS()[20]->text().endsWith(QStringLiteral(" ms")));
  EXPECT_EQ(panel.sHOST()[20]->text(), QString());
  EXPECT_NE(panel.Text2()->text(), QStringLiteral("OK"));
  EXPECT_FALSE(run.scanFinished());

  ASSERT_TRUE(QTest::qWaitFor([&] { return run.scanFinished(); }, 30000));
  ASSERT_EQ(run.fullCopy().size(), 30u);
  for (int k = 0; k < 30; ++k)
    EXPECT_EQ(run.fullCopy()[static_cast<std::size_t>(k)].host, "host-127-1-0-" + std::to_string(k + 1) + ".test");
  EXPECT_EQ(panel.sHOST()[20]->text(), QStringLiteral("host-127-1-0-30.test"));
  EXPECT_TRUE(fakes.prompter->messages().isEmpty());
}

}  // namespace
}  // namespace sondrel
