#include "scalar/LocatorSupport.h"

#include <utility>

#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/ClobValue.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCLOB.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Each descriptor's styles are the ones its LocatorSupport switches on.
template <typename Descriptor, typename Value>
constexpr bool sameStyles =
    Descriptor::STYLE_SQL_VALUE == LocatorSupport<Value>::STYLE_SQL_VALUE &&
    Descriptor::STYLE_PLATFORM_OBJECT == LocatorSupport<Value>::STYLE_PLATFORM_OBJECT &&
    Descriptor::STYLE_BYTES == LocatorSupport<Value>::STYLE_BYTES;
static_assert(sameStyles<KelvorTypeBLOB, jdbc::BlobValue>);
static_assert(sameStyles<KelvorTypeCLOB, jdbc::ClobValue>);
static_assert(sameStyles<KelvorTypeBFILE, jdbc::BfileValue>);

}  // namespace

template <typename Value>
void LocatorSupport<Value>::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

template <typename Value>
Ref<jdbc::SqlValue> LocatorSupport<Value>::toSqlValue(lang::Object* value) {
  if (value == nullptr) return nullptr;
  if (auto* locator = dynamic_cast<Value*>(value)) return Ref<jdbc::SqlValue>(locator);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

template <typename Value>
Ref<lang::Object> LocatorSupport<Value>::toObject(Ref<lang::ByteArray> bytes,
                                                  int32_t style) const {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE:
    case STYLE_PLATFORM_OBJECT: {
      Ref<jdbc::Connection> conn;
      {
        std::lock_guard<std::mutex> hold(connectionLock_);
        conn = Ref<jdbc::Connection>(connection_);
      }
      return lang::makeRef<Value>(std::move(conn), std::move(bytes));
    }
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

template <typename Value>
Ref<lang::Object> LocatorSupport<Value>::unpickleLocator(KelvorType* descriptor, int32_t nullIndex,
                                                         int32_t offsetIndex, UnpickleContext& ctx,
                                                         int32_t format, int32_t style,
                                                         int32_t slotSize) {
  Ref<lang::ByteArray> bytes;
  FieldObserver* const o = ctx.observer();
  if (format == 1) {
    if (ctx.isNull(nullIndex) != 0) {
      if (o != nullptr) [[unlikely]] o->field(ctx.slotPosition(offsetIndex), 0, FieldKind::NULL_INDICATOR, descriptor, nullIndex);
      return nullptr;
    }
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex));
    if (style == KelvorType::STYLE_SKIP) {
      ctx.skipBytes(4);  // the relative offset; the locator lies out of line
      return nullptr;
    }
    const int32_t slot = ctx.offset();
    ctx.followOffset();
    if (o != nullptr) [[unlikely]] {
      o->field(slot, 4, FieldKind::VALUE_AT, descriptor, ctx.relativeOffset());
    }
    const int32_t at = ctx.offset();
    bytes = ctx.readUB2Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, bytes->length(), FieldKind::UB2_VALUE, descriptor, bytes->length() - 2);
    ctx.restoreMark();  // just after the relative offset
  } else {
    const int8_t flag = ctx.readByte();
    if ((flag & 1) != 0) {
      const int32_t after = ctx.offset();
      ctx.skipUB2Bytes();
      if (o != nullptr) [[unlikely]] o->field(after - 1, 1, FieldKind::NULL_ELEMENT_FLAG, descriptor, int64_t{ctx.offset()} - after);
      return nullptr;
    }
    if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 1, 1, FieldKind::ELEMENT_FLAG, descriptor, flag & 0xFF);
    // 64 bits: a position near 2^31 plus the slot size must not wrap.
    const int64_t end = int64_t{ctx.relativeOffset()} + slotSize;
    if (style == KelvorType::STYLE_SKIP) {
      // Stepped over as far as a read goes: a locator longer than its slot ends past the
      // slot, and stopping at the slot's end would land inside it.
      ctx.skipUB2Bytes();
      ctx.skipToRelative(end);
      return nullptr;
    }
    const int32_t at = ctx.offset();
    bytes = ctx.readUB2Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, bytes->length(), FieldKind::UB2_VALUE, descriptor, bytes->length() - 2);
    ctx.skipToRelative(end);  // a short locator leaves the rest of the slot; never moves back
  }
  return descriptor->toObject(std::move(bytes), style, nullptr);
}

template class LocatorSupport<jdbc::BlobValue>;
template class LocatorSupport<jdbc::ClobValue>;
template class LocatorSupport<jdbc::BfileValue>;

}  // namespace kelvor::jdbc::kelcore
