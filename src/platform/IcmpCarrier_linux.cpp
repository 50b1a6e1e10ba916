// ICMP echo over one socket shared by every caller: each echo gets a sequence
// number of its own in a table, replies and errors are matched back by
// identifier and sequence, and whichever caller is waiting reads the socket
// for all of them (one reader at a time), sleeping until the next deadline.
// Each caller reports its own echoes as they end, and a cancel wakes whoever
// sleeps so that a waiting call ends at once.
#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <queue>
#include <random>
#include <system_error>

#include "platform/IcmpPacket_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"

namespace sondrel {
namespace {

using Clock = std::chrono::steady_clock;
using icmp::Received;

constexpr std::size_t kSlots = 65536;      // one per sequence number
constexpr std::size_t kChunk = 8;         // sends between two reads of the socket
constexpr std::size_t kRxMessages = 64;    // packets per recvmmsg
constexpr std::size_t kRxRoom = 65536;     // the largest IPv4 packet
constexpr std::size_t kControlRoom = 128;  // TTL and arrival stamp
constexpr std::size_t kErrorRoom = 4096;   // ICMP errors quote at most 576 bytes
constexpr int kBufferBytes = 8 << 20;      // replies of a large batch wait here until read
constexpr int kSendAttempts = 4;
constexpr std::int64_t kClockPairSlackNs = 2000;
constexpr int kSolRaw = 255;               // SOL_RAW and ICMP_FILTER from <linux/icmp.h>,
constexpr int kIcmpFilter = 1;             // which clashes with the libc headers

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::int64_t wallNs() {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The kernel stamps a packet's arrival on the wall clock only. How long it
// then waited in the socket's queue is the wall-clock difference over those
// few microseconds; taken from the monotonic time of the read it gives the
// arrival on the monotonic clock, which the send times use. A stamp that
// makes no sense (the wall clock was set meanwhile) leaves the read time.
std::int64_t ArrivalOnMonotonicClock(std::int64_t readAt, std::int64_t wallAt, const timespec& stamp) {
  const std::int64_t waited = wallAt - (static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec);
  constexpr std::int64_t kMostPlausible = 10'000'000'000;
  return wallAt > 0 && waited >= 0 && waited < kMostPlausible ? readAt - waited : readAt;
}

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string programPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("<program>");
}

// Distinct per carrier within the process, unlikely to meet another process's.
std::uint16_t nextRawIdentifier() {
  static std::atomic<std::uint32_t> counter{std::random_device{}()};
  return static_cast<std::uint16_t>(counter.fetch_add(1) ^ static_cast<std::uint32_t>(getpid()));
}

int openDatagram(std::uint16_t& identifier, int& error) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  // Binding to port 0 makes the kernel choose the echo identifier now.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  socklen_t size = sizeof local;
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    error = errno;
    close(fd);
    return -1;
  }
  identifier = ntohs(local.sin_port);
  const int on = 1;
  setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
  setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  return fd;
}

int openRaw(std::uint16_t& identifier, int& error) {
  const int fd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  // Only replies and errors reach us; on loopback this keeps our own requests out.
  const std::uint32_t filter =
      ~((1u << icmp::kEchoReply) | (1u << icmp::kDestUnreachable) | (1u << icmp::kSourceQuench) |
        (1u << icmp::kTimeExceeded) | (1u << icmp::kParameterProblem));
  setsockopt(fd, kSolRaw, kIcmpFilter, &filter, sizeof filter);
  identifier = nextRawIdentifier();
  // Every raw socket gets a copy of every reply on the machine. Those to
  // other identifiers (the other workers of a scan, other programs) are
  // dropped by the kernel, so that a flood of them cannot fill this queue
  // and push out our own replies. Errors pass: they quote our request.
  sock_filter code[] = {
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                 // X = IP header length
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                  // A = ICMP type
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, icmp::kEchoReply, 0, 2),
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),                  // A = echo identifier
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
  return fd;
}

void tune(int fd) {
  const int size = kBufferBytes;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  }
  // Arrival times from the kernel, so that a reply's time does not grow
  // while it waits for us to read it.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  // Large echoes go out in fragments instead of being refused for the path MTU.
  const int pmtu = IP_PMTUDISC_DONT;
  setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
}

