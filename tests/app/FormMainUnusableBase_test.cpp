// A data-folder base that is a plain file: the window still comes up, says
// once why the list cannot be kept, and leaves the file as it was.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>

#include "app/AppFixture.h"

namespace sondrel {
namespace {

TEST(FormMainUnusableBase, ABaseThatIsAFileIsToldAndLeftAsItWas) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string base = dir.path().toStdString() + "/plain-file";
  { std::ofstream(base, std::ios::binary) << "kept\r\n"; }
  testing::MainWindowUnderTest app(base);
  app.window->Form_Load();
  EXPECT_TRUE(app.window->isVisible());
  // Each file that cannot be kept is named with the reason.
  const std::string folder = base + "/SondrelDataBas/";
  const auto messages = app.fakes.prompter->messages();
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[0].text.toStdString(),
            "Cannot write " + folder + "Tolvane_DB.txt: Not a directory    Fill_IP_List_2");
  EXPECT_EQ(messages[1].text.toStdString(), "Cannot write " + folder + "Tolvane_DB2.txt: Not a directory");
  std::ifstream in(base, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept\r\n");
}

}  // namespace
}  // namespace sondrel
