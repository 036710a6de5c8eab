#include "tools/kelcore/ImageDump.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/ByteOrder.h"
#include "image/FieldObserver.h"
#include "image/PickleContext.h"
#include "lang/Exceptions.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeCLOB.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "scalar/KelvorTypeSINT32.h"
#include "tools/kelcore/ScalarText.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeREF.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::tools {
namespace {

using jdbc::DriverException;
using jdbc::ErrorRaiser;
using jdbc::kelcore::DepthGuard;
using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using jdbc::kelcore::KelvorTypeUPT;
using jdbc::kelcore::PickleContext;

constexpr int32_t BYTES_PER_LINE = 16;
constexpr size_t HEX_WIDTH = BYTES_PER_LINE * 3 - 1;
constexpr size_t DESCRIPTION_WIDTH = 44;
// Readable text longer than this is cut (the bytes are all in the hex column).
constexpr size_t MAX_TEXT = 60;
// A hex value is repeated in the description only while it fits one line of bytes.
constexpr int32_t MAX_HEX_TEXT = BYTES_PER_LINE;
// Indicators listed by number before the list is cut.
constexpr int32_t MAX_LISTED_INDICATORS = 16;
// Bytes shown of a field that runs past the end, and of the bytes left after the image.
constexpr int64_t MAX_SHOWN_TAIL = 32;

constexpr int32_t NUMBER_SLOT_SIZE = jdbc::kelcore::KelvorTypeNUMBER::FIXED_NUMBER_SIZE;
constexpr int32_t DATE_SIZE = jdbc::kelcore::KelvorTypeDATE::NATIVE_DATE_SIZE;
constexpr int32_t DATE_READ = 7;  // the last byte of the native date is not read
// What a null element of a linear element part steps over after its flag byte.
constexpr int32_t NULL_TEXT_SKIP = 4;
constexpr int32_t NULL_OBJECT_SKIP = 4;
constexpr int32_t NULL_COLLECTION_SKIP = 2;

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

// How the walk treats a descriptor: by its class, as the readers dispatch.
enum class Shape {
  NUMBER,          // NUMBER, FLOAT, SINT32: data value; linear number slot
  DATE,            // data value; linear native date
  CHAR,            // data value; linear UB4 value
  RAW,             // data value; linear UB4 value behind an offset
  LOCATOR,         // BLOB, CLOB, BFILE: data value; linear UB2 value
  REF,             // data value; linear UB2 value
  OBJECT,          // a plain object type: inline attributes
  COLLECTION,      // a collection descriptor standing as attribute or element itself
  UPT_OBJECT,      // FA: nested object image
  UPT_COLLECTION,  // FB: nested collection image
  UPT_OTHER,       // a UPT of an unknown type byte
  OTHER,
};

template <typename T>
bool is(const KelvorType& t) {
  return dynamic_cast<const T*>(&t) != nullptr;
}

Shape shapeOf(const KelvorType& t) {
  namespace k = jdbc::kelcore;
  if (KelvorTypeADT::isPlainObjectType(&t)) return Shape::OBJECT;
  if (const auto* upt = dynamic_cast<const KelvorTypeUPT*>(&t)) {
    if (upt->getTypeByte() == KelvorTypeUPT::UPT_OBJECT) return Shape::UPT_OBJECT;
    if (upt->getTypeByte() == KelvorTypeUPT::UPT_COLLECTION) return Shape::UPT_COLLECTION;
    return Shape::UPT_OTHER;
  }
  if (is<KelvorTypeCOLLECTION>(t)) return Shape::COLLECTION;
  if (is<k::KelvorTypeNUMBER>(t) || is<k::KelvorTypeFLOAT>(t) || is<k::KelvorTypeSINT32>(t)) {
    return Shape::NUMBER;
  }
  if (is<k::KelvorTypeDATE>(t)) return Shape::DATE;
  if (is<k::KelvorTypeCHAR>(t)) return Shape::CHAR;
  if (is<k::KelvorTypeRAW>(t)) return Shape::RAW;
  if (is<k::KelvorTypeBLOB>(t) || is<k::KelvorTypeCLOB>(t) || is<k::KelvorTypeBFILE>(t)) {
    return Shape::LOCATOR;
  }
  if (is<k::KelvorTypeREF>(t)) return Shape::REF;
  return Shape::OTHER;
}

// The slot a locator of a linear element part fills after its flag byte.
int32_t locatorSlotSize(const KelvorType& t) {
  if (is<jdbc::kelcore::KelvorTypeBFILE>(t)) return jdbc::kelcore::KelvorTypeBFILE::LOCATOR_SLOT_SIZE;
  if (is<jdbc::kelcore::KelvorTypeCLOB>(t)) return jdbc::kelcore::KelvorTypeCLOB::LOCATOR_SLOT_SIZE;
  return jdbc::kelcore::KelvorTypeBLOB::LOCATOR_SLOT_SIZE;
}

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

// The state of a linear object body: where its slots start, its null indicators, its slot
// offsets, and the order of a native date's year.
struct Body {
  int64_t base = 0;        // first byte of the slots; rels count from here
  int64_t indicators = 0;  // first byte of the indicator bits
  int32_t count = 0;       // indicators held
  lang::Ref<lang::LongArray> offsets;
  bool highByteFirst = false;
};

class Walker final : public jdbc::kelcore::FieldObserver {
 public:
  Walker(const ToolSession& session, const lang::ByteArray& image, std::ostream& out,
         bool colour)
      : session_(session), image_(image), length_(image.length()), out_(out), colour_(colour) {}

