#pragma once
// The run log the reload figures share: about 100 MB, 256 targets, every
// fourth reply lost, and its target file.
#include <fstream>
#include <string>

#include "core/ping/RunRecords.h"

namespace sondrel {

// Writes Tolvane_DB3.txt and Tolvane_DB4.txt into `folder` (ending in "/").
inline void WriteHundredMegabyteLog(const std::string& folder) {
  std::ofstream out(folder + "Tolvane_DB3.txt", std::ios::binary);
  out << "256,1\r\n";
  std::string block, labels;
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 7, 14, 5, 9});
  r.bufferSize = 32;
  for (int k = 0; k < 256; ++k) {
    r.time = k % 4 ? k % 50 : -1;
    r.ttl = r.time < 0 ? 0 : 64;
    r.status = r.time < 0 ? 11010 : 0;
    block += FormatLogLine(r, "10.77.0." + std::to_string(k)) + "\r\n";
    labels += "10.77.0." + std::to_string(k) + "\r\n";
  }
  for (std::size_t written = 0; written < 100'000'000; written += block.size()) out << block;
  std::ofstream(folder + "Tolvane_DB4.txt", std::ios::binary) << labels;
}

}  // namespace sondrel
