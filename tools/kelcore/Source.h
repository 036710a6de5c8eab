// Where the tool's inputs come from.
//
// SRC  := PATH | "-" | "hex:" hex-digits      a file's bytes, standard input, or the bytes
//                                             written out (white space between digits allowed)
// JSON := text | "@" PATH                      JSON text inline, or the text of a file
//
// Standard input can be read once per command: a second "-" raises UsageError, as does a file
// that cannot be read.
#pragma once

#include <istream>
#include <string>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::tools {

class Source {
 public:
  explicit Source(std::istream& standardInput) : stdin_(standardInput) {}

  // The bytes of a SRC; `what` names the option in messages ("--tds").
  lang::Ref<lang::ByteArray> bytes(const std::string& src, const std::string& what);
  // The text of a JSON argument.
  std::string jsonText(const std::string& argument, const std::string& what);

 private:
  std::string readAll(const std::string& path, const std::string& what);

  std::istream& stdin_;
  bool stdinUsed_ = false;
};

}  // namespace kelvor::tools
