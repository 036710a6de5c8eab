// Writes primitives and object graphs in our serial form over an OutputStream.
//
// stream    := magic "KS" version(1) item*
// item      := tag payload              every primitive and object is tagged, so a reader
//                                       that expects another kind fails instead of misreading
// Primitives are big-endian after their tag. Objects: null, a back-reference to an object
// already written on this stream (identity is kept and cycles terminate), strings, boxed
// numbers, decimals, timestamps, primitive and object arrays, and registered Serializable
// classes, whose hooks run base class first. The tag values are listed in the source.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "lang/Object.h"
#include "lang/OutputStream.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class ObjectOutputStream : public Object {
 public:
  // Writes the stream header at once.
  explicit ObjectOutputStream(OutputStream& out);

  void writeInt(int32_t v);
  void writeLong(int64_t v);
  void writeShort(int16_t v);
  void writeByte(int8_t v);
  void writeBoolean(bool v);
  void writeFloat(float v);
  void writeDouble(double v);
  // A string as a value (not an object: no identity, never null).
  void writeUTF(std::string_view s);
  // Null, or an object of a supported kind; an object of another kind throws IOException
  // ("not serialisable") before anything of it is written.
  void writeObject(const Object* obj);
  void writeObject(const Ref<Object>& obj) { writeObject(obj.get()); }
  void flush();

  const char* className() const noexcept override { return "ObjectOutputStream"; }

 private:
  void writeTag(uint8_t tag);
  void writeRaw(const void* data, size_t n);

  OutputStream& out_;  // not owned
  std::unordered_map<const Object*, int32_t> handles_;
  int32_t depth_ = 0;
};

}  // namespace kelvor::lang
