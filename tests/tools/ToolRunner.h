// Runs the built kelcore binary (KELCORE_TOOL_PATH) as a child process for the end-to-end
// tests: arguments, optional standard input, standard output and error captured whole, and how
// the process ended. The child gets sanitizer options that make any sanitizer report end it by
// a signal (abort) rather than an ordinary exit status, so that a crash under a sanitizer build
// can never pass for a clean failure. A child that runs past the time limit is killed and
// reported as ended by SIGKILL.
//
// runInProcess runs the same command line through the tool's command layer inside this
// process, with string streams for standard input, output and error: no process start per run,
// for the sweeps that run the tool thousands of times. A crash there ends the test binary.
//
// Stateless; safe from any thread (each run has its own pipes).
#pragma once

#include <string>
#include <vector>

namespace kelvor::tools {

class ToolRunner {
 public:
  struct Result {
    int status = -1;  // the exit status, or -1 when a signal ended the process
    int signal = 0;   // the signal that ended it, 0 when it exited
    std::string out;  // standard output
    std::string err;  // standard error
  };

  static constexpr int TIME_LIMIT_SECONDS = 30;

  // Runs the tool with the arguments (not including the program name); `input` is written to
  // its standard input, which is then closed. Failing to start it throws std::runtime_error.
  static Result run(const std::vector<std::string>& args, const std::string& input = "");
  // The same in process; standard output is not a terminal.
  static Result runInProcess(const std::vector<std::string>& args, const std::string& input = "");

 private:
  ToolRunner() = default;
};

}  // namespace kelvor::tools
