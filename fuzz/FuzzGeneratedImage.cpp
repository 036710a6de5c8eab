// Fuzz target: reads arbitrary bytes as a pickled or linear image (told by its first byte) of
// one of the generated object or collection types, in every mode and result style, whole or
// as a slice; collection attributes and object or collection elements reach the nested
// (UPT) images. A value read whole as SQL values is written back as a pickled and as a
// linear image, and a value kept as an image is decoded afterwards.
//
// input := select(1) how(1) begin(1) count(1) image
//   select  bit 0: a collection type; the rest picks the type
//   how     collections: style = how % 10; objects: style 1 + how % 2; mode from how / 10
//   begin   0: the whole value; otherwise the 1-based first element of a slice
//   count   signed; below 0: every element from begin on
#include <cstddef>
#include <cstdint>

#include "adt/KelvorTypeADT.h"
#include "catalog/LinearImageBuilder.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayValue.h"
#include "driver/ObjectValue.h"
#include "fuzz/support/GeneratedTypes.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"

namespace {

using kelvor::jdbc::ArrayValue;
using kelvor::jdbc::ObjectValue;
using kelvor::jdbc::kelcore::KelvorTypeADT;
using kelvor::jdbc::kelcore::KelvorTypeCOLLECTION;
using kelvor::jdbc::kelcore::PickleContext;
using kelvor::jdbc::kelcore::UnpickleContext;
using kelvor::lang::ByteArray;
using kelvor::lang::Object;
using kelvor::lang::Ref;

constexpr int32_t MODES[] = {KelvorTypeADT::MODE_DECODE, KelvorTypeADT::MODE_KEEP_IMAGE,
                             KelvorTypeADT::MODE_SKIP};

bool pickled(const ByteArray& image) { return (image[0] & 0x80) != 0; }

void readObject(KelvorTypeADT& type, const Ref<ByteArray>& image, int32_t mode, int32_t style) {
  Ref<Object> value;
  if (pickled(*image)) {
    PickleContext ctx(image, 0);
    value = type.unpickle(ctx, nullptr, mode, style, nullptr);
  } else {
    UnpickleContext ctx(image, 0, nullptr, nullptr, static_cast<int8_t>(type.getFormatFlag()));
    value = type.unpickleLinear(ctx, nullptr, mode, style, nullptr);
  }
  auto* object = dynamic_cast<ObjectValue*>(value.get());
  if (object == nullptr) return;
  if (mode == KelvorTypeADT::MODE_KEEP_IMAGE) (void)object->getAttributes();
  if (mode == KelvorTypeADT::MODE_DECODE && style == KelvorTypeADT::STYLE_SQL_VALUE) {
    (void)type.toImage(object);
    (void)kelvor::catalog::LinearImageBuilder::build(type, object);
  }
}

void readCollection(KelvorTypeCOLLECTION& type, const Ref<ByteArray>& image, int32_t mode,
                    int32_t style, int64_t begin, int32_t count) {
  Ref<Object> value;
  if (pickled(*image)) {
    PickleContext ctx(image, 0);
    value = type.unpickle(ctx, nullptr, begin, count, mode, style, nullptr);
  } else {
    UnpickleContext ctx(image, 0, nullptr, nullptr, static_cast<int8_t>(type.getFormatFlag()));
    value = type.unpickleLinear(ctx, nullptr, begin, count, mode, style, nullptr);
  }
  auto* array = dynamic_cast<ArrayValue*>(value.get());
  if (array == nullptr) return;
  if (mode == KelvorTypeADT::MODE_KEEP_IMAGE) (void)array->getSqlValueElements();
  if (mode == KelvorTypeADT::MODE_DECODE && style == KelvorTypeADT::STYLE_SQL_VALUE && begin == 1 &&
      count == -1) {
    (void)type.toImage(array);
    (void)kelvor::catalog::LinearImageBuilder::buildCollection(type, array);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kelvor::fuzz::GeneratedTypes types;
  if (size < 5 || size > (1u << 16)) return 0;
  const bool collection = (data[0] & 1) != 0;
  const size_t which = (data[0] >> 1) % kelvor::fuzz::GeneratedTypes::OBJECT_TYPES;
  const int32_t how = data[1];
  const int32_t mode = MODES[(how / 10) % 3];
  const int64_t begin = data[2] == 0 ? 1 : data[2];
  const int32_t count = data[2] == 0 || static_cast<int8_t>(data[3]) < 0 ? -1 : data[3];
  auto image =
      ByteArray::copyOf(reinterpret_cast<const int8_t*>(data + 4), static_cast<int32_t>(size - 4));
  try {
    if (collection) {
      readCollection(types.collection(which), image, mode, how % 10, begin, count);
    } else {
      readObject(types.object(which), image, mode, 1 + how % 2);
    }
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
