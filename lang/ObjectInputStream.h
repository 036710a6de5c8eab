// Reads what ObjectOutputStream writes. Every read checks its tag; every length or count is
// checked against the bytes that remain before anything is allocated for it; nesting of
// objects is bounded. A malformed stream fails with StreamCorruptedException (an
// IOException), a premature end with EOFException, an unregistered class name with
// IOException; none reads outside the input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lang/InputStream.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class ObjectInputStream : public Object {
 public:
  // Nested objects deeper than this fail with StreamCorruptedException.
  static constexpr int32_t MAX_DEPTH = 200;

  // Reads and checks the stream header at once.
  explicit ObjectInputStream(InputStream& in);

  int32_t readInt();
  int64_t readLong();
  int16_t readShort();
  int8_t readByte();
  bool readBoolean();
  float readFloat();
  double readDouble();
  std::string readUTF();
  Ref<Object> readObject();

  const char* className() const noexcept override { return "ObjectInputStream"; }

 private:
  uint8_t readTag();
  void expectTag(uint8_t expected);
  void readRaw(void* dst, size_t n);

  InputStream& in_;  // not owned
  std::vector<Ref<Object>> handles_;
  int32_t depth_ = 0;
};

}  // namespace kelvor::lang
