#include "lang/ObjectInputStream.h"

#include <algorithm>
#include <bit>
#include <type_traits>

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

// One per readObject call, nulls and back-references included, as the writer counts.
[[noreturn]] void refuseDepth() {
  throw StreamCorruptedException("objects nested deeper than " + std::to_string(MAX_DEPTH));
}
using DepthGuard = NestingGuard<MAX_DEPTH, &refuseDepth>;

[[noreturn]] void throwCorrupted(const std::string& what) { throw StreamCorruptedException(what); }

std::string hexByte(uint8_t b) {
  static constexpr char DIGITS[] = "0123456789ABCDEF";
  return std::string{DIGITS[b >> 4], DIGITS[b & 15]};
}

// An element from its big-endian image (bool: 00 or 01, anything else is corrupt).
template <typename E>
E elementFrom(const uint8_t* p) {
  if constexpr (std::is_same_v<E, bool>) {
    if (p[0] > 1) throwCorrupted("boolean byte " + hexByte(p[0]));
    return p[0] == 1;
  } else {
    using Bits = std::conditional_t<
        sizeof(E) == 1, uint8_t,
        std::conditional_t<sizeof(E) == 2, uint16_t,
                           std::conditional_t<sizeof(E) == 4, uint32_t, uint64_t>>>;
    Bits bits = 0;
    for (size_t i = 0; i < sizeof(E); ++i) bits = static_cast<Bits>((bits << 8) | p[i]);
    return std::bit_cast<E>(bits);
  }
}

}  // namespace

namespace {

// Keeps an object on the stack of those being read while its contents are read.
class ReadingGuard {
 public:
  ReadingGuard(std::vector<const Object*>& stack, const Object* o) : stack_(stack) {
    stack_.push_back(o);
  }
  ~ReadingGuard() { stack_.pop_back(); }
  ReadingGuard(const ReadingGuard&) = delete;
  ReadingGuard& operator=(const ReadingGuard&) = delete;

 private:
  std::vector<const Object*>& stack_;
};

}  // namespace

ObjectInputStream::ObjectInputStream(InputStream& in, bool acyclic) : in_(in), acyclic_(acyclic) {
  uint8_t header[3];
  readRaw(header, sizeof header);
  if (header[0] != MAGIC_0 || header[1] != MAGIC_1) throwCorrupted("not a serial stream");
  if (header[2] != VERSION) throwCorrupted("serial stream version " + std::to_string(header[2]));
}

void ObjectInputStream::readRaw(void* dst, size_t n) {
  auto* p = static_cast<int8_t*>(dst);
  while (n > 0) {
    const size_t chunk = n < static_cast<size_t>(INT32_MAX) ? n : static_cast<size_t>(INT32_MAX);
    const int32_t got = in_.read(p, static_cast<int32_t>(chunk));
    // 0 for a non-empty request would loop for ever: a stream that stalls has ended
    if (got <= 0) throw EOFException();
    p += got;
    n -= static_cast<size_t>(got);
  }
}

uint8_t ObjectInputStream::readU8() {
  const int32_t b = in_.read();
  if (b < 0) throw EOFException();
  return static_cast<uint8_t>(b);
}

uint8_t ObjectInputStream::readTag() { return readU8(); }

void ObjectInputStream::expectTag(uint8_t expected) {
  const uint8_t tag = readTag();
  if (tag != expected) {
    throwCorrupted("tag " + hexByte(tag) + " where " + hexByte(expected) + " belongs");
  }
}

uint16_t ObjectInputStream::readU16() {
  uint8_t b[2];
  readRaw(b, sizeof b);
  return elementFrom<uint16_t>(b);
}

uint32_t ObjectInputStream::readU32() {
  uint8_t b[4];
  readRaw(b, sizeof b);
  return elementFrom<uint32_t>(b);
}

uint64_t ObjectInputStream::readU64() {
  uint8_t b[8];
  readRaw(b, sizeof b);
  return elementFrom<uint64_t>(b);
}

bool ObjectInputStream::readBooleanByte() {
  const uint8_t b = readU8();
  return elementFrom<bool>(&b);
}

int32_t ObjectInputStream::readCount(int32_t elementSize) {
  const auto n = static_cast<int32_t>(readU32());
  if (n < 0) throwCorrupted("negative length " + std::to_string(n));
  // security: n comes from the stream; divide what remains rather than multiply n
  const int32_t remaining = std::max(in_.available(), 0);
  if (n > remaining / elementSize) throw EOFException();
  return n;
}

std::string ObjectInputStream::readUtf8Body() {
  const int32_t n = readCount(1);
  std::string s(static_cast<size_t>(n), '\0');
  readRaw(s.data(), s.size());
  if (!String::isWellFormedUtf8(s)) throwCorrupted("text is not UTF-8");
  return s;
}

