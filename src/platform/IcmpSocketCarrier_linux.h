#pragma once
// The socket carrier behind SystemIcmpCarrier(), open to tests that need a
// datagram or a raw socket in particular.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ports/IcmpCarrier.h"

namespace sondrel {

// The process-wide carrier: datagram ICMP socket where allowed, raw otherwise.
std::shared_ptr<IIcmpCarrier> SystemIcmpCarrier();

enum class IcmpSocketKind { Automatic, Datagram, Raw };

class SocketIcmpCarrier final : public IIcmpCarrier {
 public:
  // Automatic: a datagram socket where the group may open one, else raw.
  // The socket is opened on first use; a failed open is tried again later,
  // so allowing ICMP while the program runs takes effect.
  explicit SocketIcmpCarrier(IcmpSocketKind kind = IcmpSocketKind::Automatic);
  ~SocketIcmpCarrier() override;
  SocketIcmpCarrier(const SocketIcmpCarrier&) = delete;
  SocketIcmpCarrier& operator=(const SocketIcmpCarrier&) = delete;

  using IIcmpCarrier::echoMany;
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests,
                                  const EchoWatch& watch) override;
  bool available(std::string* why) override;

  // The kind of the open socket; Automatic while none is open.
  IcmpSocketKind openKind() const;
  // Echo identifier in host order (the kernel's, for a datagram socket).
  std::uint16_t identifier() const;

 private:
  class Engine;
  std::unique_ptr<Engine> engine_;
};

}  // namespace sondrel