bool isMulticast(std::uint32_t address) { return (ntohl(address) >> 28) == 0xe; }

}  // namespace

class SocketIcmpCarrier::Engine {
 public:
  explicit Engine(IcmpSocketKind want) : want_(want), slots_(kSlots) {}
  ~Engine() {
    if (fd_ >= 0) close(fd_);
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  int ensureOpen(std::string* why);
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests, const EchoWatch& watch);
  IcmpSocketKind openKind() const { return fd_.load() >= 0 ? kind_ : IcmpSocketKind::Automatic; }
  std::uint16_t identifier() const { return fd_.load() >= 0 ? identifier_ : 0; }

 private:
  struct Entry {
    std::int32_t sequence = -1;  // -1: not sent
    std::uint32_t ticket = 0;
    Clock::time_point deadline;
    std::atomic<std::int64_t> sentNs{0};
    bool finished = false;  // its reply is final
  };
  // The echoes of one echoMany call, on its caller's stack.
  struct Batch {
    Batch(std::vector<EchoReply>& r, std::size_t n, const EchoCancel* c)
        : replies(r), remaining(n), entries(new Entry[n]), cancel(c) {
      ended.reserve(n);
    }
    bool cancelled() const { return cancel && cancel->cancelled(); }
    std::vector<EchoReply>& replies;
    std::size_t remaining;
    std::unique_ptr<Entry[]> entries;
    const EchoCancel* cancel;
    std::vector<std::uint32_t> ended;  // indices, in the order the echoes ended
  };
  struct Slot {
    Batch* batch = nullptr;
    std::uint32_t index = 0;
    std::uint32_t destination = 0;
    std::uint32_t ticket = 0;  // tells a reused slot from the one a deadline was set for
    bool active = false;
  };
  struct Deadline {
    Clock::time_point at;
    std::uint16_t sequence;
    std::uint32_t ticket;
    bool operator>(const Deadline& other) const { return at > other.at; }
  };
  struct Arrival {
    Received what;
    std::int64_t atNs;    // when it came, as near as known
    std::int64_t readNs;  // when we read it
  };
  using Lock = std::unique_lock<std::mutex>;

  bool allocate(Batch& batch, std::size_t index, const EchoRequest& request, Clock::time_point now);
  void send(int fd, Batch& batch, std::size_t index, const EchoRequest& request,
            std::vector<std::uint8_t>& packet);
  void fail(Batch& batch, std::size_t index, std::int32_t status);
  void complete(Slot& slot, std::int32_t status, const Arrival* arrival);
  void finishUnsent(Batch& batch, std::size_t index, std::int32_t status);
  void cancelWaiting(Batch& batch);
  void report(Lock& lock, Batch& batch, std::size_t& reported, const EchoWatch& watch);
  void wakeAll();
  void waitUntil(Lock& lock, const std::function<bool()>& done);
  void lead(Lock& lock, const std::function<bool()>& done);
  void drainUnlessLed();
  void expire(Clock::time_point now);
  Clock::time_point nextDeadline();
  bool receive();
  void resetMessage(std::size_t index);
  void readErrorQueue();
  void waitReadable(Clock::time_point wake);
  void deliver();
  void wakeLeader();

  const IcmpSocketKind want_;

  std::mutex openMutex_;
  std::atomic<int> fd_{-1};
  int wakeFd_ = -1;
  IcmpSocketKind kind_ = IcmpSocketKind::Automatic;
  std::uint16_t identifier_ = 0;

  std::mutex mutex_;  // guards everything below except the reader's own buffers
  std::condition_variable cv_;
  std::vector<Slot> slots_;
  std::size_t freeSlots_ = kSlots;
  std::uint16_t nextSequence_ = 0;
  std::uint32_t nextTicket_ = 0;
  std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> deadlines_;
  bool leader_ = false;  // someone is reading the socket
  // When the reader's sleep ends; earlier deadlines must wake it. min while
  // it does not sleep.
  Clock::time_point leaderWake_ = Clock::time_point::min();
  int waiters_ = 0;
  bool completed_ = false;

