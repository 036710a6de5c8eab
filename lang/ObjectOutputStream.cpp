#include "lang/ObjectOutputStream.h"

#include <bit>
#include <cassert>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "lang/Boxed.h"
#include "lang/Decimal.h"
#include "lang/Exceptions.h"
#include "lang/NestingGuard.h"
#include "lang/Serializable.h"
#include "lang/String.h"
#include "lang/Timestamp.h"

namespace kelvor::lang {

using namespace serial;

namespace {

// One per writeObject call: the writer refuses the depth that the reader would refuse.
[[noreturn]] void refuseDepth() {
  throw IOException("objects nested deeper than " + std::to_string(MAX_DEPTH));
}
using DepthGuard = NestingGuard<MAX_DEPTH, &refuseDepth>;

// The tag of an object of a built-in kind, 0 for any other class. The kinds are final
// classes, so the exact dynamic type decides.
uint8_t builtInTag(const Object& obj) noexcept {
  const std::type_info& t = typeid(obj);
  if (t == typeid(String)) return TAG_STRING;
  if (t == typeid(Integer)) return TAG_INTEGER_OBJECT;
  if (t == typeid(Long)) return TAG_LONG_OBJECT;
  if (t == typeid(Short)) return TAG_SHORT_OBJECT;
  if (t == typeid(Byte)) return TAG_BYTE_OBJECT;
  if (t == typeid(Boolean)) return TAG_BOOLEAN_OBJECT;
  if (t == typeid(Float)) return TAG_FLOAT_OBJECT;
  if (t == typeid(Double)) return TAG_DOUBLE_OBJECT;
  if (t == typeid(Character)) return TAG_CHARACTER_OBJECT;
  if (t == typeid(Decimal)) return TAG_DECIMAL;
  if (t == typeid(Timestamp)) return TAG_TIMESTAMP;
  if (t == typeid(BooleanArray)) return TAG_BOOLEAN_ARRAY;
  if (t == typeid(ByteArray)) return TAG_BYTE_ARRAY;
  if (t == typeid(ShortArray)) return TAG_SHORT_ARRAY;
  if (t == typeid(CharArray)) return TAG_CHAR_ARRAY;
  if (t == typeid(IntArray)) return TAG_INT_ARRAY;
  if (t == typeid(LongArray)) return TAG_LONG_ARRAY;
  if (t == typeid(FloatArray)) return TAG_FLOAT_ARRAY;
  if (t == typeid(DoubleArray)) return TAG_DOUBLE_ARRAY;
  if (t == typeid(ObjectArray)) return TAG_OBJECT_ARRAY;
  return 0;
}

// Text that a utf item can carry: UTF-8 of at most 2^31-1 bytes.
void checkUtf8(std::string_view s, const char* what) {
  if (s.size() > static_cast<size_t>(INT32_MAX)) {
    throw IOException(std::string(what) + " above 2^31-1 bytes");
  }
  if (!String::isWellFormedUtf8(s)) throw IOException(std::string(what) + " is not UTF-8");
}

// The levels of a serialisable class, root-most first.
std::vector<const SerialClass*> levelsOf(const SerialClass& cls) {
  std::vector<const SerialClass*> levels;
  for (const SerialClass* c = &cls; c != nullptr; c = c->base) {
    if (levels.size() == static_cast<size_t>(MAX_LEVELS)) {
      throw IOException(std::string("serial class with more than 64 levels: ") + cls.name);
    }
    levels.insert(levels.begin(), c);
  }
  return levels;
}

// The unsigned image of an element in its big-endian width.
template <typename E>
auto bitsOf(E v) noexcept {
  if constexpr (std::is_same_v<E, bool>) {
    return static_cast<uint8_t>(v ? 1 : 0);
  } else if constexpr (std::is_floating_point_v<E>) {
    return std::bit_cast<std::conditional_t<sizeof(E) == 4, uint32_t, uint64_t>>(v);
  } else {
    return static_cast<std::make_unsigned_t<E>>(v);
  }
}

}  // namespace

// The serial form. All multi-byte numbers are big-endian; be16/be32/be64 name their widths.
//
// stream    := 'K' 'S' 01 item*                     magic and version, written at construction
// item      := primitive | object
// primitive := 01 be32 | 02 be64 | 03 be16 | 04 byte      writeInt Long Short Byte
//            | 05 bool | 06 be32 | 07 be64                writeBoolean, Float, Double (IEEE bits)
//            | 08 utf                                     writeUTF
// utf       := be32 n, n bytes of UTF-8                   0 <= n <= 2^31-1
// bool      := 00 | 01
// object    := 10                                         null
//            | 11 be32 handle                             an object already on this stream
//            | 12 utf                                     String
//            | 13 be32 | 14 be64 | 15 be16 | 16 byte      Integer Long Short Byte
//            | 17 bool | 18 be32 | 19 be64 | 1A be16      Boolean Float Double Character
//            | 1B sign be32-scale utf-digits              Decimal: sign FF|00|01, the unscaled
//                                                         magnitude in ASCII digits, no leading
//                                                         zero ("0" exactly when sign is 00)
//            | 1C be32-year month day hour minute second be32-nanos
//                                                         Timestamp, the five middle fields a
//                                                         byte each, all checked on reading
//            | 20..27 be32 n, n elements                  boolean[] (bool each) byte[] short[]
//                                                         char[] int[] long[] float[] double[]
//            | 28 be32 n, object × n                      Object[] (element class not kept)
//            | 30 utf-name level-data                     Serializable: the most derived class
//                                                         name, then what each level's writeHook
//                                                         wrote, root-most level first
// Handles number the objects that are neither null nor back-references, from 0, in the order
// their tags are written; an object takes its handle before its contents, so a reference to
// an object still being written (a cycle) is a back-reference.

ObjectOutputStream::ObjectOutputStream(OutputStream& out) : out_(out) {
  const uint8_t header[] = {MAGIC_0, MAGIC_1, VERSION};
  writeRaw(header, sizeof header);
}

void ObjectOutputStream::writeRaw(const void* data, size_t n) {
  const auto* p = static_cast<const int8_t*>(data);
  while (n > 0) {
    const size_t chunk = n < static_cast<size_t>(INT32_MAX) ? n : static_cast<size_t>(INT32_MAX);
    out_.write(p, static_cast<int32_t>(chunk));
    p += chunk;
    n -= chunk;
  }
}

void ObjectOutputStream::writeTag(uint8_t tag) { out_.write(tag); }

void ObjectOutputStream::writeU16(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  writeRaw(b, sizeof b);
}

void ObjectOutputStream::writeU32(uint32_t v) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  writeRaw(b, sizeof b);
}

