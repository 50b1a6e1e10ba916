// The scan worker's arguments on any bytes (NUL separates the arguments):
// the job they give, written back as a command line, parses to the same job.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/ScanWire.h"

using namespace sondrel;

namespace {
bool sameJob(const WorkerJob& a, const WorkerJob& b) {
  if (a.reportFd != b.reportFd || a.delay != b.delay || a.pairs.size() != b.pairs.size())
    return false;
  for (std::size_t k = 0; k < a.pairs.size(); ++k)
    if (a.pairs[k].address != b.pairs[k].address || a.pairs[k].index != b.pairs[k].index)
      return false;
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words = {"PingIPscan2008112"};
  std::size_t pos = 0;
  while (pos <= bytes.size()) {
    std::size_t end = bytes.find('\0', pos);
    if (end == std::string::npos) end = bytes.size();
    words.push_back(bytes.substr(pos, end - pos));
    pos = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  const WorkerJob job = ParseWorkerArguments(static_cast<int>(words.size()), argv.data());
  for (const ScanPair& p : job.pairs)
    if (p.address.empty() || p.address.find(',') != std::string::npos ||
        p.index.find(',') != std::string::npos)
      std::abort();

  const std::string line = BuildWorkerCommandLine(job.reportFd, job.pairs, job.delay);
  const WorkerJob again = ParseWorkerCommandLine(line);
  if (!sameJob(job, again)) std::abort();
  if (BuildWorkerCommandLine(again.reportFd, again.pairs, again.delay) != line) std::abort();
  return 0;
}