  // The reader's own, touched only while leader_ is held.
  std::unique_ptr<std::uint8_t[]> rxData_;
  std::vector<mmsghdr> rxMessages_;
  std::vector<iovec> rxVectors_;
  std::vector<sockaddr_in> rxNames_;
  std::vector<std::uint8_t> rxControl_;
  std::vector<std::uint8_t> errorData_;
  std::vector<Arrival> arrivals_;
  bool errorPending_ = false;
};

int SocketIcmpCarrier::Engine::ensureOpen(std::string* why) {
  int fd = fd_.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  std::lock_guard guard(openMutex_);
  fd = fd_.load(std::memory_order_acquire);
  if (fd >= 0) return fd;

  std::string failures;
  std::uint16_t identifier = 0;
  IcmpSocketKind kind = IcmpSocketKind::Automatic;
  int error = 0;
  if (want_ != IcmpSocketKind::Raw) {
    fd = openDatagram(identifier, error);
    if (fd >= 0) {
      kind = IcmpSocketKind::Datagram;
    } else {
      failures = "datagram socket: " + errnoText(error);
    }
  }
  if (fd < 0 && want_ != IcmpSocketKind::Datagram) {
    fd = openRaw(identifier, error);
    if (fd >= 0) {
      kind = IcmpSocketKind::Raw;
    } else {
      failures += (failures.empty() ? "" : "; ") + ("raw socket: " + errnoText(error));
    }
  }
  if (fd >= 0 && wakeFd_ < 0) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
      failures = "eventfd: " + errnoText(errno);
      close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    if (why) {
      *why = "No ICMP socket can be opened (" + failures +
             "). To allow ping, either let your group open ICMP datagram sockets, as root: "
             "sysctl -w net.ipv4.ping_group_range=\"0 2147483647\" (put it in /etc/sysctl.d "
             "to keep it), or give the program the raw-socket capability: "
             "setcap cap_net_raw+ep " + programPath();
    }
    return -1;
  }
  tune(fd);
  identifier_ = identifier;
  kind_ = kind;
  fd_.store(fd, std::memory_order_release);
  if (why) why->clear();
  return fd;
}

std::vector<EchoReply> SocketIcmpCarrier::Engine::echoMany(const std::vector<EchoRequest>& requests,
                                                           const EchoWatch& watch) {
  const std::size_t n = requests.size();
  std::vector<EchoReply> replies(n);  // each says 11050 until answered
  if (n == 0) return replies;
  const int fd = ensureOpen(nullptr);
  if (fd < 0) {
    if (watch.ended)
      for (std::size_t i = 0; i < n; ++i) watch.ended(i, replies[i]);
    return replies;
  }

  Batch batch(replies, n, watch.cancel);
  struct WakeOnCancel {
    EchoCancel* cancel;
    ~WakeOnCancel() {
      if (cancel) cancel->clearWake();
    }
  } wakeOnCancel{watch.cancel};
  if (watch.cancel) watch.cancel->setWake([this] { wakeAll(); });
  struct WakeOnPoke {
    EchoPoke* poke;
    ~WakeOnPoke() {
      if (poke) poke->clearWake();
    }
  } wakeOnPoke{watch.settled ? watch.poke : nullptr};
  if (wakeOnPoke.poke) wakeOnPoke.poke->setWake([this] { wakeAll(); });

  std::size_t reported = 0;
  std::vector<std::uint8_t> packet;
  std::size_t next = 0;
  while (next < n && !batch.cancelled()) {
    const std::size_t begin = next;
    bool wake = false;
    {
      Lock lock(mutex_);
      if (freeSlots_ == 0) waitUntil(lock, [&] { return freeSlots_ > 0 || batch.cancelled(); });
      if (batch.cancelled()) break;
      const Clock::time_point now = Clock::now();
      for (; next < n && next - begin < kChunk && freeSlots_ > 0; ++next) {
        if (requests[next].data.size() > icmp::kMaxPayload) {
          finishUnsent(batch, next, icmp::kBufTooSmall);
          continue;
        }
        wake |= allocate(batch, next, requests[next], now);
      }
    }
    if (wake) wakeLeader();
    for (std::size_t i = begin; i < next; ++i) {
      if (batch.entries[i].sequence >= 0) send(fd, batch, i, requests[i], packet);
    }
    // Replies of a long batch are read between its sends, so the socket's
    // queue never has to hold them all.
    drainUnlessLed();
    Lock lock(mutex_);
    report(lock, batch, reported, watch);
  }
  Lock lock(mutex_);
  for (;;) {
    waitUntil(lock, [&] {
      return batch.remaining == 0 || (watch.ended && batch.ended.size() > reported) ||
             batch.cancelled() || (wakeOnPoke.poke && wakeOnPoke.poke->pending());
    });
    if (batch.cancelled()) cancelWaiting(batch);
    report(lock, batch, reported, watch);
    if (batch.remaining == 0) break;
    if (wakeOnPoke.poke && wakeOnPoke.poke->take()) {
      lock.unlock();
      watch.settled();
      lock.lock();
    }
  }
  return replies;
}

