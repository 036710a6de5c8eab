#include "tools/kelcore/Source.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/kelcore/ScalarText.h"
#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {

namespace {
constexpr std::string_view HEX_PREFIX = "hex:";
}  // namespace

lang::Ref<lang::ByteArray> Source::bytes(const std::string& src, const std::string& what) {
  if (src.compare(0, HEX_PREFIX.size(), HEX_PREFIX) == 0) {
    return ScalarText::parseHex(std::string_view(src).substr(HEX_PREFIX.size()), what);
  }
  const std::string data = readAll(src, what);
  if (data.size() > static_cast<size_t>(INT32_MAX)) throw UsageError(what + ": input too large");
  auto out = lang::ByteArray::make(static_cast<int64_t>(data.size()));
  if (!data.empty()) std::memcpy(out->data(), data.data(), data.size());
  return out;
}

std::string Source::jsonText(const std::string& argument, const std::string& what) {
  if (!argument.empty() && argument[0] == '@') return readAll(argument.substr(1), what);
  return argument;
}

std::string Source::readAll(const std::string& path, const std::string& what) {
  if (path == "-") {
    if (stdinUsed_) throw UsageError(what + ": standard input is already taken by another option");
    stdinUsed_ = true;
    std::ostringstream text;
    try {
      text << stdin_.rdbuf();
    } catch (const std::ios_base::failure& e) {
      throw UsageError(what + ": cannot read standard input: " + e.what());
    }
    if (stdin_.bad()) throw UsageError(what + ": cannot read standard input");
    return text.str();
  }
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw UsageError(what + ": " + path + " is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError(what + ": cannot open " + path + ": " + std::strerror(errno));
  try {
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw UsageError(what + ": cannot read " + path);
    return data;
  } catch (const std::ios_base::failure& e) {
    // The stream buffer reports a failed read by throwing.
    throw UsageError(what + ": cannot read " + path + ": " + e.what());
  }
}

}  // namespace kelvor::tools
