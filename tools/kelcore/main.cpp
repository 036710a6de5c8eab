// kelcore: describe types, encode and decode images, annotated dumps. This file only hands the
// process's arguments and standard streams to CommandLine; the work is in Commands.
#include <unistd.h>

#include <iostream>

#include "tools/kelcore/CommandLine.h"

int main(int argc, char** argv) {
  using kelvor::tools::CommandLine;
  using kelvor::tools::Commands;
  return CommandLine::run(argc, argv, Commands::Streams{std::cin, std::cout, std::cerr},
                          isatty(STDOUT_FILENO) == 1);
}
