#include "core/scan/ScanReportCheck.h"

#include <cctype>

#include "core/common/AddressHelpers.h"
#include "core/scan/ScanWire.h"

namespace sondrel {

namespace {

bool IsNumber(const std::string& text) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string MacOrEmpty(const std::string& text) {
  if (text.size() != 17) return {};
  std::string mac = text;
  for (std::size_t k = 0; k < mac.size(); ++k) {
    const auto c = static_cast<unsigned char>(mac[k]);
    if (k % 3 == 2) {
      if (c != '-') return {};
    } else {
      if (!std::isxdigit(c)) return {};
      mac[k] = static_cast<char>(std::toupper(c));
    }
  }
  return mac;
}

}  // namespace

std::optional<CheckedReport> CheckWorkerReport(std::string_view text) {
  const auto fields = SplitFields(text, ',');
  const std::string index = TrimBlanks(fields[0]);
  if (!IsNumber(index)) return std::nullopt;
  CheckedReport report;
  report.index = std::stoul(index);
  if (fields.size() == 2) {
    if (TrimBlanks(fields[1]) != "Dead") return std::nullopt;
    report.text = DeadReport(index);
    return report;
  }
  if (fields.size() < 4) return std::nullopt;
  const std::string ms = TrimBlanks(fields[1]);
  const std::string ttl = TrimBlanks(fields[2]);
  if (!IsNumber(ms) || !IsNumber(ttl)) return std::nullopt;
  const std::string host = CleanReportName(fields[3]);
  const std::string mac = fields.size() > 4 ? MacOrEmpty(CleanReportName(fields[4])) : std::string();
  report.text = index + "," + ms + "," + ttl + "," + host + "," + mac;
  report.nameToCome = host.empty() && mac.empty();
  return report;
}

}  // namespace sondrel