void SocketIcmpCarrier::Engine::finishUnsent(Batch& batch, std::size_t index, std::int32_t status) {
  batch.replies[index].status = status;
  batch.entries[index].finished = true;
  batch.ended.push_back(static_cast<std::uint32_t>(index));
  --batch.remaining;
}

void SocketIcmpCarrier::Engine::cancelWaiting(Batch& batch) {
  for (std::size_t i = 0; i < batch.replies.size(); ++i) {
    Entry& entry = batch.entries[i];
    if (entry.finished) continue;
    batch.replies[i].cancelled = true;
    if (entry.sequence >= 0) {
      Slot& slot = slots_[static_cast<std::uint16_t>(entry.sequence)];
      if (slot.active && slot.ticket == entry.ticket) {
        complete(slot, icmp::kGeneralFailure, nullptr);
        continue;
      }
    }
    finishUnsent(batch, i, icmp::kGeneralFailure);
  }
  // Our slots are free again: callers waiting for room may go on.
  if (waiters_ > 0) cv_.notify_all();
  completed_ = false;
}

void SocketIcmpCarrier::Engine::report(Lock& lock, Batch& batch, std::size_t& reported,
                                       const EchoWatch& watch) {
  if (!watch.ended) {
    reported = batch.ended.size();
    return;
  }
  // A reply is final once listed, so it is read without the lock.
  bool any = false;
  while (reported < batch.ended.size()) {
    const std::size_t index = batch.ended[reported++];
    lock.unlock();
    watch.ended(index, batch.replies[index]);
    lock.lock();
    any = true;
  }
  if (any && batch.remaining > 0 && watch.settled) {
    lock.unlock();
    watch.settled();
    lock.lock();
  }
}

void SocketIcmpCarrier::Engine::wakeAll() {
  // Taking the lock orders the wake after a waiter's check of the cancel.
  { Lock lock(mutex_); }
  cv_.notify_all();
  wakeLeader();
}

bool SocketIcmpCarrier::Engine::allocate(Batch& batch, std::size_t index, const EchoRequest& request,
                                         Clock::time_point now) {
  // Round robin: a sequence number comes back only after all others were
  // used, so a reply that comes very late finds its slot free and is dropped.
  while (slots_[nextSequence_].active) ++nextSequence_;
  const std::uint16_t sequence = nextSequence_++;
  Slot& slot = slots_[sequence];
  slot.active = true;
  slot.batch = &batch;
  slot.index = static_cast<std::uint32_t>(index);
  slot.destination = request.address;
  slot.ticket = ++nextTicket_;
  --freeSlots_;
  Entry& entry = batch.entries[index];
  entry.sequence = sequence;
  entry.ticket = slot.ticket;
  entry.deadline = now + std::chrono::milliseconds(request.timeoutMs);
  deadlines_.push({entry.deadline, sequence, slot.ticket});
  if (leader_ && entry.deadline < leaderWake_) {
    leaderWake_ = entry.deadline;
    return true;
  }
  return false;
}