void ObjectOutputStream::writeU64(uint64_t v) {
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
  writeRaw(b, sizeof b);
}

void ObjectOutputStream::writeUtf8Body(std::string_view s) {
  assert(s.size() <= static_cast<size_t>(INT32_MAX) && String::isWellFormedUtf8(s));
  writeU32(static_cast<uint32_t>(s.size()));
  writeRaw(s.data(), s.size());
}

void ObjectOutputStream::writeInt(int32_t v) {
  writeTag(TAG_INT);
  writeU32(static_cast<uint32_t>(v));
}

void ObjectOutputStream::writeLong(int64_t v) {
  writeTag(TAG_LONG);
  writeU64(static_cast<uint64_t>(v));
}

void ObjectOutputStream::writeShort(int16_t v) {
  writeTag(TAG_SHORT);
  writeU16(static_cast<uint16_t>(v));
}

void ObjectOutputStream::writeByte(int8_t v) {
  writeTag(TAG_BYTE);
  out_.write(v);
}

void ObjectOutputStream::writeBoolean(bool v) {
  writeTag(TAG_BOOLEAN);
  out_.write(v ? 1 : 0);
}

void ObjectOutputStream::writeFloat(float v) {
  writeTag(TAG_FLOAT);
  writeU32(std::bit_cast<uint32_t>(v));
}

void ObjectOutputStream::writeDouble(double v) {
  writeTag(TAG_DOUBLE);
  writeU64(std::bit_cast<uint64_t>(v));
}

void ObjectOutputStream::writeUTF(std::string_view s) {
  checkUtf8(s, "text");  // before the tag: a refused text leaves nothing behind
  writeTag(TAG_UTF);
  writeUtf8Body(s);
}

void ObjectOutputStream::flush() { out_.flush(); }

void ObjectOutputStream::assignHandle(const Object* obj) {
  if (handles_.size() >= static_cast<size_t>(INT32_MAX)) {
    throw IOException("more than 2^31-1 objects on one stream");
  }
  handles_.emplace(obj, static_cast<int32_t>(handles_.size()));
  // An object that no Ref holds has a count of 0: retaining it would make us its owner.
  if (obj->referenceCount() > 0) kept_.emplace_back(obj);
}

template <typename E>
void ObjectOutputStream::writeArrayBody(const PrimitiveArray<E>& a) {
  writeU32(static_cast<uint32_t>(a.length()));
  using Bits = decltype(bitsOf(E{}));
  constexpr size_t width = sizeof(Bits);
  uint8_t buffer[4096];
  size_t used = 0;
  for (const E e : a.span()) {
    const Bits bits = bitsOf(e);
    for (size_t i = 0; i < width; ++i) {
      buffer[used++] = static_cast<uint8_t>(bits >> (8 * (width - 1 - i)));
    }
    if (used == sizeof buffer) {
      writeRaw(buffer, used);
      used = 0;
    }
  }
  writeRaw(buffer, used);
}

