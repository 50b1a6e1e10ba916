// Extracting the worker through the file service: a worker that appears
// while it is written is kept, and no temporary file is left either way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "scan/ScanProgram.h"
#include "core/common/DataFolder.h"
#include "fakes/FakeFileService.h"

namespace sondrel {
namespace {

const std::byte kBytes[] = {std::byte{0x7f}, std::byte{'E'}, std::byte{'L'}, std::byte{'F'}};

TEST(ScanProgramFiles, TheWorkerIsWrittenRunnableAndNeverReplaced) {
  fakes::FakeFileService files;
  const std::string path = "/data/" + ScanProgramName();
  auto written = ExtractScanProgram("/data", kBytes, files);
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_EQ(written.value(), path);
  EXPECT_TRUE(files.executableMade);
  EXPECT_EQ(files.files, (std::map<std::string, std::string>{{path, "\x7f" "ELF"}}));

  // Another copy of the program put its worker there first: that one stays.
  fakes::FakeFileService raced;
  raced.failOnce("place", ScanProgramName(), EEXIST);
  ASSERT_TRUE(ExtractScanProgram("/data/", kBytes, raced));
  EXPECT_TRUE(raced.files.empty()) << "the temporary file is removed";

  fakes::FakeFileService full;
  full.failOnce("write", ScanProgramName(), ENOSPC);
  auto failed = ExtractScanProgram("/data/", kBytes, full);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, "cannot write " + path + ": No space left on device");
  EXPECT_TRUE(full.files.empty());
}

}  // namespace
}  // namespace sondrel
