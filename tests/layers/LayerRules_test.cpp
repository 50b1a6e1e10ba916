// The sources keep their layers, and the check that says so finds a breach
// of each rule in a tree made to break them.
#include "layers/LayerRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace sondrel::layers {
namespace {
namespace fs = std::filesystem;

std::vector<fs::path> WindowModuleDirs() {
  std::vector<fs::path> dirs;
  std::string all = SONDREL_WINDOW_MODULE_DIRS;
  for (std::size_t at = 0; at <= all.size();) {
    const std::size_t end = std::min(all.find('|', at), all.size());
    if (end > at) dirs.emplace_back(all.substr(at, end - at));
    at = end + 1;
  }
  return dirs;
}

std::vector<std::string> Described(const std::vector<Breach>& breaches) {
  std::vector<std::string> out;
  for (const Breach& b : breaches) out.push_back(Describe(b));
  return out;
}

TEST(LayerRules, TheSourcesKeepTheirLayers) {
  const auto dirs = WindowModuleDirs();
  // Without the Widgets headers the check would let every window include
  // through.
  ASSERT_TRUE(std::any_of(dirs.begin(), dirs.end(), [](const fs::path& d) {
    return d.filename() == "QtWidgets" && fs::exists(d / "QWidget");
  })) << SONDREL_WINDOW_MODULE_DIRS;
  EXPECT_EQ(Described(FindLayerBreaches(fs::path(SONDREL_SOURCE_DIR) / "src", dirs)),
            std::vector<std::string>{});
}

class BrokenTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sondrel-layers-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text;
  }
  fs::path root_;
};

TEST_F(BrokenTree, EachRuleFindsItsBreachAndTheRootsMayBuildTheServices) {
  write("core/Plain.h",
        "#pragma once\n#include <string>\n#include <sys/types.h>\n#include \"core/Result.h\"\n"
        "// A comment may name SystemFiles() and \"platform/Files_linux.h\".\n");
  write("core/Bad.cpp",
        "#include <QString>\n#include \"platform/Files_linux.h\"\n#include <fstream>\n/* #include <QWidget>\n*/\n");
  write("ping/Run.cpp",
        "#include <QObject>\n#include <QWidget>\n#include \"ping/ui/Panel.h\"\n#include \"ports/Prompter.h\"\n");
  write("results/Log.cpp",
        "#include \"platform/Memory.h\"\n#include <unistd.h>\nauto p = MakeProcessService();\n");
  write("results/ui/View.cpp", "#include <QWidget>\n#include <sys/stat.h>\nFileService& f = SystemFiles();\n");
  write("scan/worker/main.cpp", "#include <unistd.h>\n#include \"platform/Resolver_linux.h\"\n#include <QString>\n");
  write("app/ui/Composition.cpp", "#include \"platform/Files_linux.h\"\nauto& f = SystemFiles();\n");
  write("cli/Main.cpp",
        "#include \"platform/SignalPipe.h\"\nauto p = MakeProcessService();\nauto h = MakeHttpServer({});\n");
  write("monitor/Serve.cpp", "#include \"core/ports/HttpServer.h\"\nauto h = MakeHttpServer();\n");
  write("platform/Thing_linux.cpp", "#include <unistd.h>\n#include <QObject>\n");

  EXPECT_EQ(Described(FindLayerBreaches(root_, WindowModuleDirs())),
            (std::vector<std::string>{
                "core/Bad.cpp:1: includes <QString>: no Qt in core",
                "core/Bad.cpp:2: includes \"platform/Files_linux.h\": core includes only core",
                "core/Bad.cpp:2: includes \"platform/Files_linux.h\": a platform implementation outside a "
                "composition root",
                "core/Bad.cpp:3: includes <fstream>: only platform/ reaches the OS",
                "monitor/Serve.cpp:2: calls MakeHttpServer(): the real services are built by a composition root",
                "ping/Run.cpp:2: includes <QWidget>: a window module's header outside */ui/",
                "ping/Run.cpp:3: includes \"ping/ui/Panel.h\": a window's header outside */ui/",
                "results/Log.cpp:1: includes \"platform/Memory.h\": a platform implementation outside a "
                "composition root",
                "results/Log.cpp:2: includes <unistd.h>: only platform/ reaches the OS",
                "results/Log.cpp:3: calls MakeProcessService(): the real services are built by a "
                "composition root",
                "results/ui/View.cpp:2: includes <sys/stat.h>: only platform/ reaches the OS",
                "results/ui/View.cpp:3: calls SystemFiles(): the real services are built by a "
                "composition root",
                "scan/worker/main.cpp:3: includes <QString>: no Qt in the scan worker",
            }));
}

}  // namespace
}  // namespace sondrel::layers
