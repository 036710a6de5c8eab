#include "tools/kelcore/ImageDump.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "image/FieldObserver.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Exceptions.h"
#include "tools/kelcore/ScalarText.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::tools {
namespace {

using jdbc::kelcore::FieldKind;
using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using jdbc::kelcore::PickleContext;
using jdbc::kelcore::TypeKind;
using jdbc::kelcore::UnpickleContext;

constexpr int32_t BYTES_PER_LINE = 16;
constexpr size_t HEX_WIDTH = BYTES_PER_LINE * 3 - 1;
constexpr size_t DESCRIPTION_WIDTH = 44;
// Readable text longer than this is cut (the bytes are all in the hex column).
constexpr size_t MAX_TEXT = 60;
// A hex value is repeated in the description only while it fits one line of bytes.
constexpr int32_t MAX_HEX_TEXT = BYTES_PER_LINE;
// Indicators listed by number before the list is cut.
constexpr int32_t MAX_LISTED_INDICATORS = 16;
// Bytes shown of a field that cannot be read, and of the bytes left after the image.
constexpr int64_t MAX_SHOWN_TAIL = 32;

enum class Field { HEADER, STRUCTURE, NULL_MARKER, VALUE, NOTE, PROBLEM };

const char* colourOf(Field kind) {
  switch (kind) {
    case Field::HEADER: return "\x1b[1m";
    case Field::STRUCTURE: return "\x1b[36m";
    case Field::NULL_MARKER: return "\x1b[35m";
    case Field::VALUE: return "\x1b[32m";
    case Field::NOTE: return "\x1b[33m";
    case Field::PROBLEM: return "\x1b[1;31m";
  }
  return "";
}
constexpr const char* DIM = "\x1b[2m";
constexpr const char* PATH_COLOUR = "\x1b[34m";
constexpr const char* RESET = "\x1b[0m";

std::string hexNumber(int64_t value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*llx", width, static_cast<unsigned long long>(value));
  return buffer;
}

std::string byteText(uint32_t b) { return hexNumber(b, 2); }

std::string join(const std::string& path, const std::string& label) {
  return path.empty() ? label : path + "." + label;
}

std::string elementPath(const std::string& path, int64_t k) {
  return path + "[" + std::to_string(k) + "]";
}

// Text in double quotes, with quotes, backslashes and control bytes escaped, cut at MAX_TEXT
// bytes (never inside a UTF-8 sequence).
std::string quoted(const std::string& text) {
  std::string cut = text;
  bool more = false;
  if (cut.size() > MAX_TEXT) {
    size_t end = MAX_TEXT;
    while (end > 0 && (static_cast<uint8_t>(cut[end]) & 0xC0) == 0x80) --end;
    cut.resize(end);
    more = true;
  }
  std::string out = "\"";
  for (const char c : cut) {
    const auto u = static_cast<uint8_t>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      out += "\\x" + byteText(u);
    } else {
      out += c;
    }
  }
  out += '"';
  if (more) out += "...";
  return out;
}


std::string countText(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + (n == 1 ? one : many);
}

// The listing: attached to the readers' contexts, it writes a line per field they report.
class Walker final : public jdbc::kelcore::FieldObserver {
 public:
  Walker(const ToolSession& session, const lang::ByteArray& image, std::ostream& out,
         bool colour)
      : session_(session), image_(image), length_(image.length()), out_(out), colour_(colour) {}

  void run(const NameTree& names, int64_t offset);

  void field(int32_t offset, int32_t length, FieldKind kind, KelvorType* type,
             int64_t value) override;
  void enter(int32_t offset, KelvorType* container, int64_t index) override;
  void leave(int32_t offset) override;

 private:
  // The attribute or element the readers are in: its names, its path, where it began, and
  // the pickled image read inside it, if any (its start and declared length).
  struct Scope {
    const NameTree* names = nullptr;
    std::string path;
    int64_t start = 0;
    int64_t imageStart = -1;
    int64_t imageLength = 0;
  };

  // --- output ---
  void line(Field kind, int64_t at, int64_t n, const std::string& what, const std::string& path);
  void header(const std::string& text);
  void noteEnds(int64_t start, int64_t declaredEnd, int64_t fieldsEnd, const std::string& what,
                const std::string& path);
  std::string valueText(ScalarText::Form form, int64_t at, int32_t n);
  std::string dateText(int32_t at, bool highByteFirst);
  std::string indicatorsText(int32_t at, int32_t n, int64_t count);