void SocketIcmpCarrier::Engine::send(int fd, Batch& batch, std::size_t index,
                                     const EchoRequest& request, std::vector<std::uint8_t>& packet) {
  Entry& entry = batch.entries[index];
  // A datagram socket puts in its own identifier and checksum.
  icmp::BuildEchoRequest(packet, identifier_, static_cast<std::uint16_t>(entry.sequence),
                         request.data);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = request.address;
  int attempts = 0;
  for (;;) {
    entry.sentNs.store(nowNs());
    if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0) {
      return;
    }
    const int error = errno;
    if (error == EINTR) continue;
    // A send also fails with the error an ICMP message left pending on the
    // socket for an earlier echo (its details are in the error queue); only
    // a failure that repeats belongs to this echo.
    if (error != EAGAIN && error != ENOBUFS && ++attempts < kSendAttempts) continue;
    if ((error == EAGAIN || error == ENOBUFS) && Clock::now() < entry.deadline) {
      if (batch.cancelled()) return;  // the cancel finishes this echo
      // The send queue is full: read what has come back and wait for room.
      drainUnlessLed();
      pollfd room{fd, POLLOUT, 0};
      poll(&room, 1, 10);
      continue;
    }
    fail(batch, index, icmp::StatusOfErrno(error));
    return;
  }
}

void SocketIcmpCarrier::Engine::fail(Batch& batch, std::size_t index, std::int32_t status) {
  Lock lock(mutex_);
  const Entry& entry = batch.entries[index];
  Slot& slot = slots_[static_cast<std::uint16_t>(entry.sequence)];
  if (slot.active && slot.ticket == entry.ticket) complete(slot, status, nullptr);
  if (completed_ && waiters_ > 0) cv_.notify_all();
  completed_ = false;
}

void SocketIcmpCarrier::Engine::complete(Slot& slot, std::int32_t status, const Arrival* arrival) {
  Batch& batch = *slot.batch;
  EchoReply& out = batch.replies[slot.index];
  out.status = status;
  if (arrival) {
    const Received& r = arrival->what;
    out.replyAddress = r.from;
    const std::int64_t sent = batch.entries[slot.index].sentNs.load();
    // An arrival before the send means the kernel's stamp misled us.
    const std::int64_t came = arrival->atNs > sent ? arrival->atNs : arrival->readNs;
    const std::int64_t us = sent > 0 && came > sent ? (came - sent) / 1000 : 0;
    out.roundTripUs = static_cast<std::uint32_t>(std::min<std::int64_t>(us, UINT32_MAX));
    out.roundTripMs = out.roundTripUs / 1000;
    if (!r.error) {
      out.ttl = r.ttl;
      out.data.assign(reinterpret_cast<const char*>(r.data), r.size);
      out.dataSize = static_cast<std::uint32_t>(r.size);
    }
  }
  slot.active = false;
  slot.batch = nullptr;
  ++freeSlots_;
  batch.entries[slot.index].finished = true;
  batch.ended.push_back(slot.index);
  --batch.remaining;
  completed_ = true;
}

void SocketIcmpCarrier::Engine::waitUntil(Lock& lock, const std::function<bool()>& done) {
  while (!done()) {
    if (!leader_) {
      lead(lock, done);
    } else {
      ++waiters_;
      cv_.wait(lock);
      --waiters_;
    }
  }
}

void SocketIcmpCarrier::Engine::lead(Lock& lock, const std::function<bool()>& done) {
  leader_ = true;
  while (!done()) {
    expire(Clock::now());
    if (done()) break;
    const Clock::time_point wake = nextDeadline();
    leaderWake_ = wake;
    lock.unlock();
    if (!receive()) waitReadable(wake);
    lock.lock();
    deliver();
  }
  leader_ = false;
  leaderWake_ = Clock::time_point::min();
  completed_ = false;
  // Someone else may still wait for replies and must take over the reading.
  if (waiters_ > 0) cv_.notify_all();
}

void SocketIcmpCarrier::Engine::drainUnlessLed() {
  {
    Lock lock(mutex_);
    if (leader_) return;
    leader_ = true;
    leaderWake_ = Clock::time_point::min();
  }
  receive();
  Lock lock(mutex_);
  deliver();
  leader_ = false;
  completed_ = false;
  if (waiters_ > 0) cv_.notify_all();
}