int32_t ObjectInputStream::readInt() {
  expectTag(TAG_INT);
  return static_cast<int32_t>(readU32());
}

int64_t ObjectInputStream::readLong() {
  expectTag(TAG_LONG);
  return static_cast<int64_t>(readU64());
}

int16_t ObjectInputStream::readShort() {
  expectTag(TAG_SHORT);
  return static_cast<int16_t>(readU16());
}

int8_t ObjectInputStream::readByte() {
  expectTag(TAG_BYTE);
  return static_cast<int8_t>(readU8());
}

bool ObjectInputStream::readBoolean() {
  expectTag(TAG_BOOLEAN);
  return readBooleanByte();
}

float ObjectInputStream::readFloat() {
  expectTag(TAG_FLOAT);
  return std::bit_cast<float>(readU32());
}

double ObjectInputStream::readDouble() {
  expectTag(TAG_DOUBLE);
  return std::bit_cast<double>(readU64());
}

std::string ObjectInputStream::readUTF() {
  expectTag(TAG_UTF);
  return readUtf8Body();
}

Ref<Object> ObjectInputStream::remember(Ref<Object> obj) {
  // each handle cost at least one byte of input, so this cannot outgrow what was read
  handles_.push_back(obj);
  return obj;
}

bool ObjectInputStream::isBeingRead(const Object* o) const noexcept {
  // at most MAX_DEPTH entries
  return o != nullptr && std::find(reading_.begin(), reading_.end(), o) != reading_.end();
}

Ref<Object> ObjectInputStream::readObject() {
  if (depth_ > 0) return readNestedObject();  // from a read hook
  const size_t first = handles_.size();
  try {
    return readNestedObject();
  } catch (...) {
    // The objects of a failed read reach no caller: unlink the arrays, so that no cycle
    // outlives us, and take back their handles, so that no later read refers to them.
    for (size_t i = first; i < handles_.size(); ++i) {
      if (auto* a = dynamic_cast<ObjectArray*>(handles_[i].get()); a != nullptr) {
        for (int32_t k = 0; k < a->length(); ++k) a->data()[k] = nullptr;
      }
    }
    handles_.resize(first);
    throw;
  }
}

Ref<Object> ObjectInputStream::readNestedObject() {
  DepthGuard guard(depth_);
  const uint8_t tag = readTag();
  switch (tag) {
    case TAG_NULL:
      return nullptr;
    case TAG_REFERENCE: {
      const auto handle = static_cast<int32_t>(readU32());
      // security: the handle comes from the stream; only handles already given out are valid
      if (handle < 0 || static_cast<size_t>(handle) >= handles_.size()) {
        throwCorrupted("back-reference to unknown handle " + std::to_string(handle));
      }
      const Ref<Object>& target = handles_[static_cast<size_t>(handle)];
      if (acyclic_ && isBeingRead(target.get())) throwCorrupted("back-reference closes a cycle");
      return target;
    }
    case TAG_STRING:
      return remember(String::of(readUtf8Body()));
    case TAG_INTEGER_OBJECT:
      return remember(Integer::of(static_cast<int32_t>(readU32())));
    case TAG_LONG_OBJECT:
      return remember(Long::of(static_cast<int64_t>(readU64())));
    case TAG_SHORT_OBJECT:
      return remember(Short::of(static_cast<int16_t>(readU16())));
    case TAG_BYTE_OBJECT:
      return remember(Byte::of(static_cast<int8_t>(readU8())));
    case TAG_BOOLEAN_OBJECT:
      return remember(Boolean::of(readBooleanByte()));
    case TAG_FLOAT_OBJECT:
      return remember(Float::of(std::bit_cast<float>(readU32())));
    case TAG_DOUBLE_OBJECT:
      return remember(Double::of(std::bit_cast<double>(readU64())));
    case TAG_CHARACTER_OBJECT:
      return remember(Character::of(static_cast<char16_t>(readU16())));
    case TAG_DECIMAL:
      return readDecimalBody();
    case TAG_TIMESTAMP:
      return readTimestampBody();
    case TAG_BOOLEAN_ARRAY:
      return readArrayBody<bool>();
    case TAG_BYTE_ARRAY:
      return readArrayBody<int8_t>();
    case TAG_SHORT_ARRAY:
      return readArrayBody<int16_t>();
    case TAG_CHAR_ARRAY:
      return readArrayBody<char16_t>();
    case TAG_INT_ARRAY:
      return readArrayBody<int32_t>();
    case TAG_LONG_ARRAY:
      return readArrayBody<int64_t>();
    case TAG_FLOAT_ARRAY:
      return readArrayBody<float>();
    case TAG_DOUBLE_ARRAY:
      return readArrayBody<double>();
    case TAG_OBJECT_ARRAY:
      return readObjectArrayBody();
    case TAG_SERIALIZABLE:
      return readSerializableBody();
    default:
      throwCorrupted("tag " + hexByte(tag) + " where an object belongs");
  }
}

