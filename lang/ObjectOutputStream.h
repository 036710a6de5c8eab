// Writes primitives and object graphs in our serial form over an OutputStream.
//
// stream    := magic "KS" version(1) item*
// item      := tag payload              every primitive and object is tagged, so a reader
//                                       that expects another kind fails instead of misreading
// Primitives are big-endian after their tag. Objects: null, a back-reference to an object
// already written on this stream (identity is kept and cycles terminate), strings, boxed
// numbers, decimals, timestamps, primitive and object arrays, and registered Serializable
// classes, whose hooks run base class first. The grammar is written above the code that
// writes it, in ObjectOutputStream.cpp.
//
// Every object written is retained until the stream is destroyed, so that its address cannot
// be reused by another object and mistaken for a back-reference. (An object that no Ref holds,
// such as one on the stack, is not retained: keep it alive while the stream is in use.)
// One thread at a time.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/OutputStream.h"
#include "lang/Ref.h"

namespace kelvor::lang {

// The constants of the serial form, shared by the writer and the reader.
namespace serial {

inline constexpr uint8_t MAGIC_0 = 'K';
inline constexpr uint8_t MAGIC_1 = 'S';
inline constexpr uint8_t VERSION = 1;

// primitives (each write*/read* pair has its own)
inline constexpr uint8_t TAG_INT = 0x01;
inline constexpr uint8_t TAG_LONG = 0x02;
inline constexpr uint8_t TAG_SHORT = 0x03;
inline constexpr uint8_t TAG_BYTE = 0x04;
inline constexpr uint8_t TAG_BOOLEAN = 0x05;
inline constexpr uint8_t TAG_FLOAT = 0x06;
inline constexpr uint8_t TAG_DOUBLE = 0x07;
inline constexpr uint8_t TAG_UTF = 0x08;
// objects
inline constexpr uint8_t TAG_NULL = 0x10;
inline constexpr uint8_t TAG_REFERENCE = 0x11;
inline constexpr uint8_t TAG_STRING = 0x12;
inline constexpr uint8_t TAG_INTEGER_OBJECT = 0x13;
inline constexpr uint8_t TAG_LONG_OBJECT = 0x14;
inline constexpr uint8_t TAG_SHORT_OBJECT = 0x15;
inline constexpr uint8_t TAG_BYTE_OBJECT = 0x16;
inline constexpr uint8_t TAG_BOOLEAN_OBJECT = 0x17;
inline constexpr uint8_t TAG_FLOAT_OBJECT = 0x18;
inline constexpr uint8_t TAG_DOUBLE_OBJECT = 0x19;
inline constexpr uint8_t TAG_CHARACTER_OBJECT = 0x1A;
inline constexpr uint8_t TAG_DECIMAL = 0x1B;
inline constexpr uint8_t TAG_TIMESTAMP = 0x1C;
inline constexpr uint8_t TAG_BOOLEAN_ARRAY = 0x20;
inline constexpr uint8_t TAG_BYTE_ARRAY = 0x21;
inline constexpr uint8_t TAG_SHORT_ARRAY = 0x22;
inline constexpr uint8_t TAG_CHAR_ARRAY = 0x23;
inline constexpr uint8_t TAG_INT_ARRAY = 0x24;
inline constexpr uint8_t TAG_LONG_ARRAY = 0x25;
inline constexpr uint8_t TAG_FLOAT_ARRAY = 0x26;
inline constexpr uint8_t TAG_DOUBLE_ARRAY = 0x27;
inline constexpr uint8_t TAG_OBJECT_ARRAY = 0x28;
inline constexpr uint8_t TAG_SERIALIZABLE = 0x30;

// Objects nest at most this deep, counted per writeObject/readObject call (nulls and
// back-references included): the writer refuses what the reader would refuse.
inline constexpr int32_t MAX_DEPTH = 200;
// A serialisable class has at most this many serialisable levels (a guard against a base
// chain that loops).
inline constexpr int32_t MAX_LEVELS = 64;

}  // namespace serial

class ObjectOutputStream : public Object {
 public:
  static constexpr int32_t MAX_DEPTH = serial::MAX_DEPTH;

  // Writes the stream header at once.
  explicit ObjectOutputStream(OutputStream& out);

  void writeInt(int32_t v);
  void writeLong(int64_t v);
  void writeShort(int16_t v);
  void writeByte(int8_t v);
  void writeBoolean(bool v);
  void writeFloat(float v);
  void writeDouble(double v);
  // A string as a value (not an object: no identity, never null). Text that is not UTF-8, or
  // longer than 2^31-1 bytes, throws IOException before anything is written.
  void writeUTF(std::string_view s);
  // Null, or an object of a supported kind; an object of another kind, or of a Serializable
  // class that is not registered under its name, throws IOException ("not serialisable")
  // before anything of it is written. Nesting deeper than MAX_DEPTH throws IOException.
  void writeObject(const Object* obj);
  void writeObject(const Ref<Object>& obj) { writeObject(obj.get()); }
  void flush();

  const char* className() const noexcept override { return "ObjectOutputStream"; }

 private:
  void writeTag(uint8_t tag);
  void writeRaw(const void* data, size_t n);
  void writeU16(uint16_t v);
  void writeU32(uint32_t v);
  void writeU64(uint64_t v);
  // be32 length and the bytes of text already checked to be UTF-8 of at most 2^31-1 bytes.
  void writeUtf8Body(std::string_view s);
  template <typename E>
  void writeArrayBody(const PrimitiveArray<E>& a);
  // Gives obj the next handle and retains it (see the file comment).
  void assignHandle(const Object* obj);

  OutputStream& out_;  // not owned
  std::unordered_map<const Object*, int32_t> handles_;  // object -> handle, in writing order
  std::vector<Ref<const Object>> kept_;  // the objects of handles_, alive while we are
  int32_t depth_ = 0;                    // writeObject calls in progress
};

}  // namespace kelvor::lang
