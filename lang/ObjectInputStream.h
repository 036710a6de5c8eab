// Reads what ObjectOutputStream writes. Every read checks its tag; every length or count is
// checked against the bytes that remain before anything is allocated for it; nesting of
// objects is bounded. A malformed stream fails with StreamCorruptedException (an
// IOException), a premature end with EOFException, an unregistered class name with
// IOException; none reads outside the input.
//
// Lengths are compared with `available()` of the underlying stream, which must report the
// bytes that remain, as the in-memory ByteArrayInputStream does: a stream that answered more
// would let a hostile length allocate beyond the input, one that answers less (the default
// answers 0) makes valid input fail. An object array is restored with the element
// type Object, whatever element class it was written with.
//
// Back-references can make cycles of Refs, which reference counting never frees. When an
// outermost readObject fails, the object arrays it made drop their elements, so that a cycle
// that hostile input built before the failure is not leaked; a Serializable class whose own
// fields can close a cycle must break it in its own error path, or refuse it as it reads
// (isBeingRead). A stream made acyclic refuses every back-reference to an object whose read
// has not finished, which is what every cycle needs. One thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lang/InputStream.h"
#include "lang/Object.h"
#include "lang/ObjectOutputStream.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class ObjectInputStream : public Object {
 public:
  // Nested objects deeper than this fail with StreamCorruptedException.
  static constexpr int32_t MAX_DEPTH = serial::MAX_DEPTH;

  // Reads and checks the stream header at once. An acyclic stream fails with
  // StreamCorruptedException on a back-reference that would close a cycle.
  explicit ObjectInputStream(InputStream& in, bool acyclic = false);

  int32_t readInt();
  int64_t readLong();
  int16_t readShort();
  int8_t readByte();
  bool readBoolean();
  float readFloat();
  double readDouble();
  std::string readUTF();
  Ref<Object> readObject();
  // Whether o is an object array or a serializable object whose read is still in progress: a
  // reference to it from what is being read now closes a cycle.
  bool isBeingRead(const Object* o) const noexcept;

  const char* className() const noexcept override { return "ObjectInputStream"; }

 private:
  uint8_t readTag();
  void expectTag(uint8_t expected);
  void readRaw(void* dst, size_t n);
  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();
  uint64_t readU64();
  bool readBooleanByte();
  // A be32 count of elements of at least elementSize bytes each, checked against the bytes
  // that remain before the caller allocates anything for it.
  int32_t readCount(int32_t elementSize);
  std::string readUtf8Body();
  template <typename E>
  Ref<Object> readArrayBody();
  Ref<Object> readObjectArrayBody();
  Ref<Object> readSerializableBody();
  Ref<Object> readDecimalBody();
  Ref<Object> readTimestampBody();
  // Gives obj the next handle; returns it.
  Ref<Object> remember(Ref<Object> obj);
  // One object, with the depth guard; readObject adds the clean-up of a failed outermost read.
  Ref<Object> readNestedObject();

  InputStream& in_;  // not owned
  std::vector<Ref<Object>> handles_;  // handle -> object, in reading order
  std::vector<const Object*> reading_;  // arrays and serializables being read, outermost first
  bool acyclic_ = false;
  int32_t depth_ = 0;                 // readObject calls in progress
};

}  // namespace kelvor::lang