void SocketIcmpCarrier::Engine::expire(Clock::time_point now) {
  while (!deadlines_.empty() && deadlines_.top().at <= now) {
    const Deadline d = deadlines_.top();
    deadlines_.pop();
    Slot& slot = slots_[d.sequence];
    if (slot.active && slot.ticket == d.ticket) complete(slot, icmp::kTimedOut, nullptr);
  }
  if (completed_ && waiters_ > 0) cv_.notify_all();
  completed_ = false;
}

Clock::time_point SocketIcmpCarrier::Engine::nextDeadline() {
  while (!deadlines_.empty()) {
    const Deadline& d = deadlines_.top();
    const Slot& slot = slots_[d.sequence];
    if (slot.active && slot.ticket == d.ticket) return d.at;
    deadlines_.pop();  // answered already
  }
  return Clock::time_point::max();
}

void SocketIcmpCarrier::Engine::resetMessage(std::size_t i) {
  rxVectors_[i] = {rxData_.get() + i * kRxRoom, kRxRoom};
  msghdr& m = rxMessages_[i].msg_hdr;
  m = {};
  m.msg_name = &rxNames_[i];
  m.msg_namelen = sizeof(sockaddr_in);
  m.msg_iov = &rxVectors_[i];
  m.msg_iovlen = 1;
  m.msg_control = rxControl_.data() + i * kControlRoom;
  m.msg_controllen = kControlRoom;
}

bool SocketIcmpCarrier::Engine::receive() {
  arrivals_.clear();
  const int fd = fd_.load();
  if (!rxData_) {
    rxData_.reset(new std::uint8_t[kRxMessages * kRxRoom]);  // untouched pages cost nothing
    rxMessages_.resize(kRxMessages);
    rxVectors_.resize(kRxMessages);
    rxNames_.resize(kRxMessages);
    rxControl_.resize(kRxMessages * kControlRoom);
    errorData_.resize(kErrorRoom);
    arrivals_.reserve(kRxMessages);
    for (std::size_t i = 0; i < kRxMessages; ++i) resetMessage(i);
  }
  bool got = false;
  if (errorPending_) {
    readErrorQueue();
    got = !arrivals_.empty();
  }
  const int n = recvmmsg(fd, rxMessages_.data(), kRxMessages, MSG_DONTWAIT, nullptr);
  std::int64_t at = nowNs();
  std::int64_t wallAt = wallNs();
  // Read the two clocks as one instant; if we were preempted between them,
  // the stamps cannot be moved across and the read time stands.
  const std::int64_t atAfter = nowNs();
  if (atAfter - at > kClockPairSlackNs) wallAt = 0;
  at += (atAfter - at) / 2;
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && kind_ == IcmpSocketKind::Datagram) {
      // An ICMP error was reported in place of data; its details are queued.
      readErrorQueue();
      return true;
    }
    return got;
  }
  // Only the headers a call filled need setting up again: a single reply
  // touches one, not all of them.
  struct ResetAfter {
    Engine* engine;
    int used;
    ~ResetAfter() {
      for (int i = 0; i < used; ++i) engine->resetMessage(static_cast<std::size_t>(i));
    }
  } resetAfter{this, n};
  for (int i = 0; i < n; ++i) {
    const msghdr& m = rxMessages_[i].msg_hdr;
    const std::uint8_t* data = rxData_.get() + static_cast<std::size_t>(i) * kRxRoom;
    const std::size_t size = std::min<std::size_t>(rxMessages_[i].msg_len, kRxRoom);
    std::uint8_t ttl = 0;
    std::int64_t arrived = at;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&m), c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
        int value = 0;
        std::memcpy(&value, CMSG_DATA(c), sizeof value);
        ttl = static_cast<std::uint8_t>(value);
      } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec stamp;
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        arrived = ArrivalOnMonotonicClock(at, wallAt, stamp);
      }
    }
    if (kind_ == IcmpSocketKind::Raw) {
      arrivals_.push_back({icmp::ParseRawPacket(data, size, identifier_), arrived, at});
    } else {
      arrivals_.push_back(
          {icmp::ParseDatagramReply(data, size, identifier_, rxNames_[i].sin_addr.s_addr, ttl), arrived, at});
    }
  }
  return true;
}

