#include "core/ping/PingMoudle.h"

#include <map>

#include "core/common/InetAddr.h"

namespace sondrel::PingMoudle {
namespace {

constexpr std::int32_t kBadAddress = -1;
constexpr std::int32_t kBufTooSmall = 11001;
constexpr std::int32_t kGeneralFailure = 11050;

}  // namespace

std::int32_t checkEcho(const std::string& address, std::size_t dataSize, std::uint32_t& target) {
  // The classic parser's own contract: its "none" value is also the broadcast
  // address, so both are refused.
  target = InetAddr(address);
  if (target == kInetAddrNone) return kBadAddress;
  if (dataSize > kReplyRoom) return kBufTooSmall;
  return 0;
}

std::int32_t Ping(IIcmpCarrier& carrier, const std::string& address, const std::string& data,
                  std::uint32_t timeoutMs, ICMP_ECHO_REPLY& echo) {
  echo = ICMP_ECHO_REPLY{};
  std::uint32_t target = 0;
  if (const std::int32_t refused = checkEcho(address, data.size(), target); refused != 0) {
    echo.Status = refused;
    return refused;
  }
  if (!carrier.available(nullptr)) {
    // Nothing was sent, so this must not read as a success.
    echo.Status = kGeneralFailure;
    return kGeneralFailure;
  }
  const EchoReply reply = carrier.echo({target, data, timeoutMs});
  echo.Address = reply.replyAddress;
  echo.Status = reply.status;
  echo.RoundTripTime = reply.roundTripMs;
  echo.RoundTripUs = reply.roundTripUs;
  echo.Ttl = reply.ttl;
  echo.DataSize = reply.dataSize;
  echo.Data = reply.data;
  return echo.Status;
}

std::string GetStatusCode(std::int32_t status) {
  static const std::map<std::int32_t, const char*> texts = {
      {-1, "inet_addr: bad IP format"},
      {0, "ip success"},
      {500, "Ping timed out"},
      {11001, "ip buf too_small"},
      {11002, "ip dest net unreachable"},
      {11003, "ip dest host unreachable"},
      {11004, "ip dest port unreachable"},
      {11005, "ip dest port unreachable"},
      {11006, "ip no resources"},
      {11007, "ip bad option"},
      {11008, "ip hw_error"},
      {11009, "ip packet too_big"},
      {11010, "Request  timed  out."},
      {11011, "ip bad req"},
      {11012, "ip bad route"},
      {11013, "ip ttl expired transit"},
      {11014, "ip ttl expired reassem"},
      {11015, "ip param_problem"},
      {11016, "ip source quench"},
      {11017, "ip option too_big"},
      {11018, "ip bad destination"},
      {11019, "ip addr deleted"},
      {11020, "ip spec mtu change"},
      {11021, "ip mtu_change"},
      {11022, "ip unload"},
      {11023, "ip addr added"},
      {11050, "ip general failure"},
      {11255, "ip pending"},
  };
  const auto it = texts.find(status);
  return it == texts.end() ? "unknown msg returned" : it->second;
}

std::string GetIPFromHostName(IResolver& resolver, const std::string& name) {
  SocketsInitialize();
  std::string address = resolver.firstIPv4(name);
  SocketsCleanup();
  return address;
}

bool SocketsInitialize() { return true; }
bool SocketsCleanup() { return true; }

int LoByte(std::uint16_t word) { return word & 0xff; }
int HiByte(std::uint16_t word) { return (word / 256) & 0xff; }

}  // namespace sondrel::PingMoudle
