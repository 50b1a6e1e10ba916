#pragma once
// The sockets of a scan: the private report channel between the scan run and
// its workers, and the NetBIOS node-status query a worker sends.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sondrel {

// True when `fd` is an open descriptor of this process.
bool DescriptorOpen(int fd);

// Writes the whole of `bytes`, waiting while the channel is full. False when
// the other end is gone.
bool WriteReportBytes(int fd, std::string_view bytes);

// Asks `address` (network byte order) for its NetBIOS node status on UDP 137
// and returns the unit id (MAC) of its answer; nothing after `timeoutMs` or
// when the host refuses.
std::optional<std::array<std::uint8_t, 6>> QueryNodeStatusMac(std::uint32_t address,
                                                               int timeoutMs);

}  // namespace sondrel
