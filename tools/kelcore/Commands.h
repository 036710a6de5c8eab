// The tool's four subcommands as functions: each takes its options and the streams to use,
// and returns the exit status. main only parses the command line into these options.
//
// Exit status: 0 done; 1 the driver refused the input (standard error: "kelcore: error N:
// <message>", N the driver's error code; a platform failure such as an image that ends early
// prints its exception class instead of N); 2 a usage or I/O error ("kelcore: <what>").
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace kelvor::tools {

class Commands {
 public:
  static constexpr int EXIT_OK = 0;
  static constexpr int EXIT_DRIVER_ERROR = 1;
  static constexpr int EXIT_USAGE = 2;

  // What every subcommand takes: the type and how it is served.
  struct TypeOptions {
    std::string tds;                              // SRC, required
    std::optional<std::string> formatDescriptor;  // SRC; the default one when absent
    std::optional<std::string> layout;            // SRC
    std::optional<std::string> names;             // JSON
  };
  struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
  };
  struct EncodeOptions {
    TypeOptions type;
    std::string value;               // JSON
    bool raw = false;
    bool hex = false;                // print lowercase hex and a newline
    std::optional<std::string> out;  // write the bytes to this file
  };
  struct DecodeOptions {
    TypeOptions type;
    std::string image;  // SRC
    bool raw = false;
    int64_t offset = 0;
    std::optional<int64_t> begin;  // 1-based, collections only
    std::optional<int32_t> count;  // -1 or absent: every element from begin on
  };
  struct DumpOptions {
    TypeOptions type;
    std::string image;  // SRC
    int64_t offset = 0;
    bool colour = false;
  };

  static int describe(const TypeOptions& options, Streams streams);
  static int encode(const EncodeOptions& options, Streams streams);
  static int decode(const DecodeOptions& options, Streams streams);
  static int dump(const DumpOptions& options, Streams streams);

 private:
  Commands() = default;
  // Runs a command body, turning what it raises into the message and exit status above.
  template <typename Body>
  static int guarded(std::ostream& err, Body body);
};

}  // namespace kelvor::tools