void SocketIcmpCarrier::Engine::readErrorQueue() {
  errorPending_ = false;
  const int fd = fd_.load();
  for (int k = 0; k < 64; ++k) {  // the rest wakes the next poll
    sockaddr_in original{};
    iovec vector{errorData_.data(), errorData_.size()};
    alignas(cmsghdr) std::uint8_t control[512];
    msghdr m{};
    m.msg_name = &original;
    m.msg_namelen = sizeof original;
    m.msg_iov = &vector;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t size = recvmsg(fd, &m, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (size < 0) return;
    const std::int64_t at = nowNs();
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
      sock_extended_err error;
      std::memcpy(&error, CMSG_DATA(c), sizeof error);
      const std::int32_t status = error.ee_origin == SO_EE_ORIGIN_ICMP
                                      ? icmp::StatusOfIcmpError(error.ee_type, error.ee_code)
                                      : icmp::StatusOfErrno(static_cast<int>(error.ee_errno));
      sockaddr_in offender{};
      const auto* from = SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(c)));
      std::memcpy(&offender, from, sizeof offender);
      const std::uint32_t sender = offender.sin_family == AF_INET ? offender.sin_addr.s_addr : 0;
      arrivals_.push_back({icmp::ParseDatagramError(errorData_.data(), static_cast<std::size_t>(size),
                                                    identifier_, sender, original.sin_addr.s_addr,
                                                    status),
                           at, at});
    }
  }
}

void SocketIcmpCarrier::Engine::waitReadable(Clock::time_point wake) {
  pollfd fds[2] = {{fd_.load(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  timespec left{};
  timespec* timeout = nullptr;
  if (wake != Clock::time_point::max()) {
    const auto ns = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake - Clock::now()).count());
    left.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    left.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    timeout = &left;
  }
  if (ppoll(fds, 2, timeout, nullptr) <= 0) return;
  if (fds[1].revents & POLLIN) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t r = read(wakeFd_, &count, sizeof count);
  }
  if (fds[0].revents & POLLERR) {
    if (kind_ == IcmpSocketKind::Datagram) {
      errorPending_ = true;
    } else {
      int error = 0;  // clear it, or every poll would return at once
      socklen_t size = sizeof error;
      getsockopt(fds[0].fd, SOL_SOCKET, SO_ERROR, &error, &size);
    }
  }
}

void SocketIcmpCarrier::Engine::deliver() {
  for (const Arrival& a : arrivals_) {
    const Received& r = a.what;
    if (!r.ours) continue;
    Slot& slot = slots_[r.sequence];
    if (!slot.active) continue;  // late, or never ours
    if (r.error) {
      if (r.echoedTo != 0 && r.echoedTo != slot.destination) continue;
    } else if (r.from != slot.destination && !isMulticast(slot.destination)) {
      continue;  // another program's echo that happens to share our identifier
    }
    complete(slot, r.status, &a);
  }
  arrivals_.clear();
  if (completed_ && waiters_ > 0) cv_.notify_all();
  completed_ = false;
}

void SocketIcmpCarrier::Engine::wakeLeader() {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof one);
}

SocketIcmpCarrier::SocketIcmpCarrier(IcmpSocketKind kind) : engine_(std::make_unique<Engine>(kind)) {}
SocketIcmpCarrier::~SocketIcmpCarrier() = default;

std::vector<EchoReply> SocketIcmpCarrier::echoMany(const std::vector<EchoRequest>& requests,
                                                   const EchoWatch& watch) {
  return engine_->echoMany(requests, watch);
}

bool SocketIcmpCarrier::available(std::string* why) { return engine_->ensureOpen(why) >= 0; }

IcmpSocketKind SocketIcmpCarrier::openKind() const { return engine_->openKind(); }
std::uint16_t SocketIcmpCarrier::identifier() const { return engine_->identifier(); }

std::shared_ptr<IIcmpCarrier> SystemIcmpCarrier() {
  static const std::shared_ptr<IIcmpCarrier> carrier = std::make_shared<SocketIcmpCarrier>();
  return carrier;
}

}  // namespace sondrel
