#pragma once
// Helpers for tests that need real ICMP: a private network namespace to
// change settings in, sockets of a chosen kind, and throwaway namespaces
// wired to ours with veth pairs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/IcmpSocketCarrier_linux.h"

namespace sondrel::testing {

inline bool Isolated() {
  const char* v = std::getenv("SONDREL_ISOLATED");
  return v && std::string(v) == "1";
}

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// Runs a shell command; true when it exits with 0.
inline bool Run(const std::string& command) {
  const int rc = std::system((command + " >/dev/null 2>&1").c_str());
  return rc == 0;
}

// Sets a sysctl of our own network namespace for the scope and puts it back.
class ScopedSysctl {
 public:
  ScopedSysctl(std::string path, const std::string& value) : path_(std::move(path)) {
    old_ = ReadFileText(path_);
    ok_ = WriteFileText(path_, value);
  }
  ~ScopedSysctl() {
    if (ok_) WriteFileText(path_, old_);
  }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  std::string old_;
  bool ok_ = false;
};

inline constexpr const char* kPingGroupRange = "/proc/sys/net/ipv4/ping_group_range";

// A carrier of the given kind whose socket is open; skips the test when the
// kind cannot be had here. Datagram sockets are allowed for every group,
// which is only done inside the private namespace the tests run in.
class CarrierOfKind {
 public:
  explicit CarrierOfKind(IcmpSocketKind kind) {
    if (kind == IcmpSocketKind::Datagram && Isolated()) {
      widened_ = std::make_unique<ScopedSysctl>(kPingGroupRange, "0 2147483647");
    }
    carrier = std::make_shared<SocketIcmpCarrier>(kind);
    std::string why;
    open = carrier->available(&why) && carrier->openKind() == kind;
    reason = why;
  }
  std::shared_ptr<SocketIcmpCarrier> carrier;
  bool open = false;
  std::string reason;

 private:
  std::unique_ptr<ScopedSysctl> widened_;
};

inline const char* KindName(IcmpSocketKind kind) {
  return kind == IcmpSocketKind::Datagram ? "Datagram" : kind == IcmpSocketKind::Raw ? "Raw" : "Automatic";
}

// A network namespace joined to ours by a veth pair; everything it made is
// removed when it goes, failed test or not. Only for our private namespace:
// in the machine's own one it would add interfaces and routes there.
class PeerNamespace {
 public:
  // ourEnd gets ourAddress/24, the peer end peerAddress/24 inside the namespace.
  PeerNamespace(const std::string& tag, const std::string& ourEnd, const std::string& ourAddress,
                const std::string& peerAddress)
      : name_("sondrel-test-" + tag + "-" + std::to_string(getpid())), ourEnd_(ourEnd) {
    Run("ip netns del " + name_);
    Run("ip link del " + ourEnd_);
    created_ = Run("ip netns add " + name_);
    if (!created_) return;
    const std::string peerEnd = ourEnd_ + "p";
    ok_ = Run("ip link add " + ourEnd_ + " type veth peer name " + peerEnd + " netns " + name_) &&
          Run("ip addr add " + ourAddress + "/24 dev " + ourEnd_) &&
          Run("ip link set " + ourEnd_ + " up") && inside("ip link set lo up") &&
          inside("ip addr add " + peerAddress + "/24 dev " + peerEnd) &&
          inside("ip link set " + peerEnd + " up");
  }
  ~PeerNamespace() {
    Run("ip link del " + ourEnd_);
    if (created_) Run("ip netns del " + name_);
  }
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;

  bool ok() const { return ok_; }
  // Runs a command inside the namespace.
  bool inside(const std::string& command) const {
    return Run("ip netns exec " + name_ + " " + command);
  }
  bool sysctl(const std::string& path, const std::string& value) const {
    return inside("sh -c 'echo " + value + " > " + path + "'");
  }

 private:
  std::string name_;
  std::string ourEnd_;
  bool created_ = false;
  bool ok_ = false;
};

// Tests that change interfaces and routes need root inside the private namespace.
inline std::string WhyNoNamespaces() {
  if (!Isolated()) return "not inside the private test namespace (SONDREL_ISOLATED unset)";
  if (geteuid() != 0) return "needs root to make network namespaces";
  if (!Run("ip -V")) return "the ip program is missing";
  return {};
}

}  // namespace sondrel::testing
