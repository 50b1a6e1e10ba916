#pragma once
// Reading the files the network settings come from, kept apart from the
// files' fixed locations so that their layouts can be checked on sample text.

#include <istream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sondrel {

// The default routes of a /proc/net/route table that are up and go through a
// gateway, as (interface, dotted gateway), in table order.
std::vector<std::pair<std::string, std::string>> DefaultRoutes(std::istream& routeTable);

// The IPv4 "nameserver" addresses of a resolv.conf, in order.
std::vector<std::string> ResolvConfNameServers(std::istream& resolvConf);

// The servers to list: the configured ones, or the upstream ones when every
// configured server is a local stub resolver (127.x) and upstream ones exist.
std::vector<std::string> ChooseNameServers(const std::vector<std::string>& configured,
                                           const std::vector<std::string>& upstream);

// A sysfs MAC text ("aa:bb:cc:dd:ee:ff") as "AA-BB-CC-DD-EE-FF"; "" for an
// all-zero or malformed one.
std::string FormatMac(std::string_view sysfsAddress);

}  // namespace sondrel
