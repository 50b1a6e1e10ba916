// The scan worker: probes one address and reports back to the main window.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("PingIPscan 2008112");
    return 0;
  }
  std::fputs("usage: PingIPscan2008112 WINDOW,ADDRESS,INDEX,...\n", stderr);
  return 2;
}