  void run(const NameTree& names, int64_t offset);

 private:
  // --- output ---
  void line(Field kind, int64_t at, int64_t n, const std::string& what, const std::string& path);
  void header(const std::string& text);
  [[noreturn]] void refuse(int64_t at, int64_t n, int32_t code, const std::string& message,
                           const std::string& path);
  void noteEnds(int64_t start, int64_t declaredEnd, int64_t fieldsEnd, const std::string& what,
                const std::string& path);

  // --- checked reads ---
  void need(int64_t fieldAt, int64_t at, int64_t n, const std::string& what,
            const std::string& path);
  // A linear image whose 4-byte length claims more bytes than follow is refused, as the
  // readers refuse it, before anything of its body is read.
  // "" when a linear image's 4-byte length at start fits in what follows; otherwise the text
  // that says it is cut short, and the walk goes on: run raises once everything readable is
  // listed, as the readers refuse such an image.
  std::string checkDeclared(int64_t start, int32_t length);
  uint32_t u8(int64_t at, const std::string& what, const std::string& path) {
    need(at, at, 1, what, path);
    return static_cast<uint8_t>(image_[static_cast<int32_t>(at)]);
  }
  int32_t be32(int64_t at, const std::string& what, const std::string& path) {
    need(at, at, 4, what, path);
    return static_cast<int32_t>(jdbc::kelcore::loadBE32(image_.data() + at));
  }
  uint32_t be16(int64_t at, const std::string& what, const std::string& path) {
    need(at, at, 2, what, path);
    return jdbc::kelcore::loadBE16(image_.data() + at);
  }
  std::string valueText(const KelvorType& type, int64_t at, int32_t n);

  // --- pickled images: the readers report, the listing writes ---
  int64_t pickledImage(KelvorTypeADT& type, int64_t offset);
  void field(int32_t offset, int32_t length, jdbc::kelcore::FieldKind kind, KelvorType* type,
             int64_t value) override;
  void enter(int32_t offset, KelvorType* container, int64_t index) override;
  void leave(int32_t offset) override;
  void keptImage(int32_t start, int64_t declared, KelvorType& type);
  // The image as the readers' contexts hold it.
  lang::Ref<lang::ByteArray> readersImage() const;

  // --- linear images ---
  int64_t linearObjectImage(KelvorTypeADT& type, const NameTree& names, const std::string& path,
                            bool keep);
  int64_t linearCollectionImage(KelvorTypeCOLLECTION& type, const NameTree& names,
                                const std::string& path, bool keep);
  void linearBody(KelvorTypeADT& type, const Body& body, const NameTree& names,
                  const std::string& path);
  void linearSlot(KelvorType& type, const Body& body, const NameTree& names,
                  const std::string& path);
  void elementPart(KelvorTypeCOLLECTION& type, const NameTree& names, const std::string& path,
                   bool highByteFirst);
  void linearElement(KelvorType& type, int64_t base, const NameTree& names,
                     const std::string& path, bool highByteFirst);
  void numberSlot(const KelvorType& type, const std::string& path);
  void nativeDate(const std::string& path, bool highByteFirst);
  void sizedValue(const KelvorType& type, int32_t lengthBytes, const std::string& path);
  bool isNull(const Body& body, int32_t index, const std::string& path);
  int64_t slotOffset(const Body& body, int32_t index, const std::string& path);
  int64_t slotPosition(const Body& body, int32_t index) const;

