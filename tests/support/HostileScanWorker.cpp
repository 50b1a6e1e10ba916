// A scan worker that misbehaves on purpose. Started by the scan run with its
// real command line, it writes to the inherited report descriptor what
// SONDREL_HOSTILE_MODE asks for, then one honest report per address it was
// given (index k: "k,2,64,,", so the scan can finish), and ends:
//
//   garbage     256 KiB of pseudo-random bytes (NULs and identifier bytes
//               among them), then a NUL, then 5,000 frames of identifier 3
//               holding pseudo-random text
//   overlong    frames of 257 bytes up to 70,000 bytes carrying a report
//   identifier  whole reports under identifiers other than 3
//   stray       reports for indexes it was not given, out of the table and
//               malformed ones; after the honest ones, repeats of them
//   names       instead of the honest reports, reports whose host and MAC
//               hold commas, control characters, escapes and a long name
//   flood       the honest report of its first index, then reports the run
//               must drop (repeats, strays, wrong identifiers, cut and bad
//               shapes) until it has sent 100,000 and the file named by
//               SONDREL_HOSTILE_STOP exists (at most 60 s), then the rest
//   cannot      says it has no ICMP socket and exits with status 3, as the
//               worker does
//   killed      the honest report of its first index, then SIGKILL to itself
//   killonce    as killed for the first worker only (it makes the file named
//               by SONDREL_HOSTILE_STOP); later workers are honest
//
// The command line is read here on its own terms (not with the program's
// parser): FD, three address/index pairs, the delay, then further pairs.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_fd = -1;

bool Send(const std::string& bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::send(g_fd, p, left, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string Frame(const std::string& text, char identifier = 3) {
  return std::string(1, identifier) + text + std::string(1, '\0');
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : text) {
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return fields;
}

bool Exists(const char* path) {
  struct stat st{};
  return path && ::stat(path, &st) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("PingIPscan 2008112");
    return 0;
  }
  if (argc != 2) return 2;
  const std::vector<std::string> fields = Split(argv[1]);
  if (fields.size() < 8) return 2;
  g_fd = std::atoi(fields[0].c_str());
  std::vector<long> indexes;
  for (std::size_t at : {2u, 4u, 6u})
    if (!fields[at - 1].empty()) indexes.push_back(std::atol(fields[at].c_str()));
  for (std::size_t at = 9; at < fields.size(); at += 2) indexes.push_back(std::atol(fields[at].c_str()));
  if (indexes.empty()) return 2;
  const long first = indexes.front();
  const long past = indexes.back() + 1;  // a run of consecutive indexes

  const char* modeText = std::getenv("SONDREL_HOSTILE_MODE");
  const std::string mode = modeText ? modeText : "";
  const auto honest = [](long k) { return Frame(std::to_string(k) + ",2,64,,"); };
  std::size_t nextHonest = 0;

  if (mode == "cannot") {
    std::fputs("no ICMP socket here\n", stderr);
    return 3;
  }
  const char* once = std::getenv("SONDREL_HOSTILE_STOP");
  if (mode == "killed" || (mode == "killonce" && !Exists(once))) {
    if (mode == "killonce") std::ofstream(once) << "killed\n";
    Send(honest(first));
    std::raise(SIGKILL);
  }

  if (mode == "garbage") {
    unsigned state = 12345;
    const auto next = [&state] {
      state = state * 1103515245u + 12345u;
      return static_cast<char>((state >> 16) & 0xFF);
    };
    std::string junk;
    for (int k = 0; k < 256 * 1024; ++k) junk += next();
    Send(junk + std::string(1, '\0'));
    // Frames of the right identifier holding junk.
    for (int k = 0; k < 5000; ++k) {
      std::string text;
      for (int n = static_cast<unsigned char>(next()) % 80; n > 0; --n) {
        const char c = next();
        text += c == '\0' ? ',' : c;
      }
      Send(Frame(text));
    }
  } else if (mode == "overlong") {
    for (std::size_t size : {257u, 300u, 1000u, 4097u, 70000u}) {
      // Identifier, report, padding in the host field, NUL: `size` bytes.
      std::string text = std::to_string(first) + ",7,99,";
      text += std::string(size - text.size() - 3, 'H') + ",";
      Send(Frame(text));
    }
  } else if (mode == "identifier") {
    for (char id : {'\0', '\x02', '\x04', '\x83', '\xff'})
      for (long k = first; k < past; ++k) Send(Frame(std::to_string(k) + ",7,99,WRONG,", id));
  } else if (mode == "stray") {
    for (const std::string& text :
         {std::string("-1,Dead"), std::to_string(past) + ",Dead", std::to_string(past) + ",7,99,STRAY,",
          std::string("1000000,Dead"), std::string("99999999999999999999,Dead"),
          std::string("abc,Dead"), std::string(",Dead"), std::string(""),
          std::to_string(first) + ",Alive", std::to_string(first) + ",7",
          std::to_string(first) + ",7,99", std::to_string(first) + ",Dead,64,,",
          std::to_string(first) + ",x7,99,,", std::to_string(first) + ",7,-1,,",
          std::to_string(first) + ",7,,,"})
      Send(Frame(text));
  } else if (mode == "names") {
    static const char* kNames[] = {
        "na,me,00-1A-2B-3C-4D-5E",                 // a comma in the name
        "ab\r\ncd\x01\x7f\tef,00-1a-2b-3c-4d-5e",  // control characters
        "\x1b[31mred\x1b[0m,\x1b[31m",              // escapes; a MAC that is none
        "%LONG%,00-1A-2B-3C-4D-5E,extra,fields"};
    for (long k = first; k < past; ++k) {
      std::string names = kNames[(k - first) % 4];
      if (names.rfind("%LONG%", 0) == 0) names = std::string(200, 'L') + names.substr(6);
      Send(Frame(std::to_string(k) + ",1,64," + names));
    }
    nextHonest = indexes.size();
  } else if (mode == "flood") {
    Send(honest(first));
    nextHonest = 1;
    const char* stop = std::getenv("SONDREL_HOSTILE_STOP");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const std::string dropped[] = {
        Frame(std::to_string(first) + ",7,99,FLOOD,"), Frame(std::to_string(past + 1000) + ",Dead"),
        Frame(std::to_string(first) + ",7,99,WRONG,", 4), Frame("garbage"),
        Frame(std::to_string(first) + ",Dead,Dead")};
    long sent = 0;
    std::string batch;
    for (;;) {
      batch.clear();
      for (int k = 0; k < 1000; ++k, ++sent) batch += dropped[sent % 5];
      if (!Send(batch)) return 4;
      if (sent >= 100000 && (!stop || Exists(stop))) break;
      if (std::chrono::steady_clock::now() > end) break;
    }
  }

  for (std::size_t k = nextHonest; k < indexes.size(); ++k)
    if (!Send(honest(indexes[k]))) return 4;
  if (mode == "stray")
    for (long k : indexes) Send(Frame(std::to_string(k) + ",7,99,AGAIN,"));
  return 0;
}