  // --- reading ---
  // The image as the readers' contexts hold it.
  lang::Ref<lang::ByteArray> readersImage() const;
  // Reads the image of type at start with the listing attached; returns where the readers
  // stopped. Nested images kept whole are read again from inside.
  int32_t read(KelvorType& type, int32_t start);
  void keptImage(int32_t start, int64_t declared, KelvorType& type);
  void pickledField(int32_t offset, int32_t length, FieldKind kind, KelvorType* type, int64_t value);
  void linearField(int32_t offset, int32_t length, FieldKind kind, KelvorType* type, int64_t value);

  const ToolSession& session_;
  const lang::ByteArray& image_;
  const int64_t length_;
  std::ostream& out_;
  const bool colour_;
  bool pickled_ = true;        // the layout, told by the image's first byte
  std::vector<Scope> scopes_;
  int64_t topLength_ = -1;     // the outermost image's length with what it counts, once read
  int64_t nestedLength_ = -1;  // the length in front of the nested pickled image being read
  bool keeping_ = false;       // a kept image is read again: its length is checked there
  int64_t base_ = 0;           // where the slots of the linear object being read start
};

// --- output ---------------------------------------------------------------------------------

void Walker::header(const std::string& text) {
  if (colour_) {
    out_ << colourOf(Field::HEADER) << text << RESET << '\n';
  } else {
    out_ << text << '\n';
  }
}

void Walker::line(Field kind, int64_t at, int64_t n, const std::string& what,
                  const std::string& path) {
  // Only bytes inside the buffer are shown: a field may be told, not present (a null).
  const int64_t from = std::clamp<int64_t>(at, 0, length_);
  const int64_t to = n > 0 ? std::clamp<int64_t>(at + n, from, length_) : from;
  auto hexOf = [&](int64_t a, int64_t b) {
    std::string hex;
    for (int64_t i = a; i < b; ++i) {
      if (!hex.empty()) hex += ' ';
      hex += byteText(static_cast<uint8_t>(image_[static_cast<int32_t>(i)]));
    }
    return hex;
  };
  auto offsetText = [&](int64_t a) {
    const std::string o = hexNumber(a < 0 ? 0 : a, 6);
    return colour_ ? std::string(DIM) + o + RESET : o;
  };
  const int64_t firstEnd = std::min(to, from + BYTES_PER_LINE);
  std::string hex = hexOf(from, firstEnd);
  hex.resize(std::max(hex.size(), HEX_WIDTH), ' ');
  std::string text = what;
  if (!path.empty()) text.resize(std::max(text.size() + 1, DESCRIPTION_WIDTH), ' ');
  out_ << offsetText(at) << "  " << hex << "  ";
  if (colour_) {
    out_ << colourOf(kind) << text << RESET;
    if (!path.empty()) out_ << ' ' << PATH_COLOUR << path << RESET;
  } else {
    out_ << text;
    if (!path.empty()) out_ << ' ' << path;
  }
  out_ << '\n';
  for (int64_t a = firstEnd; a < to; a += BYTES_PER_LINE) {
    out_ << offsetText(a) << "  " << hexOf(a, std::min(to, a + BYTES_PER_LINE)) << '\n';
  }
}

void Walker::noteEnds(int64_t start, int64_t declaredEnd, int64_t fieldsEnd,
                      const std::string& what, const std::string& path) {
  if (declaredEnd == fieldsEnd) return;
  line(Field::NOTE, fieldsEnd, 0,
       "note: " + what + " says " + std::to_string(declaredEnd - start) + " bytes, its fields take " +
           std::to_string(fieldsEnd - start),
       path);
}

std::string Walker::valueText(ScalarText::Form form, int64_t at, int32_t n) {
  if (form == ScalarText::Form::HEX && n > MAX_HEX_TEXT) return "";
  const std::optional<std::string> text = ScalarText::toText(form, image_.data() + at, n);
  if (!text) {
    switch (form) {
      case ScalarText::Form::NUMBER: return " (not a valid number)";
      case ScalarText::Form::DATE: return " (not a valid date)";
      case ScalarText::Form::TEXT: return " (not valid text)";
      case ScalarText::Form::HEX: return "";
    }
  }
  return " " + (form == ScalarText::Form::TEXT ? quoted(*text) : *text);
}