  // --- moves, as the readers make them ---
  void skip(int64_t n) {
    if (n >= 0) pos_ = std::min<int64_t>(pos_ + n, INT32_MAX);
  }
  void skipToRelative(int64_t base, int64_t rel) {
    if (pos_ - base >= rel) return;
    pos_ = rel >= int64_t{INT32_MAX} - base ? int64_t{INT32_MAX} : base + rel;
  }
  // base + rel in 32 bits, as the linear readers follow an offset.
  static int64_t wrapped(int64_t base, int64_t rel) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(base) +
                                                      static_cast<uint64_t>(rel)));
  }

  const lang::ObjectArray& attributesOf(KelvorTypeADT& type, const std::string& path);
  KelvorTypeADT& attachedObject(KelvorTypeUPT& type, const std::string& path);
  KelvorTypeCOLLECTION& attachedCollection(KelvorTypeUPT& type, const std::string& path);
  KelvorType& elementOf(KelvorTypeCOLLECTION& type, const std::string& path);

  const ToolSession& session_;
  const lang::ByteArray& image_;
  const int64_t length_;
  std::ostream& out_;
  const bool colour_;
  int64_t pos_ = 0;     // the reader's position: the next byte to read
  int32_t depth_ = 0;   // nesting of objects, images and element parts
  bool cutShort_ = false;  // a linear length claimed more bytes than follow it
  int64_t cutLength_ = 0;  // the first such length
  int64_t cutLeft_ = 0;    // and the bytes that followed it

  // The attribute or element the readers are in: its names, its path, where it began, and
  // the image read inside it, if any (its start and declared length).
  struct Scope {
    const NameTree* names = nullptr;
    std::string path;
    int64_t start = 0;
    int64_t imageStart = -1;
    int64_t imageLength = 0;
  };
  std::vector<Scope> scopes_;
  int64_t topLength_ = -1;            // the outermost image's length, once read
  int64_t nestedLength_ = -1;         // the length in front of the nested image being read
  bool keeping_ = false;              // a kept image is read again: its length is checked there
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

void Walker::refuse(int64_t at, int64_t n, int32_t code, const std::string& message,
                    const std::string& path) {
  line(Field::PROBLEM, at, n, "cannot be read: " + message, path);
  ErrorRaiser::raise(code, message.c_str());
}

void Walker::need(int64_t fieldAt, int64_t at, int64_t n, const std::string& what,
                  const std::string& path) {
  // security: n and at come from the image; compared with what remains, never added
  if (at >= 0 && n >= 0 && at <= length_ && n <= length_ - at) return;
  std::string why;
  if (n < 0) {
    why = what + ": negative length " + std::to_string(n);
  } else {
    why = what + ": " + std::to_string(n) + " bytes needed at " + hexNumber(at, 6) +
          ", the buffer ends at " + hexNumber(length_, 6);
  }
  line(Field::PROBLEM, fieldAt, std::min(length_ - std::clamp<int64_t>(fieldAt, 0, length_), MAX_SHOWN_TAIL),
       "cut short: " + why, path);
  throw lang::IndexOutOfBoundsException(why);
}

std::string Walker::checkDeclared(int64_t start, int32_t length) {
  // security: the length comes from the image; compared with what follows, never added
  const int64_t left = length_ - (start + 4);
  if (length <= left) return "";
  if (!cutShort_) {
    cutShort_ = true;
    cutLength_ = length;
    cutLeft_ = left;
  }
  return ", cut short: only " + std::to_string(left) + " bytes follow";
}

void Walker::noteEnds(int64_t start, int64_t declaredEnd, int64_t fieldsEnd,
                      const std::string& what, const std::string& path) {
  if (declaredEnd == fieldsEnd) return;
  line(Field::NOTE, fieldsEnd, 0,
       "note: " + what + " says " + std::to_string(declaredEnd - start) + " bytes, its fields take " +
           std::to_string(fieldsEnd - start),
       path);
}

std::string Walker::valueText(const KelvorType& type, int64_t at, int32_t n) {
  const ScalarText::Form form = ScalarText::formOf(type);
  if (form == ScalarText::Form::HEX && n > MAX_HEX_TEXT) return "";
  const std::optional<std::string> text =
      ScalarText::toText(form, image_.data() + at, n);
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

// --- descriptors ----------------------------------------------------------------------------

const lang::ObjectArray& Walker::attributesOf(KelvorTypeADT& type, const std::string& path) {
  static const lang::Ref<lang::ObjectArray> NONE = lang::ObjectArray::makeOf<KelvorType>(0);
  // A collection answers no attributes; a UPT those of the type attached to it.
  if (is<KelvorTypeCOLLECTION>(type)) return *NONE;
  KelvorTypeADT* t = &type;
  for (int32_t hops = 0; auto* upt = dynamic_cast<KelvorTypeUPT*>(t); ++hops) {
    if (hops >= jdbc::kelcore::MAX_NESTING_DEPTH) ErrorRaiser::raiseStackOverflow();
    t = &attachedObject(*upt, path);
  }
  const lang::Ref<lang::ObjectArray>& attributes = t->parsedAttributeTypes();
  if (!attributes) refuse(pos_, 0, DriverException::ERR_INTERNAL, "object type not parsed", path);
  return *attributes;
}

KelvorTypeADT& Walker::attachedObject(KelvorTypeUPT& type, const std::string& path) {
  if (!type.getObjectType()) {
    line(Field::PROBLEM, pos_, 0, "cannot be read: UPT without its attached type", path);
    lang::throwNullPointer("UPT without its attached type");
  }
  return *type.getObjectType();
}

KelvorTypeCOLLECTION& Walker::attachedCollection(KelvorTypeUPT& type, const std::string& path) {
  auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&attachedObject(type, path));
  if (collection == nullptr) {
    refuse(pos_, 0, DriverException::ERR_INTERNAL,
           "UPT of a collection type attached to an object type", path);
  }
  return *collection;
}