void ObjectOutputStream::writeObject(const Object* obj) {
  DepthGuard guard(depth_);
  if (obj == nullptr) {
    writeTag(TAG_NULL);
    return;
  }
  if (const auto it = handles_.find(obj); it != handles_.end()) {
    writeTag(TAG_REFERENCE);
    writeU32(static_cast<uint32_t>(it->second));
    return;
  }

  // Refuse what cannot be written before anything of the object is.
  const uint8_t tag = builtInTag(*obj);
  std::vector<const SerialClass*> levels;  // of a Serializable object, root-most first
  if (tag == 0) {
    const auto* s = dynamic_cast<const Serializable*>(obj);
    if (s == nullptr) throw IOException(std::string("not serialisable: ") + obj->className());
    const SerialClass& cls = s->serialClass();
    if (cls.name == nullptr || findSerialClass(cls.name) != &cls) {
      throw IOException(std::string("not serialisable (class not registered): ") +
                        (cls.name != nullptr ? cls.name : obj->className()));
    }
    checkUtf8(cls.name, "serial class name");
    levels = levelsOf(cls);
  } else if (tag == TAG_STRING) {
    checkUtf8(static_cast<const String*>(obj)->value(), "String");
  }

  assignHandle(obj);
  switch (tag) {
    case 0:
      writeTag(TAG_SERIALIZABLE);
      writeUtf8Body(levels.back()->name);
      for (const SerialClass* level : levels) {
        if (level->writeHook != nullptr) level->writeHook(*obj, *this);
      }
      return;
    case TAG_STRING:
      writeTag(tag);
      writeUtf8Body(static_cast<const String*>(obj)->value());
      return;
    case TAG_INTEGER_OBJECT:
      writeTag(tag);
      writeU32(static_cast<uint32_t>(static_cast<const Integer*>(obj)->value()));
      return;
    case TAG_LONG_OBJECT:
      writeTag(tag);
      writeU64(static_cast<uint64_t>(static_cast<const Long*>(obj)->value()));
      return;
    case TAG_SHORT_OBJECT:
      writeTag(tag);
      writeU16(static_cast<uint16_t>(static_cast<const Short*>(obj)->value()));
      return;
    case TAG_BYTE_OBJECT:
      writeTag(tag);
      out_.write(static_cast<const Byte*>(obj)->value());
      return;
    case TAG_BOOLEAN_OBJECT:
      writeTag(tag);
      out_.write(static_cast<const Boolean*>(obj)->value() ? 1 : 0);
      return;
    case TAG_FLOAT_OBJECT:
      writeTag(tag);
      writeU32(std::bit_cast<uint32_t>(static_cast<const Float*>(obj)->value()));
      return;
    case TAG_DOUBLE_OBJECT:
      writeTag(tag);
      writeU64(std::bit_cast<uint64_t>(static_cast<const Double*>(obj)->value()));
      return;
    case TAG_CHARACTER_OBJECT:
      writeTag(tag);
      writeU16(static_cast<uint16_t>(static_cast<const Character*>(obj)->value()));
      return;
    case TAG_DECIMAL: {
      const auto* d = static_cast<const Decimal*>(obj);
      writeTag(tag);
      out_.write(d->signum());
      writeU32(static_cast<uint32_t>(d->scale()));
      writeUtf8Body(d->unscaledDigits());
      return;
    }
    case TAG_TIMESTAMP: {
      const auto* t = static_cast<const Timestamp*>(obj);
      writeTag(tag);
      writeU32(static_cast<uint32_t>(t->year()));
      const uint8_t fields[] = {static_cast<uint8_t>(t->month()), static_cast<uint8_t>(t->day()),
                                static_cast<uint8_t>(t->hour()), static_cast<uint8_t>(t->minute()),
                                static_cast<uint8_t>(t->second())};
      writeRaw(fields, sizeof fields);
      writeU32(static_cast<uint32_t>(t->nanos()));
      return;
    }
    case TAG_BOOLEAN_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const BooleanArray*>(obj));
      return;
    case TAG_BYTE_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const ByteArray*>(obj));
      return;
    case TAG_SHORT_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const ShortArray*>(obj));
      return;
    case TAG_CHAR_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const CharArray*>(obj));
      return;
    case TAG_INT_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const IntArray*>(obj));
      return;
    case TAG_LONG_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const LongArray*>(obj));
      return;
    case TAG_FLOAT_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const FloatArray*>(obj));
      return;
    case TAG_DOUBLE_ARRAY:
      writeTag(tag);
      writeArrayBody(*static_cast<const DoubleArray*>(obj));
      return;
    case TAG_OBJECT_ARRAY: {
      const auto* a = static_cast<const ObjectArray*>(obj);
      writeTag(tag);
      writeU32(static_cast<uint32_t>(a->length()));
      for (int32_t i = 0; i < a->length(); ++i) writeObject(a->data()[i].get());
      return;
    }
    default:
      break;
  }
  assert(false && "a built-in tag without its writer");
}

}  // namespace kelvor::lang
