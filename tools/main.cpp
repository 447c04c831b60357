#include <csignal>

#include "tools/command_line.h"

int main(int argc, char** argv) {
  // A closed pipe or socket is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  return textrelay::RunCommandLine(argc, argv);
}