KelvorType& Walker::elementOf(KelvorTypeCOLLECTION& type, const std::string& path) {
  if (!type.getElementType()) {
    line(Field::PROBLEM, pos_, 0, "cannot be read: collection type without an element type", path);
    lang::throwNullPointer("collection type without an element type");
  }
  return *type.getElementType();
}

KelvorType& attributeAt(const lang::ObjectArray& attributes, int32_t i) {
  return *static_cast<KelvorType*>(attributes.at(i));
}

// --- the whole image ------------------------------------------------------------------------

void Walker::run(const NameTree& names, int64_t offset) {
  // The layout is told by the byte at the offset, as fromImage tells it.
  if (offset < 0 || offset >= length_) lang::throwIndexOutOfBounds(offset, length_);
  const bool pickled = (image_[static_cast<int32_t>(offset)] & 0x80) != 0;
  KelvorTypeCOLLECTION* collection = session_.collection();
  const std::string layout = std::string(pickled ? "pickled " : "linear ") +
                             (collection != nullptr ? "collection image" : "object image");
  header(layout + " at offset " + hexNumber(offset, 6) + " of a " + std::to_string(length_) +
         "-byte buffer (offsets in hex)");
  pos_ = offset;
  int64_t declared = 0;
  if (pickled) {
    scopes_.push_back(Scope{&names, "", offset});
    declared = pickledImage(collection != nullptr ? *collection : session_.type(), offset);
  } else {
    declared = collection != nullptr ? linearCollectionImage(*collection, names, "", false)
                                     : linearObjectImage(session_.type(), names, "", false);
  }
  const int64_t end = pos_;
  const std::string field = pickled ? "the image length" : "the image length (with its 4 bytes)";
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
  if (cutShort_) lang::throwIndexOutOfBounds(cutLength_, cutLeft_);
}

// --- pickled images -------------------------------------------------------------------------
//
// The library's own readers walk a pickled image, with the listing attached to their context:
// each field they read becomes a line, under the path of the attribute or element they were
// reading. A nested image that the readers keep whole is read again, field by field, by the
// same readers at its start.

int64_t Walker::pickledImage(KelvorTypeADT& type, int64_t offset) {
  PickleContext ctx(readersImage(), offset);
  ctx.setObserver(this);
  try {
    if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&type)) {
      (void)collection->unpickle(ctx, nullptr, KelvorTypeADT::MODE_DECODE, KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
    } else {
      (void)type.unpickle(ctx, nullptr, KelvorTypeADT::MODE_DECODE, KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
    }
  } catch (const lang::Throwable& e) {
    // The line says where the readers stopped: the attribute or element they were reading.
    const Scope& where = scopes_.back();
    const int64_t at = std::clamp<int64_t>(where.start, 0, length_);
    line(Field::PROBLEM, at, std::min(length_ - at, MAX_SHOWN_TAIL), std::string("cannot be read: ") + e.what(),
         where.path);
    throw;
  }
  pos_ = ctx.offset();
  return topLength_;
}

lang::Ref<lang::ByteArray> Walker::readersImage() const {
  // Arrays are made only behind a handle, so the caller's is shared; the readers only read it.
  return lang::Ref<lang::ByteArray>(const_cast<lang::ByteArray*>(&image_));
}

void Walker::enter(int32_t offset, KelvorType* container, int64_t index) {
  const Scope& outer = scopes_.back();
  Scope inner;
  inner.start = offset;
  if (container != nullptr && container->kind() == jdbc::kelcore::TypeKind::Collection) {
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
  // An image read inside the attribute or element (not kept whole): its length against its
  // fields.
  if (done.imageStart >= 0) {
    noteEnds(done.imageStart, done.imageStart + done.imageLength, offset, "the image length", done.path);
  }
  scopes_.pop_back();
}

void Walker::field(int32_t offset, int32_t length, jdbc::kelcore::FieldKind kind, KelvorType* type,
                   int64_t value) {
  using jdbc::kelcore::FieldKind;
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
        // The image starts 2 bytes before its length field.
        scope.imageStart = offset - 2;
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
           "data value " + std::to_string(n) + (n == 1 ? " byte" : " bytes") +
               valueText(*type, offset + length - n, n),
           path);
      return;
    }
    case FieldKind::NULL_VALUE: {
      const char* what = "null";
      if (type->kind() == jdbc::kelcore::TypeKind::Collection) {
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
    case FieldKind::KEPT_IMAGE:
      keptImage(offset, value, *type);
      return;
  }
}

