// The tool's command line: the subcommands, their options and the help text, parsed into the
// options of Commands and run. main hands it the process's arguments and standard streams; the
// tests hand it string streams and run whole command lines in process.
//
// Stateless; each run parses into its own options.
#pragma once

#include "tools/kelcore/Commands.h"

namespace kelvor::tools {

class CommandLine {
 public:
  // Parses argv (argv[0] the program name) and runs the subcommand it names; returns the exit
  // status of Commands, or EXIT_USAGE for a command line that does not parse. Help goes to
  // streams.out, parse errors to streams.err. `outIsTerminal` says whether streams.out is a
  // terminal: the dump is coloured by default only there.
  static int run(int argc, const char* const* argv, Commands::Streams streams,
                 bool outIsTerminal);

 private:
  CommandLine() = default;
};

}  // namespace kelvor::tools
