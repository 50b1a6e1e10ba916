#include "core/IPListFile.h"

#include "core/AddressHelpers.h"

namespace sondrel {

std::vector<std::string> ParseIPList(std::istream& in) {
  std::vector<std::string> entries;
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = TrimBlanks(raw);
    if (line.empty()) break;
    if (line.front() == '=') continue;
    entries.push_back(std::move(line));
  }
  SortEntries(entries);
  return entries;
}

std::string EntryDisplayName(std::string_view line) {
  if (line.empty()) return {};
  if (line.front() == 'A') return TrimBlanks(line.substr(1, 99));
  std::string_view body = line.substr(1);
  return std::string(body.substr(0, body.find(',')));
}

std::vector<std::string> ListIP2Items(const std::vector<std::string>& entries) {
  std::vector<std::string> items;
  for (const auto& e : entries)
    if (!e.empty() && e.front() == 'A') items.push_back(EntryDisplayName(e));
  items.emplace_back(kListIP2Separator);
  items.emplace_back(kListIP2AddItem);
  return items;
}

std::string FormatIPList(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  out += " \r\n";
  return out;
}

std::vector<std::string> DefaultIPListLines(const std::vector<Adapter>& adapters,
                                            const std::vector<std::string>& nameServers) {
  std::vector<std::string> lines;
  std::string ownAddress;
  for (const auto& a : adapters)
    if (!a.address.empty()) {
      ownAddress = a.address;
      break;
    }
  std::string router;
  for (const auto& a : adapters)
    if (!a.gateway.empty()) {
      router = a.gateway;
      break;
    }
  if (router.empty()) router = ownAddress;
  if (!router.empty()) lines.push_back("A" + router);

  for (const auto& server : nameServers)
    if (!server.empty() && server != router) lines.push_back("A" + server);

  lines.push_back("A" + std::string(kDefaultSite1));
  lines.push_back("A" + std::string(kDefaultSite2));

  if (ownAddress.empty()) return lines;
  const std::string p = SubnetPrefix(ownAddress);
  std::string group = "BIP_Group_01";
  for (int n : {1, 2, 3, 4, 5, 10, 20, 30, 40}) group += "," + p + "." + std::to_string(n);
  lines.push_back(std::move(group));

  std::string subnet = "BIP_Group_Subnet(0-255)";
  subnet.reserve(subnet.size() + 256 * (p.size() + 5));
  for (int n = 0; n <= 255; ++n) subnet += "," + p + "." + std::to_string(n);
  lines.push_back(std::move(subnet));

  lines.push_back("CIP_Range_01_Subnet_(0-255)," + p + ".0," + p + ".255");
  return lines;
}

}  // namespace sondrel
