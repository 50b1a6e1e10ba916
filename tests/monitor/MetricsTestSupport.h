#pragma once
// A run fed to a collector by hand, result by result, and Prometheus' own
// check of a scrape body (promtool from the set-up's prometheus package).

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "monitor/MetricsCollector.h"

namespace sondrel::testing {

// The send time of a run's first echo; the steps are in µs from it.
inline constexpr std::int64_t kRunStartUs = 1'772'892'309'000'000;

struct HandRun {
  RunData data;
  PingParameters parameters;
  std::int64_t row = 0;

  HandRun(std::vector<std::string> addresses, std::vector<std::string> labels) {
    data.addresses = std::move(addresses);
    data.targetLabels = std::move(labels);
    data.targetCount = static_cast<std::int32_t>(data.addresses.size());
  }
  void start(RunReader& r) { r.runStarted(data, parameters); }
  // One result of `target`: replied after `roundTripUs` (-1: lost), sent at
  // kRunStartUs + `sentUs`.
  void result(RunReader& r, std::uint32_t target, std::int64_t roundTripUs, std::int64_t sentUs,
              std::int16_t ttl = 64) {
    ResultRecord rec;
    rec.target = target;
    rec.time = roundTripUs < 0 ? -1 : static_cast<std::int32_t>(roundTripUs / 1000);
    rec.status = roundTripUs < 0 ? 11010 : 0;
    rec.ttl = roundTripUs < 0 ? 0 : ttl;
    rec.bufferSize = 32;
    EchoDetail echo;
    echo.roundTripUs = roundTripUs < 0 ? 0 : static_cast<std::uint32_t>(roundTripUs);
    echo.sentUtcUs = kRunStartUs + sentUs;
    r.resultAdded(row++, rec, echo);
  }
  void end(RunReader& r) { r.runEnded(data, RunEnd::CountReached); }
};

// The body's lines.
inline std::vector<std::string> Lines(const std::string& body) {
  std::vector<std::string> out;
  std::istringstream in(body);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The lines that begin with `head`.
inline std::vector<std::string> LinesOf(const std::string& body, const std::string& head) {
  std::vector<std::string> out;
  for (std::string& line : Lines(body))
    if (line.compare(0, head.size(), head) == 0) out.push_back(std::move(line));
  return out;
}

struct PromtoolVerdict {
  int status = -1;
  std::string output;  // what it printed, both streams
};

// `promtool check metrics` on the body (its standard input); nothing when
// promtool is not installed.
inline std::optional<PromtoolVerdict> PromtoolCheck(const std::string& body) {
  if (std::system("command -v promtool >/dev/null 2>&1") != 0) return std::nullopt;
  char dir[] = "/tmp/sondrel-promtool-XXXXXX";
  if (!::mkdtemp(dir)) return PromtoolVerdict{-1, "no temporary folder"};
  const std::string in = std::string(dir) + "/body", out = std::string(dir) + "/out";
  std::ofstream(in, std::ios::binary) << body;
  const std::string command = "promtool check metrics < " + in + " > " + out + " 2>&1";
  const int raw = std::system(command.c_str());
  PromtoolVerdict v;
  v.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream read(out, std::ios::binary);
  v.output.assign(std::istreambuf_iterator<char>(read), {});
  std::remove(in.c_str());
  std::remove(out.c_str());
  ::rmdir(dir);
  return v;
}

}  // namespace sondrel::testing
