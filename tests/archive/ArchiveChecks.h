#pragma once
// What a run archive left by a program that ended badly must still be: a
// sound database whose runs each hold whole passes only.

#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <string>

#include "archive/RunArchive.h"

namespace sondrel::archive_test {

// What PRAGMA integrity_check says of the whole file ("ok" when sound).
inline std::string IntegrityCheck(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  std::string answer = "(integrity_check could not run)";
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK) {
    answer.clear();
    while (sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      answer += (answer.empty() ? "" : "; ") + std::string(t ? reinterpret_cast<const char*>(t) : "");
    }
  }
  sqlite3_finalize(s);
  return answer;
}

struct StoredPasses {
  std::int64_t passes = 0;  // how many whole passes the run holds
  std::string fault;        // empty when every target has passes 0..passes-1 and nothing else
};

// Reads every target's echoes of `run`: each target must hold the same
// passes 0, 1, ... P-1, each once, so that no pass is in by halves; the
// run's rows and its load agree with them.
inline StoredPasses WholePasses(RunArchive& archive, std::int64_t run) {
  StoredPasses out;
  auto summary = archive.summary(run);
  if (!summary) return {0, summary.error().message};
  const std::int32_t targets = summary.value().targetCount;
  for (std::int32_t t = 0; t < targets; ++t) {
    auto echoes = archive.echoesOf(run, static_cast<std::uint32_t>(t), std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max());
    if (!echoes) return {0, echoes.error().message};
    const auto held = static_cast<std::int64_t>(echoes.value().size());
    for (std::int64_t k = 0; k < held; ++k)
      if (echoes.value()[static_cast<std::size_t>(k)].pass != static_cast<std::uint32_t>(k))
        return {0, "target " + std::to_string(t) + " holds pass " +
                       std::to_string(echoes.value()[static_cast<std::size_t>(k)].pass) + " as its echo " +
                       std::to_string(k)};
    if (t == 0) out.passes = held;
    if (held != out.passes)
      return {0, "target " + std::to_string(t) + " holds " + std::to_string(held) + " passes, target 0 " +
                     std::to_string(out.passes)};
  }
  auto loaded = archive.loadRun(run);
  if (!loaded) return {0, loaded.error().message};
  if (static_cast<std::int64_t>(loaded.value().records.size()) != out.passes * targets)
    out.fault = "the run loads " + std::to_string(loaded.value().records.size()) + " records for " +
                std::to_string(out.passes) + " passes of " + std::to_string(targets) + " targets";
  return out;
}

}  // namespace sondrel::archive_test
