#include "cli/CliPing.h"

int main(int argc, char** argv) { return sondrel::cli::Main(argc, argv); }