// date := year(2) month day hour minute second
std::string Walker::dateText(int32_t at, bool highByteFirst) {
  auto b = [&](int32_t i) { return static_cast<uint8_t>(image_[at + i]); };
  const int32_t year = static_cast<int16_t>(highByteFirst ? (b(0) << 8) | b(1) : (b(1) << 8) | b(0));
  char text[64];
  std::snprintf(text, sizeof text, "date %s%04d-%02u-%02uT%02u:%02u:%02u", year < 0 ? "-" : "",
                year < 0 ? -year : year, b(2), b(3), b(4), b(5), b(6));
  return std::string(text) + (highByteFirst ? "" : " (year low byte first)");
}

// The indicators set among the n bytes at `at`, 2 bits each, lowest first.
std::string Walker::indicatorsText(int32_t at, int32_t n, int64_t count) {
  std::string set;
  int32_t listed = 0;
  for (int64_t i = 0; i < count && i / 4 < n && listed <= MAX_LISTED_INDICATORS; ++i) {
    if (((image_[at + static_cast<int32_t>(i / 4)] >> (2 * (i % 4))) & 3) == 0) continue;
    set += listed == MAX_LISTED_INDICATORS ? " ..." : " " + std::to_string(i);
    ++listed;
  }
  return std::to_string(count) + " null indicators, set:" + (set.empty() ? " none" : set);
}

// --- the whole image ------------------------------------------------------------------------

void Walker::run(const NameTree& names, int64_t offset) {
  // The layout is told by the byte at the offset, as fromImage tells it.
  if (offset < 0 || offset >= length_) lang::throwIndexOutOfBounds(offset, length_);
  pickled_ = (image_[static_cast<int32_t>(offset)] & 0x80) != 0;
  KelvorTypeCOLLECTION* collection = session_.collection();
  const std::string layout = std::string(pickled_ ? "pickled " : "linear ") +
                             (collection != nullptr ? "collection image" : "object image");
  header(layout + " at offset " + hexNumber(offset, 6) + " of a " + std::to_string(length_) +
         "-byte buffer (offsets in hex)");
  scopes_.push_back(Scope{&names, "", offset});
  KelvorType& type = collection != nullptr ? static_cast<KelvorType&>(*collection) : session_.type();
  int64_t end = 0;
  try {
    end = read(type, static_cast<int32_t>(offset));
  } catch (const lang::Throwable& e) {
    // The line says where the readers stopped: the attribute or element they were reading.
    const Scope& where = scopes_.back();
    const int64_t at = std::clamp<int64_t>(where.start, 0, length_);
    line(Field::PROBLEM, at, std::min(length_ - at, MAX_SHOWN_TAIL), std::string("cannot be read: ") + e.what(),
         where.path);
    throw;
  }
  const int64_t declared = topLength_;
  const std::string field = pickled_ ? "the image length" : "the image length (with its 4 bytes)";
  noteEnds(offset, offset + declared, end, field, "");
  if (declared > length_ - offset) {
    line(Field::NOTE, length_, 0,
         "note: " + field + " says " + std::to_string(declared) + " bytes, the buffer holds " +
             std::to_string(length_ - offset) + " from the offset",
         "");
  }
  if (end > length_) {
    line(Field::NOTE, length_, 0,
         "note: the image ends " + std::to_string(end - length_) + " bytes past the buffer", "");
  } else if (end < length_) {
    const int64_t left = length_ - end;
    line(Field::NOTE, end, std::min(left, int64_t{BYTES_PER_LINE}),
         std::to_string(left) + (left == 1 ? " byte" : " bytes") + " after the image, not part of it" +
             (left > BYTES_PER_LINE ? " (the first 16 shown)" : ""),
         "");
  }
}

lang::Ref<lang::ByteArray> Walker::readersImage() const {
  // Arrays are made only behind a handle, so the caller's is shared; the readers only read it.
  return lang::Ref<lang::ByteArray>(const_cast<lang::ByteArray*>(&image_));
}

