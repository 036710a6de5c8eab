// The driver's character set object: one database character set, named by its IANA MIBenum
// id, with the conversions of byte strings between it and the other sets and between it and
// the platform's text (UTF-8). Conversions run through iconv and are strict: bytes that are
// not valid in the source set, or a character the target set cannot hold, raise
// ERR_CONVERSION; nothing is replaced or dropped silently. Two conversions skip iconv and copy,
// after the same checks: bytes all below 0x80 between US-ASCII, ISO-8859-1 and UTF-8 (the
// same characters in each), and UTF-8 into UTF-8 (validated: shortest forms, no surrogates,
// nothing above U+10FFFF).
//
// Sets converted: 3 US-ASCII, 4 ISO-8859-1, 106 UTF-8, 1013 UTF-16BE (no byte-order mark).
// Every other id (-1, a database set the connection did not name, among them) has a
// converter too, which knows only its id: bytes of that set stay as they are (a conversion
// from the same id copies them), and any conversion into or out of it raises ERR_CONVERSION,
// so that a value is never passed on in a set other than the one it claims.
//
// Thread rule: immutable; forId hands out one shared instance per id, created once and kept for
// the life of the process (values may point at it without a count). iconv
// descriptors carry state, so each is used by one conversion at a time: a conversion takes an
// idle descriptor of its direction from a shared pool (opening one only when none is idle)
// and gives it back reset, so any thread may convert at any time and a descriptor is opened
// once per direction and concurrent use, not once per conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::jdbc {

class CharsetConverter final : public lang::Object {
 public:
  static constexpr int32_t US_ASCII = 3;
  static constexpr int32_t ISO_8859_1 = 4;
  static constexpr int32_t UTF_8 = 106;
  static constexpr int32_t UTF_16BE = 1013;

  // The converter of any id, the same instance on every call. Thread-safe.
  static lang::Ref<CharsetConverter> forId(int32_t id);
  // The converter of a set we can convert, or null for any other id.
  static lang::Ref<CharsetConverter> find(int32_t id);

  // The MIBenum id.
  int32_t id() const noexcept { return id_; }
  // The set's name as iconv knows it; null for a set we cannot convert.
  const char* name() const noexcept { return name_; }
  // Whether bytes can be converted into and out of this set.
  bool canConvert() const noexcept { return name_ != nullptr; }

  // bytes[offset, offset + length), taken in the set `from`, as bytes of this set. A range
  // outside bytes: IndexOutOfBoundsException. Equal ids copy the range unchanged; otherwise a
  // set that cannot convert, on either side, raises ERR_CONVERSION.
  lang::Ref<lang::ByteArray> convert(const CharsetConverter& from, const lang::ByteArray& bytes,
                                     int32_t offset, int32_t length) const;
  // UTF-8 text as bytes of this set (ERR_CONVERSION for a set that cannot convert).
  lang::Ref<lang::ByteArray> encode(std::string_view text) const;
  // Whether encode(text) would give the text's own bytes: a set that converts, and text that
  // is the same in it (raising as encode does for malformed UTF-8 into UTF-8).
  bool encodesAsIs(std::string_view text) const;
  // Bytes of this set as UTF-8 text.
  std::string decode(const int8_t* data, int32_t length) const;
  std::string decode(const lang::ByteArray& bytes) const {
    return decode(bytes.data(), bytes.length());
  }
  // decode's text as a platform string; a short text that needs no conversion is copied once,
  // straight into the string.
  lang::Ref<lang::String> decodeString(const int8_t* data, int32_t length) const;

  const char* className() const noexcept override { return "CharsetConverter"; }
  std::string toString() const override;

 private:
  CharsetConverter(int32_t id, const char* name) noexcept : id_(id), name_(name) {}

  const int32_t id_;   // MIBenum id
  const char* name_;   // iconv name, a string literal; null for a set we cannot convert
};

}  // namespace kelvor::jdbc
