#include "scalar/KelvorTypeBLOB.h"

#include <utility>

#include "driver/BlobValue.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeBLOB";

}  // namespace

const lang::SerialClass KelvorTypeBLOB::SERIAL_CLASS = {
    "KelvorTypeBLOB", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeBLOB>(); },
    &KelvorTypeBLOB::serialWriteHook, &KelvorTypeBLOB::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeBLOB::SERIAL_CLASS);
}  // namespace

KelvorTypeBLOB::KelvorTypeBLOB() = default;

KelvorTypeBLOB::KelvorTypeBLOB(jdbc::Connection* conn) : connection_(conn) {}

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
      ctx.skipToRelative(end);
      return nullptr;
    }
    bytes = ctx.readUB2Bytes();
    ctx.skipToRelative(end);  // a short locator leaves the rest of the slot; never moves back
  }
  return descriptor->toObject(std::move(bytes), style, nullptr);
}

void KelvorTypeBLOB::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

Ref<jdbc::SqlValue> KelvorTypeBLOB::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  if (value == nullptr) return nullptr;
  if (auto* locator = dynamic_cast<jdbc::BlobValue*>(value)) return Ref<jdbc::SqlValue>(locator);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

Ref<lang::Object> KelvorTypeBLOB::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                  const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE:
    case STYLE_PLATFORM_OBJECT: {
      Ref<jdbc::Connection> conn;
      {
        std::lock_guard<std::mutex> hold(connectionLock_);
        conn = connection_;
      }
      return lang::makeRef<jdbc::BlobValue>(std::move(conn), std::move(bytes));
    }
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

Ref<lang::Object> KelvorTypeBLOB::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                  const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

void KelvorTypeBLOB::readSerialForm(lang::ObjectInputStream& /*in*/) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
}

void KelvorTypeBLOB::writeSerialForm(lang::ObjectOutputStream& /*out*/) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
}

void KelvorTypeBLOB::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeBLOB&>(self).readSerialForm(in);
}

void KelvorTypeBLOB::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeBLOB&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