int32_t Walker::read(KelvorType& type, int32_t start) {
  auto* collection = type.kind() == TypeKind::Collection ? static_cast<KelvorTypeCOLLECTION*>(&type) : nullptr;
  auto& object = static_cast<KelvorTypeADT&>(type);
  constexpr int32_t decode = KelvorTypeADT::MODE_DECODE;
  constexpr int32_t sql = KelvorTypeADT::STYLE_SQL_VALUE;
  if (pickled_) {
    PickleContext ctx(readersImage(), start);
    ctx.setObserver(this);
    if (collection != nullptr) {
      (void)collection->unpickle(ctx, nullptr, decode, sql, nullptr);
    } else {
      (void)object.unpickle(ctx, nullptr, decode, sql, nullptr);
    }
    return ctx.offset();
  }
  UnpickleContext ctx(readersImage(), start, nullptr, nullptr, static_cast<int8_t>(object.getFormatFlag() ? 1 : 0));
  ctx.setObserver(this);
  if (collection != nullptr) {
    (void)collection->unpickleLinear(ctx, nullptr, decode, sql, nullptr);
  } else {
    (void)object.unpickleLinear(ctx, nullptr, decode, sql, nullptr);
  }
  return ctx.offset();
}

// The readers keep a nested image whole and go on after it: it is read again here, field by
// field, by the same readers at its start.
void Walker::keptImage(int32_t start, int64_t declared, KelvorType& type) {
  keeping_ = true;
  const int64_t base = base_;
  const int32_t end = read(type, start);
  base_ = base;
  const std::string& path = scopes_.back().path;
  std::string what = "the nested image length";
  if (!pickled_) {
    what = type.kind() == TypeKind::Collection ? "the collection length (with its 4 bytes)"
                                               : "the image length (with its 4 bytes)";
  }
  noteEnds(start, std::min<int64_t>(start + declared, INT32_MAX), end, what, path);
  if (pickled_ && nestedLength_ >= 0 && declared != nestedLength_) {
    line(Field::NOTE, start, 0,
         "note: the nested image length says " + std::to_string(nestedLength_) + ", the image's own length " +
             std::to_string(declared),
         path);
  }
  nestedLength_ = -1;
}

// --- the readers' reports -------------------------------------------------------------------

void Walker::enter(int32_t offset, KelvorType* container, int64_t index) {
  const Scope& outer = scopes_.back();
  Scope inner;
  inner.start = offset;
  if (container != nullptr && container->kind() == TypeKind::Collection) {
    inner.names = outer.names;  // elements take the names of the element object type
    inner.path = elementPath(outer.path, index);
  } else {
    inner.names = &outer.names->child(static_cast<size_t>(index));
    inner.path = join(outer.path, outer.names->label(static_cast<size_t>(index)));
  }
  scopes_.push_back(std::move(inner));
}

void Walker::leave(int32_t offset) {
  const Scope& done = scopes_.back();
  // A pickled image read inside the attribute or element (not kept whole): its length against
  // its fields.
  if (done.imageStart >= 0) {
    noteEnds(done.imageStart, done.imageStart + done.imageLength, offset, "the image length", done.path);
  }
  scopes_.pop_back();
}

void Walker::field(int32_t offset, int32_t length, FieldKind kind, KelvorType* type, int64_t value) {
  if (kind == FieldKind::KEPT_IMAGE) {
    keptImage(offset, value, *type);
  } else if (pickled_) {
    pickledField(offset, length, kind, type, value);
  } else {
    linearField(offset, length, kind, type, value);
  }
}

