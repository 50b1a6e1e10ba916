#include "core/results/ScanExport.h"

namespace sondrel {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kHeader = "No,IP,Ping,Host Name,MAC Address,TTL";
const std::string kRule(36, '-');

void Line(std::ostream& out, const std::string& text) { out << text << kCrLf; }

void Section(std::ostream& out, const char* title, const ScanTable& table, bool dead) {
  Line(out, " ");
  Line(out, " ");
  Line(out, title);
  Line(out, kRule);
  Line(out, kHeader);
  int k = 0;
  for (const ScanRecord& r : table) {
    if (r.dead() != dead) continue;
    Line(out, std::to_string(++k) + "," + r.ip + "," + r.ms + "," + GuardCell(r.host) + "," +
                  GuardCell(r.mac) + "," + r.ttl);
  }
}

}  // namespace

std::string GuardCell(const std::string& cell) {
  if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@'))
    return "'" + cell;
  return cell;
}

std::string GuardCells(const std::string& cells) {
  std::string out;
  std::size_t from = 0;
  while (true) {
    const std::size_t comma = cells.find(',', from);
    out += GuardCell(cells.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    if (comma == std::string::npos) return out;
    out += ',';
    from = comma + 1;
  }
}

void WriteScanExport(std::ostream& out, const std::string& dateText, const ScanTotals& totals,
                     const ScanTable& table) {
  Line(out, "IP Scan at :  " + dateText);
  Line(out, " ");
  Line(out, " ");
  Line(out, "Total:   " + totals.total);
  Line(out, "Active:   " + totals.active);
  Line(out, "Inactive:   " + totals.inactive);
  Section(out, "Active:", table, false);
  Section(out, "Inactive:", table, true);
}

}  // namespace sondrel