// The readers keep a nested image whole and go on after it: it is read again here, field by
// field, on a context of its own at its start.
void Walker::keptImage(int32_t start, int64_t declared, KelvorType& type) {
  PickleContext ctx(readersImage(), start);
  ctx.setObserver(this);
  keeping_ = true;
  if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&type)) {
    (void)collection->unpickle(ctx, nullptr, KelvorTypeADT::MODE_DECODE, KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
  } else {
    (void)static_cast<KelvorTypeADT&>(type).unpickle(ctx, nullptr, KelvorTypeADT::MODE_DECODE,
                                                      KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
  }
  const std::string& path = scopes_.back().path;
  noteEnds(start, std::min<int64_t>(start + declared, INT32_MAX), ctx.offset(), "the nested image length", path);
  if (nestedLength_ >= 0 && declared != nestedLength_) {
    line(Field::NOTE, start, 0,
         "note: the nested image length says " + std::to_string(nestedLength_) + ", the image's own length " +
             std::to_string(declared),
         path);
  }
  nestedLength_ = -1;
}

// --- linear images --------------------------------------------------------------------------
//
// image := len(UB4) body; body := 2 bytes, 4 bytes stepped over, nulls, dataLen(UB4) slots
// nulls := n(UB4) 2 bytes, 2 bits per indicator; a slot is read at its offset from the slots

int64_t Walker::linearObjectImage(KelvorTypeADT& type, const NameTree& names,
                                  const std::string& path, bool keep) {
  DepthGuard guard(depth_);
  const int64_t start = pos_;
  const int32_t length = be32(start, "image length", path);
  if (length == 0) {
    line(Field::NULL_MARKER, start, 4, "image length 0: null object", path);
    pos_ = start + 4;
    return 4;
  }
  if (length < 0) {
    refuse(start, 4, DriverException::ERR_INTERNAL, "negative linear image length", path);
  }
  const std::string cut = checkDeclared(start, length);
  line(cut.empty() ? Field::STRUCTURE : Field::PROBLEM, start, 4,
       "image length " + std::to_string(length) + " (the body)" + cut, path);
  pos_ = start + 4;
  need(pos_, pos_, 2, "body start", path);
  line(Field::STRUCTURE, pos_, 2, "2 bytes not used", path);
  pos_ += 2;
  line(Field::STRUCTURE, pos_, 4, "4 bytes stepped over", path);
  skip(4);
  const int64_t countAt = pos_;
  const int32_t n = be32(countAt, "null indicator length", path);
  need(countAt, countAt + 4, n, "null indicators", path);
  line(Field::STRUCTURE, countAt, 4, "null indicator bytes " + std::to_string(n), path);
  if (n < 2) refuse(countAt, 4, DriverException::ERR_INTERNAL, "null indicators too short", path);
  Body body;
  body.indicators = countAt + 4 + 2;
  body.count = 4 * (n - 2);
  line(Field::STRUCTURE, countAt + 4, 2, "2 bytes before the indicators", path);
  std::string set;
  int32_t listed = 0;
  for (int32_t i = 0; i < body.count && listed <= MAX_LISTED_INDICATORS; ++i) {
    if ((((image_[static_cast<int32_t>(body.indicators + i / 4)]) >> (2 * (i % 4))) & 3) == 0) continue;
    set += listed == MAX_LISTED_INDICATORS ? " ..." : " " + std::to_string(i);
    ++listed;
  }
  if (n > 2) {
    line(Field::STRUCTURE, body.indicators, n - 2,
         std::to_string(body.count) + " null indicators, set:" + (set.empty() ? " none" : set), path);
  }
  pos_ = countAt + 4 + n;
  const int32_t dataLength = be32(pos_, "data length", path);
  line(Field::STRUCTURE, pos_, 4, "data length " + std::to_string(dataLength), path);
  pos_ += 4;
  body.base = pos_;
  body.highByteFirst = type.getFormatFlag();
  if (body.count == 0) {
    line(Field::PROBLEM, countAt, 4, "cannot be read: no indicator for the object", path);
    lang::throwIndexOutOfBounds(0, 0);
  }
  if (isNull(body, 0, path)) {
    line(Field::NULL_MARKER, body.base, 0, "null object (indicator 0)", path);
  } else {
    body.offsets = type.getAttributeOffsets();
    if (!body.offsets) {
      line(Field::PROBLEM, body.base, 0, "cannot be read: no slot offsets for the type", path);
      lang::throwNullPointer("UnpickleContext has no attribute offsets");
    }
    linearBody(type, body, names, path);
  }
  // The readers go on after the data length, or, keeping a nested image whole, after len.
  const int64_t dataEnd = std::max(body.base, std::min<int64_t>(body.base + dataLength, INT32_MAX));
  const int64_t declaredEnd = std::min<int64_t>(start + 4 + int64_t{length}, INT32_MAX);
  pos_ = keep ? declaredEnd : dataEnd;
  if (!path.empty()) noteEnds(start, declaredEnd, dataEnd, "the image length (with its 4 bytes)", path);
  return 4 + int64_t{length};
}

bool Walker::isNull(const Body& body, int32_t index, const std::string& path) {
  if (index < 0 || index >= body.count) {
    line(Field::PROBLEM, pos_, 0, "cannot be read: no null indicator " + std::to_string(index), path);
    lang::throwIndexOutOfBounds(index, body.count);
  }
  const auto bits = static_cast<uint8_t>(image_[static_cast<int32_t>(body.indicators + index / 4)]);
  return ((bits >> (2 * (index % 4))) & 3) != 0;
}

int64_t Walker::slotOffset(const Body& body, int32_t index, const std::string& path) {
  if (index < 0 || index >= body.offsets->length()) {
    line(Field::PROBLEM, pos_, 0, "cannot be read: no slot offset " + std::to_string(index), path);
    lang::throwIndexOutOfBounds(index, body.offsets->length());
  }
  return body.offsets->at(index);
}

// Where a slot would be, for a null that has no bytes of its own.
int64_t Walker::slotPosition(const Body& body, int32_t index) const {
  if (!body.offsets || index < 0 || index >= body.offsets->length()) return pos_;
  return body.base + body.offsets->at(index);
}

void Walker::linearBody(KelvorTypeADT& type, const Body& body, const NameTree& names,
                        const std::string& path) {
  DepthGuard guard(depth_);
  if (isNull(body, type.getNullIndex(), path)) {
    line(Field::NULL_MARKER, slotPosition(body, type.getOffsetIndex()), 0,
         "null object (indicator " + std::to_string(type.getNullIndex()) + ")", path);
    return;
  }
  const lang::ObjectArray& attributes = attributesOf(type, path);
  if (attributes.length() > 0) skipToRelative(body.base, slotOffset(body, type.getOffsetIndex(), path));
  for (int32_t i = 0; i < attributes.length(); ++i) {
    linearSlot(attributeAt(attributes, i), body, names.child(static_cast<size_t>(i)),
               join(path, names.label(static_cast<size_t>(i))));
  }
}

void Walker::numberSlot(const KelvorType& type, const std::string& path) {
  // number slot := L(1) number(L), 22 bytes in all
  const int64_t at = pos_;
  const uint32_t n = u8(at, "number slot", path);
  need(at, at + 1, n, "number", path);
  line(Field::VALUE, at, 1 + n,
       "number " + std::to_string(n) + (n == 1 ? " byte" : " bytes") +
           valueText(type, at + 1, static_cast<int32_t>(n)),
       path);
  pos_ = at;
  skip(NUMBER_SLOT_SIZE);
}

void Walker::nativeDate(const std::string& path, bool highByteFirst) {
  // date := year(2) month day hour minute second, then a byte not read
  const int64_t at = pos_;
  need(at, at, DATE_READ, "date", path);
  auto b = [&](int32_t i) { return static_cast<uint8_t>(image_[static_cast<int32_t>(at + i)]); };
  const int32_t year = static_cast<int16_t>(highByteFirst ? (b(0) << 8) | b(1) : (b(1) << 8) | b(0));
  char text[64];
  std::snprintf(text, sizeof text, "date %s%04d-%02u-%02uT%02u:%02u:%02u", year < 0 ? "-" : "",
                year < 0 ? -year : year, b(2), b(3), b(4), b(5), b(6));
  line(Field::VALUE, at, DATE_READ,
       std::string(text) + (highByteFirst ? "" : " (year low byte first)"), path);
  skip(DATE_SIZE);
}

// A value with its length in front: UB4 (character, RAW) or UB2 (locator, REF: the two length
// bytes belong to the value).
void Walker::sizedValue(const KelvorType& type, int32_t lengthBytes, const std::string& path) {
  const int64_t at = pos_;
  const int64_t n = lengthBytes == 4 ? int64_t{be32(at, "value length", path)} : int64_t{be16(at, "value length", path)};
  need(at, at + lengthBytes, n, "value", path);
  const int64_t shown = lengthBytes == 4 ? n : n + 2;
  const int64_t textAt = lengthBytes == 4 ? at + 4 : at;
  line(Field::VALUE, at, lengthBytes + n,
       "data value " + std::to_string(n) + (n == 1 ? " byte" : " bytes") +
           valueText(type, textAt, static_cast<int32_t>(shown)),
       path);
  pos_ = at + lengthBytes + n;
}

// One attribute in the first linear form: null by its indicator, else read at its slot.
void Walker::linearSlot(KelvorType& type, const Body& body, const NameTree& names,
                        const std::string& path) {
  const Shape shape = shapeOf(type);
  switch (shape) {
    case Shape::OBJECT:
      linearBody(static_cast<KelvorTypeADT&>(type), body, names, path);
      return;
    case Shape::COLLECTION:
      // A bare collection descriptor reads an element part where the reader stands.
      elementPart(static_cast<KelvorTypeCOLLECTION&>(type), names, path, body.highByteFirst);
      return;
    case Shape::UPT_OBJECT:
    case Shape::UPT_OTHER:
      refuse(pos_, 0, DriverException::ERR_INTERNAL, "slotted linear read of a UPT object", path);
    case Shape::OTHER:
      refuse(pos_, 0, DriverException::ERR_UNSUPPORTED, "no linear form for the descriptor", path);
    default:
      break;
  }
  if (isNull(body, type.getNullIndex(), path)) {
    line(Field::NULL_MARKER, slotPosition(body, type.getOffsetIndex()), 0,
         "null (indicator " + std::to_string(type.getNullIndex()) + ")", path);
    // A null collection steps over 4 bytes from where the reader stands.
    if (shape == Shape::UPT_COLLECTION) skip(4);
    return;
  }
  skipToRelative(body.base, slotOffset(body, type.getOffsetIndex(), path));
  const int64_t at = pos_;
  switch (shape) {
    case Shape::NUMBER:
      numberSlot(type, path);
      return;
    case Shape::DATE:
      nativeDate(path, body.highByteFirst);
      return;
    case Shape::CHAR: {
      // rel(UB4) 2 bytes -> n(UB4) bytes(n); rel 0: the value follows the slot
      const int32_t rel = be32(at, "value offset", path);
      int64_t after = 0;
      if (rel != 0) {
        line(Field::STRUCTURE, at, 4, "value at +" + std::to_string(rel) + " = " + hexNumber(wrapped(body.base, rel), 6), path);
        pos_ = wrapped(body.base, rel);
        after = at + 4;
      } else {
        line(Field::STRUCTURE, at, 4, "value offset 0: the value follows the slot", path);
        pos_ = at + 4;
        line(Field::STRUCTURE, pos_, 2, "2 bytes stepped over", path);
        skip(2);
        after = pos_;
      }
      sizedValue(type, 4, path);
      pos_ = after;
      return;
    }
    case Shape::RAW:
    case Shape::LOCATOR:
    case Shape::REF: {
      const int32_t rel = be32(at, "value offset", path);
      line(Field::STRUCTURE, at, 4, "value at +" + std::to_string(rel) + " = " + hexNumber(wrapped(body.base, rel), 6), path);
      pos_ = wrapped(body.base, rel);
      sizedValue(type, shape == Shape::RAW ? 4 : 2, path);
      pos_ = at + 4;
      return;
    }
    case Shape::UPT_COLLECTION: {
      const int32_t rel = be32(at, "collection offset", path);
      line(Field::STRUCTURE, at, 4, "collection image at +" + std::to_string(rel) + " = " + hexNumber(wrapped(body.base, rel), 6), path);
      pos_ = wrapped(body.base, rel);
      (void)linearCollectionImage(attachedCollection(static_cast<KelvorTypeUPT&>(type), path), names, path, true);
      pos_ = at + 4;
      return;
    }
    default:
      return;
  }
}

// collection := A(UB4) 2 bytes U(UB4) p(1) locator(U - 1) [I(UB4) part]
int64_t Walker::linearCollectionImage(KelvorTypeCOLLECTION& type, const NameTree& names,
                                      const std::string& path, bool keep) {
  DepthGuard guard(depth_);
  const int64_t start = pos_;
  const int32_t length = be32(start, "collection length", path);
  if (length == 0) {
    line(Field::NULL_MARKER, start, 4, "collection length 0: null collection", path);
    pos_ = start + 4;
    return 4;
  }
  if (length < 0) refuse(start, 4, DriverException::ERR_INTERNAL, "negative linear image length", path);
  const std::string cut = checkDeclared(start, length);
  line(cut.empty() ? Field::STRUCTURE : Field::PROBLEM, start, 4,
       "collection length " + std::to_string(length) + " (the body)" + cut, path);
  pos_ = start + 4;
  line(Field::STRUCTURE, pos_, 2, "2 bytes stepped over", path);
  skip(2);
  const int64_t prefixAt = pos_;
  const int32_t prefix = be32(prefixAt, "prefix length", path);
  line(Field::STRUCTURE, prefixAt, 4, "prefix length " + std::to_string(prefix) + " (its flag and locator)", path);
  pos_ += 4;
  const uint32_t p = u8(pos_, "prefix flag", path);
  const bool elements = (p & 1) != 0;
  line(Field::STRUCTURE, pos_, 1,
       "prefix flag " + byteText(p) + (elements ? ": elements follow" : ": no elements"), path);
  ++pos_;
  if (prefix < 1) {
    line(Field::PROBLEM, prefixAt, 4, "cannot be read: a prefix length below 1", path);
    lang::throwIndexOutOfBounds(prefix, 1);
  }
  need(pos_, pos_, prefix - 1, "locator", path);
  if (prefix > 1) {
    line(Field::VALUE, pos_, prefix - 1, "locator " + std::to_string(prefix - 1) + " bytes", path);
    pos_ += prefix - 1;
  }
  if (elements) {
    const int32_t part = be32(pos_, "element part length", path);
    line(Field::STRUCTURE, pos_, 4, "element part length " + std::to_string(part), path);
    pos_ += 4;
    const int64_t partAt = pos_;
    elementPart(type, names, path, type.getFormatFlag());
    const int64_t partEnd = std::max(partAt, std::min<int64_t>(partAt + part, INT32_MAX));
    noteEnds(partAt, partEnd, pos_, "the element part length", path);
    pos_ = partEnd;
  }
  const int64_t declaredEnd = std::min<int64_t>(start + 4 + int64_t{length}, INT32_MAX);
  if (!path.empty()) noteEnds(start, declaredEnd, pos_, "the collection length (with its 4 bytes)", path);
  if (keep) pos_ = declaredEnd;
  return 4 + int64_t{length};
}

// part := n(UB4) 1 byte element{n}
void Walker::elementPart(KelvorTypeCOLLECTION& type, const NameTree& names,
                         const std::string& path, bool highByteFirst) {
  DepthGuard guard(depth_);
  const int64_t base = pos_;
  const int32_t n = be32(base, "element count", path);
  line(Field::STRUCTURE, base, 4, "element count " + std::to_string(n), path);
  pos_ += 4;
  // security: every element takes a byte at least; a count above the bytes left is no count
  if (n < 0 || n > length_ - pos_) {
    line(Field::PROBLEM, base, 4,
         "cannot be read: " + std::to_string(n) + " elements in " + std::to_string(length_ - pos_) + " bytes",
         path);
    lang::throwIndexOutOfBounds(n, length_ - pos_);
  }
  line(Field::STRUCTURE, pos_, 1, "1 byte stepped over", path);
  skip(1);
  KelvorType& element = elementOf(type, path);
  for (int32_t k = 1; k <= n; ++k) linearElement(element, base, names, elementPath(path, k), highByteFirst);
}

// element := f(1) form; bit 0 of f: null, then what the form steps over
void Walker::linearElement(KelvorType& type, int64_t base, const NameTree& names,
                           const std::string& path, bool highByteFirst) {
  const Shape shape = shapeOf(type);
  switch (shape) {
    case Shape::COLLECTION:
      elementPart(static_cast<KelvorTypeCOLLECTION&>(type), names, path, highByteFirst);
      return;
    case Shape::OBJECT:
      refuse(pos_, 0, DriverException::ERR_UNSUPPORTED, "object elements without a UPT have no linear form", path);
    case Shape::UPT_OTHER:
      refuse(pos_, 0, DriverException::ERR_TDS_OPCODE, "UPT of an unknown type byte", path);
    case Shape::OTHER:
      refuse(pos_, 0, DriverException::ERR_UNSUPPORTED, "no linear form for the descriptor", path);
    default:
      break;
  }
  const int64_t at = pos_;
  const uint32_t flag = u8(at, "element flag", path);
  ++pos_;
  if ((flag & 1) != 0) {
    int64_t stepped = 0;
    switch (shape) {
      case Shape::NUMBER: stepped = NUMBER_SLOT_SIZE; break;
      case Shape::DATE: stepped = DATE_SIZE; break;
      case Shape::CHAR: stepped = NULL_TEXT_SKIP; break;
      case Shape::UPT_OBJECT: stepped = NULL_OBJECT_SKIP; break;
      case Shape::UPT_COLLECTION: stepped = NULL_COLLECTION_SKIP; break;
      case Shape::RAW:
        // the length is read, and its bytes stepped over
        stepped = 4 + int64_t{be32(pos_, "null element length", path)};
        break;
      default:  // LOCATOR, REF
        stepped = 2 + int64_t{be16(pos_, "null element length", path)};
        break;
    }
    line(Field::NULL_MARKER, at, 1,
         "element flag " + byteText(flag) + ": null, " + std::to_string(stepped) + " bytes stepped over", path);
    if (stepped >= 0) {
      skip(stepped);
    } else {
      pos_ = std::max<int64_t>(pos_ + stepped, INT32_MIN);  // a negative length moves back
    }
    return;
  }
  line(Field::STRUCTURE, at, 1, "element flag " + byteText(flag), path);
  switch (shape) {
    case Shape::NUMBER:
      numberSlot(type, path);
      return;
    case Shape::DATE:
      nativeDate(path, highByteFirst);
      return;
    case Shape::CHAR:
    case Shape::RAW:
      sizedValue(type, 4, path);
      return;
    case Shape::REF:
      sizedValue(type, 2, path);
      return;
    case Shape::LOCATOR: {
      // a locator fills a slot of its own size after the flag; a longer one is whole
      const int64_t end = (pos_ - base) + locatorSlotSize(type);
      sizedValue(type, 2, path);
      skipToRelative(base, end);
      return;
    }
    case Shape::UPT_OBJECT:
      (void)linearObjectImage(attachedObject(static_cast<KelvorTypeUPT&>(type), path), names, path, true);
      return;
    case Shape::UPT_COLLECTION:
      (void)linearCollectionImage(attachedCollection(static_cast<KelvorTypeUPT&>(type), path), names, path, true);
      return;
    default:
      return;
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