void Walker::pickledField(int32_t offset, int32_t length, FieldKind kind, KelvorType* type, int64_t value) {
  Scope& scope = scopes_.back();
  const std::string& path = scope.path;
  switch (kind) {
    case FieldKind::IMAGE_FLAGS: {
      const auto f = static_cast<int8_t>(value);
      std::string what = "flags " + byteText(static_cast<uint32_t>(value));
      if (!PickleContext::lacksObjectFlag(f)) {
        what += ": object image";
      } else {
        what += PickleContext::isCollectionImage(f) ? ": collection image, elements inline"
                                                    : ": collection image, held by a locator";
      }
      line(Field::STRUCTURE, offset, length, what, path);
      return;
    }
    case FieldKind::IMAGE_VERSION:
      line(Field::STRUCTURE, offset, length, "version " + std::to_string(value), path);
      return;
    case FieldKind::IMAGE_LENGTH:
      line(Field::STRUCTURE, offset, length, "image length " + std::to_string(value), path);
      if (topLength_ < 0) {
        topLength_ = value;
      } else if (!keeping_ && !path.empty()) {
        scope.imageStart = offset - 2;  // the flags and version bytes come first
        scope.imageLength = value;
      }
      keeping_ = false;
      return;
    case FieldKind::NESTED_LENGTH:
      line(Field::STRUCTURE, offset, length, "nested image length " + std::to_string(value), path);
      nestedLength_ = value;
      return;
    case FieldKind::PREFIX_LENGTH:
      line(Field::STRUCTURE, offset, length, "prefix length " + std::to_string(value) + " (its byte and locator)",
           path);
      return;
    case FieldKind::PREFIX_BYTE:
      line(Field::STRUCTURE, offset, length, "prefix byte " + byteText(static_cast<uint32_t>(value)), path);
      return;
    case FieldKind::LOCATOR:
      line(Field::VALUE, offset, length, "locator " + std::to_string(value) + " bytes", path);
      return;
    case FieldKind::COUNT_SEPARATOR:
      line(Field::STRUCTURE, offset, length, byteText(static_cast<uint32_t>(value)) + " before the count (dropped)",
           path);
      return;
    case FieldKind::ELEMENT_COUNT:
      line(Field::STRUCTURE, offset, length, "element count " + std::to_string(value), path);
      return;
    case FieldKind::DATA_VALUE: {
      const auto n = static_cast<int32_t>(value);
      line(Field::VALUE, offset, length,
           "data value " + countText(n, " byte", " bytes") +
               valueText(ScalarText::formOf(*type), offset + length - n, n),
           path);
      return;
    }
    case FieldKind::NULL_VALUE: {
      const char* what = "null";
      if (type->kind() == TypeKind::Collection) {
        what = "null collection";
      } else if (KelvorTypeADT::isPlainObjectType(type)) {
        what = "null element";  // only elements are whole object images
      }
      line(Field::NULL_MARKER, offset, length, std::string("null marker FF: ") + what, path);
      return;
    }
    case FieldKind::NULL_FIRST_LEAF:
      line(Field::NULL_MARKER, offset, length, "null marker FF: null (first leaf)", path);
      return;
    case FieldKind::NULL_EMBEDDED:
      line(Field::NULL_MARKER, offset, length, "null marker FD: null embedded object", path);
      return;
    case FieldKind::NULL_DEPTH:
      line(Field::NULL_MARKER, offset, length,
           "null marker FC depth " + std::to_string(value) + ": null" +
               (KelvorTypeADT::isPlainObjectType(type) ? " object" : ""),
           path);
      return;
    default:
      return;  // the linear kinds
  }
}

