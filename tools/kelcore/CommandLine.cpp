#include "tools/kelcore/CommandLine.h"

#include <cstdint>
#include <limits>
#include <ostream>

#include <CLI/CLI.hpp>

namespace kelvor::tools {

namespace {

constexpr const char* FOOTER = R"(SRC is a file path, '-' for standard input, or 'hex:' followed by hex digits
(white space allowed). JSON is JSON text, or '@FILE' for the text of a file.

A TDS whose attribute list is a single opcode-28 entry describes a collection
type; any other TDS an object type. Without --format-descriptor the tool uses
its default format descriptor (21 bytes):
  00000000000108000000000000c3000000000041b010
which places NUMBER slots at 22 bytes, dates with the year high byte first.

--names gives attribute names, which the TDS does not carry:
  names := [entry, ...]   entry := "NAME" | null | {"NAME": names}
the object form naming the attributes of an embedded object, or of the element
object type of a collection attribute; for a collection type, the names of its
element object type.

Exit status: 0 done, 1 the driver refused the input ("kelcore: error N: ..."),
2 a usage or I/O error.)";

void addTypeOptions(CLI::App& command, Commands::TypeOptions& type, bool layout) {
  command.add_option("--tds", type.tds, "the type's type descriptor segment (SRC)")->required();
  if (layout) {
    command.add_option("--layout", type.layout, "the linear layout description (SRC)");
  }
  command.add_option("--format-descriptor", type.formatDescriptor, "the format descriptor (SRC)");
  command.add_option("--names", type.names, "attribute names (JSON)");
}

}  // namespace

int CommandLine::run(int argc, const char* const* argv, Commands::Streams streams,
                     bool outIsTerminal) {
  CLI::App app("kelcore: describe types, encode and decode images of user-defined types, "
               "and dump them field by field",
               "kelcore");
  app.footer(FOOTER);
  app.require_subcommand(1);

  Commands::TypeOptions describeOptions;
  auto* describe = app.add_subcommand("describe", "print the descriptor tree as JSON");
  addTypeOptions(*describe, describeOptions, false);

  Commands::EncodeOptions encodeOptions;
  auto* encode = app.add_subcommand("encode", "write the image of a JSON value");
  addTypeOptions(*encode, encodeOptions.type, false);
  encode->add_option("--value", encodeOptions.value, "the value (JSON)")->required();
  encode->add_flag("--raw", encodeOptions.raw, "the value is in the raw model (byte forms)");
  auto* hex = encode->add_flag("--hex", encodeOptions.hex, "print the image as lowercase hex");
  auto* out = encode->add_option("--out", encodeOptions.out, "write the image to FILE");
  hex->excludes(out);

  Commands::DecodeOptions decodeOptions;
  auto* decode = app.add_subcommand("decode", "read an image and print its value as JSON");
  addTypeOptions(*decode, decodeOptions.type, true);
  decode->add_option("--image", decodeOptions.image, "the image (SRC)")->required();
  decode->add_flag("--raw", decodeOptions.raw, "print the raw model (byte forms)");
  decode->add_option("--offset", decodeOptions.offset, "where the image starts")
      ->check(CLI::NonNegativeNumber);
  decode->add_option("--begin", decodeOptions.begin, "first element of a slice (1-based)")
      ->check(CLI::Range(int64_t{1}, std::numeric_limits<int64_t>::max()));
  decode->add_option("--count", decodeOptions.count, "elements of a slice (-1: all from begin)")
      ->check(CLI::Range(-1, std::numeric_limits<int32_t>::max()));

  Commands::DumpOptions dumpOptions;
  bool colour = false;
  bool noColour = false;
  auto* dump = app.add_subcommand("dump", "list an image field by field");
  addTypeOptions(*dump, dumpOptions.type, true);
  dump->add_option("--image", dumpOptions.image, "the image (SRC)")->required();
  dump->add_option("--offset", dumpOptions.offset, "where the image starts")
      ->check(CLI::NonNegativeNumber);
  auto* colourFlag = dump->add_flag("--colour,--color", colour, "colour even when not a terminal");
  dump->add_flag("--no-colour,--no-color", noColour, "no colour even on a terminal")
      ->excludes(colourFlag);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, streams.out, streams.err);
  } catch (const CLI::ParseError& e) {
    streams.err << "kelcore: " << e.what() << "\n"
                << "Run 'kelcore --help' or 'kelcore SUBCOMMAND --help' for usage.\n";
    return Commands::EXIT_USAGE;
  }

  if (*describe) return Commands::describe(describeOptions, streams);
  if (*encode) return Commands::encode(encodeOptions, streams);
  if (*decode) return Commands::decode(decodeOptions, streams);
  dumpOptions.colour = colour || (!noColour && outIsTerminal);
  return Commands::dump(dumpOptions, streams);
}

}  // namespace kelvor::tools
