#pragma once
// The classic dotted address syntax of the echo module, parsed here rather
// than by the C library so that the engine needs no network headers.

#include <cstdint>
#include <string_view>

namespace sondrel {

inline constexpr std::uint32_t kInetAddrNone = 0xFFFFFFFFu;

// The address in network byte order, as the C library's inet_addr gives it: one to four
// parts, each decimal, octal (leading 0) or hex (leading 0x); the last part
// fills the bytes left ("10.1.515" is 10.1.2.3). Whitespace and anything
// after it end the address; a NUL ends the text. kInetAddrNone for text that
// is no address, and also for 255.255.255.255.
std::uint32_t InetAddr(std::string_view text);

}  // namespace sondrel