void Walker::linearField(int32_t offset, int32_t length, FieldKind kind, KelvorType* type, int64_t value) {
  const std::string& path = scopes_.back().path;
  const bool collection = type != nullptr && type->kind() == TypeKind::Collection;
  switch (kind) {
    case FieldKind::LINEAR_LENGTH: {
      if (topLength_ < 0) topLength_ = 4 + value;
      keeping_ = false;
      const char* what = collection ? "collection length " : "image length ";
      if (value == 0) {
        line(Field::NULL_MARKER, offset, length,
             std::string(what) + "0: " + (collection ? "null collection" : "null object"), path);
      } else {
        line(Field::STRUCTURE, offset, length, what + std::to_string(value) + " (the body)", path);
      }
      return;
    }
    case FieldKind::UNUSED_BYTES:
      line(Field::STRUCTURE, offset, length, countText(value, " byte", " bytes") + " not used", path);
      return;
    case FieldKind::STEPPED_OVER:
      line(Field::STRUCTURE, offset, length, countText(value, " byte", " bytes") + " stepped over", path);
      return;
    case FieldKind::INDICATOR_LENGTH:
      line(Field::STRUCTURE, offset, length, "null indicator bytes " + std::to_string(value), path);
      return;
    case FieldKind::INDICATORS_LEAD:
      line(Field::STRUCTURE, offset, length, countText(value, " byte", " bytes") + " before the indicators", path);
      return;
    case FieldKind::INDICATORS:
      if (length > 0) line(Field::STRUCTURE, offset, length, indicatorsText(offset, length, value), path);
      return;
    case FieldKind::DATA_LENGTH:
      line(Field::STRUCTURE, offset, length, "data length " + std::to_string(value), path);
      base_ = offset + 4;
      return;
    case FieldKind::NULL_INDICATOR:
      line(Field::NULL_MARKER, offset, 0,
           std::string(KelvorTypeADT::isPlainObjectType(type) ? "null object" : "null") + " (indicator " +
               std::to_string(value) + ")",
           path);
      return;
    case FieldKind::VALUE_AT: {
      // base + rel in 32 bits, as the readers follow an offset
      const auto at = static_cast<int32_t>(static_cast<uint32_t>(base_) + static_cast<uint32_t>(value));
      const bool nested = type != nullptr && dynamic_cast<jdbc::kelcore::KelvorTypeUPT*>(type) != nullptr;
      line(Field::STRUCTURE, offset, length,
           std::string(nested ? "collection image at +" : "value at +") + std::to_string(value) + " = " +
               hexNumber(at, 6),
           path);
      return;
    }
    case FieldKind::VALUE_FOLLOWS:
      line(Field::STRUCTURE, offset, length, "value offset 0: the value follows the slot", path);
      return;
    case FieldKind::NUMBER_SLOT:
      line(Field::VALUE, offset, length,
           "number " + countText(value, " byte", " bytes") +
               valueText(ScalarText::Form::NUMBER, offset + 1, static_cast<int32_t>(value)),
           path);
      return;
    case FieldKind::NATIVE_DATE:
      line(Field::VALUE, offset, length, dateText(offset, value != 0), path);
      return;
    case FieldKind::UB4_VALUE:
      line(Field::VALUE, offset, length,
           "data value " + countText(value, " byte", " bytes") +
               valueText(ScalarText::formOf(*type), offset + 4, static_cast<int32_t>(value)),
           path);
      return;
    case FieldKind::UB2_VALUE:
      // the two length bytes belong to the value
      line(Field::VALUE, offset, length,
           "data value " + countText(value, " byte", " bytes") +
               valueText(ScalarText::formOf(*type), offset, static_cast<int32_t>(value) + 2),
           path);
      return;
    case FieldKind::LINEAR_PREFIX_LENGTH:
      line(Field::STRUCTURE, offset, length, "prefix length " + std::to_string(value) + " (its flag and locator)",
           path);
      return;
    case FieldKind::PREFIX_FLAG:
      line(Field::STRUCTURE, offset, length,
           "prefix flag " + byteText(static_cast<uint32_t>(value)) +
               ((value & 1) != 0 ? ": elements follow" : ": no elements"),
           path);
      return;
    case FieldKind::LOCATOR:
      line(Field::VALUE, offset, length, "locator " + std::to_string(value) + " bytes", path);
      return;
    case FieldKind::ELEMENT_PART_LENGTH:
      line(Field::STRUCTURE, offset, length, "element part length " + std::to_string(value), path);
      return;
    case FieldKind::ELEMENT_COUNT:
      line(Field::STRUCTURE, offset, length, "element count " + std::to_string(value), path);
      return;
    case FieldKind::ELEMENT_FLAG:
      line(Field::STRUCTURE, offset, length, "element flag " + byteText(static_cast<uint32_t>(value)), path);
      return;
    case FieldKind::NULL_ELEMENT_FLAG:
      line(Field::NULL_MARKER, offset, length,
           "element flag " + byteText(static_cast<uint8_t>(image_[offset])) + ": null, " + std::to_string(value) +
               " bytes stepped over",
           path);
      return;
    default:
      return;  // the pickled kinds
  }
}

}  // namespace

void ImageDump::write(const ToolSession& session, const NameTree& names,
                      const lang::ByteArray& image, int64_t offset, std::ostream& out,
                      Options options) {
  Walker walker(session, image, out, options.colour);
  walker.run(names, offset);
}

}  // namespace kelvor::tools