Ref<Object> ObjectInputStream::readDecimalBody() {
  const auto sign = static_cast<int8_t>(readU8());
  const auto scale = static_cast<int32_t>(readU32());
  const std::string digits = readUtf8Body();
  if (sign < -1 || sign > 1) throwCorrupted("decimal sign " + std::to_string(sign));
  // one canonical form: digits only, no leading zero, "0" exactly for sign 0
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                     [](char c) { return c >= '0' && c <= '9'; })) {
    throwCorrupted("decimal digits malformed");
  }
  if (digits.size() > 1 && digits[0] == '0') throwCorrupted("decimal digits with a leading zero");
  if ((sign == 0) != (digits == "0")) throwCorrupted("decimal sign does not match its digits");
  return remember(Decimal::ofUnscaled(sign < 0 ? "-" + digits : digits, scale));
}

Ref<Object> ObjectInputStream::readTimestampBody() {
  const auto year = static_cast<int32_t>(readU32());
  uint8_t fields[5];
  readRaw(fields, sizeof fields);
  const auto nanos = static_cast<int32_t>(readU32());
  Ref<Timestamp> t;
  try {
    t = Timestamp::of(year, fields[0], fields[1], fields[2], fields[3], fields[4], nanos);
  } catch (const IllegalArgumentException& e) {
    throwCorrupted(e.what());
  }
  return remember(t);
}

template <typename E>
Ref<Object> ObjectInputStream::readArrayBody() {
  constexpr auto width = static_cast<int32_t>(std::is_same_v<E, bool> ? 1 : sizeof(E));
  static_assert(std::is_same_v<E, bool> || sizeof(E) == static_cast<size_t>(width));
  const int32_t n = readCount(width);  // checked before the allocation below
  Ref<PrimitiveArray<E>> a = PrimitiveArray<E>::make(n);
  remember(a);
  if (n == 0) return a;

  // The images land in the array's own storage and are decoded in place, element by element
  // (each element's image occupies exactly its own bytes; bool is 1 byte wide as asserted).
  static_assert(sizeof(E) == static_cast<size_t>(width));
  auto* bytes = reinterpret_cast<uint8_t*>(a->data());
  readRaw(bytes, static_cast<size_t>(n) * sizeof(E));
  for (int32_t i = 0; i < n; ++i) {
    uint8_t image[sizeof(E)];
    std::copy_n(bytes + static_cast<size_t>(i) * sizeof(E), sizeof(E), image);
    (*a)[i] = elementFrom<E>(image);
  }
  return a;
}

Ref<Object> ObjectInputStream::readObjectArrayBody() {
  const int32_t n = readCount(1);  // every element takes at least its tag byte
  Ref<ObjectArray> a = ObjectArray::make(n);
  remember(a);  // before the elements, so that one of them can refer back to the array
  ReadingGuard reading(reading_, a.get());
  for (int32_t i = 0; i < n; ++i) a->set(i, readNestedObject());
  return a;
}

Ref<Object> ObjectInputStream::readSerializableBody() {
  const std::string name = readUtf8Body();
  const SerialClass* cls = findSerialClass(name);
  if (cls == nullptr) throw IOException("unknown serial class " + name.substr(0, 128));
  if (cls->create == nullptr) throw IOException("serial class " + name + " cannot be created");

  std::vector<const SerialClass*> levels;
  for (const SerialClass* c = cls; c != nullptr; c = c->base) {
    if (levels.size() == static_cast<size_t>(MAX_LEVELS)) {
      throw IOException("serial class " + name + " has more than 64 levels");
    }
    levels.insert(levels.begin(), c);
  }

  Ref<Object> obj = cls->create();
  // The hooks cast `self` to their own class: make sure create made the class registered.
  const auto* s = dynamic_cast<const Serializable*>(obj.get());
  if (s == nullptr || &s->serialClass() != cls) {
    throw IOException("serial class " + name + " creates an object of another class");
  }
  remember(obj);  // before the hooks, so that a cycle back to obj resolves
  ReadingGuard reading(reading_, obj.get());
  for (const SerialClass* level : levels) {
    if (level->readHook != nullptr) level->readHook(*obj, *this);
  }
  return obj;
}

}  // namespace kelvor::lang
