// The `dump` view of an image: an annotated listing, one line per field, of a pickled or a
// linear image of the tool's type. Each line gives the field's offset in the buffer (hex), its
// bytes in hex, what it is (flags, version, image length, prefix, count, length field, null
// marker and which one, data value with its readable text) and the path of the attribute or
// element it belongs to (`address.lines[3]`).
//
// line := offset(6 hex digits)  hex(16 bytes at most, padded)  description  path
//         a field longer than 16 bytes goes on over lines of 16 bytes that carry only their
//         offset and bytes; a null told by a linear image's indicator has no bytes of its own
//
// The image is read by the library's own readers with the listing attached to their context
// (FieldObserver): every line is a field they read, so the listing cannot disagree with them.
// Nested images that the readers keep whole are read again by the same readers at their
// start, so that their fields are listed too. Lines are written as fields are read, so that on
// malformed input everything readable is shown; where the readers refuse, a last line says so
// at the start of the attribute or element being read, then the failure is raised as the
// readers raised it (DriverException, or IndexOutOfBoundsException for a read past the end).
// The readers check every read before it touches the buffer, never allocate for a count or
// length they have not checked, and bound their nesting (error 62 beyond the bound).
//
// Not thread-safe in itself: each call walks with its own state.
#pragma once

#include <cstdint>
#include <ostream>

#include "lang/Array.h"
#include "tools/kelcore/NameTree.h"
#include "tools/kelcore/ToolSession.h"

namespace kelvor::tools {

class ImageDump {
 public:
  struct Options {
    bool colour = false;  // ANSI colours: dim offsets, a colour per kind of field
  };

  // Lists the image that starts at `offset` (pickled or linear, told apart by the byte found
  // there, as the library's fromImage does). A header line names the layout; after the image,
  // notes say where a length field disagrees with the bytes, and a last line reports the bytes
  // left over in the buffer.
  static void write(const ToolSession& session, const NameTree& names,
                    const lang::ByteArray& image, int64_t offset, std::ostream& out,
                    Options options);

 private:
  ImageDump() = default;
};

}  // namespace kelvor::tools
