#include "scalar/KelvorTypeBLOB.h"

#include <utility>

#include "driver/SqlValue.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"

namespace kelvor::jdbc::kelcore {

constinit const lang::SerialClass KelvorTypeBLOB::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeBLOB>("KelvorTypeBLOB");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeBLOB::SERIAL_CLASS);
}  // namespace

KelvorTypeBLOB::KelvorTypeBLOB() { setKind(TypeKind::Blob); }

KelvorTypeBLOB::KelvorTypeBLOB(jdbc::Connection* conn) : values_(conn) { setKind(TypeKind::Blob); }

KelvorTypeBLOB::~KelvorTypeBLOB() = default;

int32_t KelvorTypeBLOB::getTypeCode() const { return TYPE_CODE; }

Ref<lang::Object> KelvorTypeBLOB::unpickleLocator(KelvorType* descriptor, int32_t nullIndex,
                                                  int32_t offsetIndex, UnpickleContext& ctx,
                                                  int32_t format, int32_t style,
                                                  int32_t slotSize) {
  Ref<lang::ByteArray> bytes;
  if (format == 1) {
    if (ctx.isNull(nullIndex) != 0) return nullptr;
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex));
    if (style == STYLE_SKIP) {
      ctx.skipBytes(4);  // the relative offset; the locator lies out of line
      return nullptr;
    }
    ctx.followOffset();
    bytes = ctx.readUB2Bytes();
    ctx.restoreMark();  // just after the relative offset
  } else {
    if ((ctx.readByte() & 1) != 0) {
      ctx.skipUB2Bytes();
      return nullptr;
    }
    // 64 bits: a position near 2^31 plus the slot size must not wrap.
    const int64_t end = int64_t{ctx.relativeOffset()} + slotSize;
    if (style == STYLE_SKIP) {
      // Stepped over as far as a read goes: a locator longer than its slot ends past the
      // slot, and stopping at the slot's end would land inside it.
      ctx.skipUB2Bytes();
      ctx.skipToRelative(end);
      return nullptr;
    }
    bytes = ctx.readUB2Bytes();
    ctx.skipToRelative(end);  // a short locator leaves the rest of the slot; never moves back
  }
  return descriptor->toObject(std::move(bytes), style, nullptr);
}

void KelvorTypeBLOB::setConnection(jdbc::Connection* conn) { values_.setConnection(conn); }

Ref<jdbc::SqlValue> KelvorTypeBLOB::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  return values_.toSqlValue(value);
}

Ref<lang::Object> KelvorTypeBLOB::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return values_.toObject(std::move(bytes), style);
}

Ref<lang::Object> KelvorTypeBLOB::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

}  // namespace kelvor::jdbc::kelcore
