#include "scalar/KelvorTypeCLOB.h"

#include <utility>

#include "driver/ClobValue.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "scalar/KelvorTypeBLOB.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeCLOB";

}  // namespace

const lang::SerialClass KelvorTypeCLOB::SERIAL_CLASS = {
    "KelvorTypeCLOB", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeCLOB>(); },
    &KelvorTypeCLOB::serialWriteHook, &KelvorTypeCLOB::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeCLOB::SERIAL_CLASS);
}  // namespace

KelvorTypeCLOB::KelvorTypeCLOB() = default;

KelvorTypeCLOB::KelvorTypeCLOB(jdbc::Connection* conn) : connection_(conn) {}

KelvorTypeCLOB::~KelvorTypeCLOB() = default;

int32_t KelvorTypeCLOB::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeCLOB::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

Ref<jdbc::SqlValue> KelvorTypeCLOB::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  if (value == nullptr) return nullptr;
  if (auto* locator = dynamic_cast<jdbc::ClobValue*>(value)) return Ref<jdbc::SqlValue>(locator);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

Ref<lang::Object> KelvorTypeCLOB::toObject(Ref<lang::ByteArray> bytes, int32_t style,
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
      return lang::makeRef<jdbc::ClobValue>(std::move(conn), std::move(bytes));
    }
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

Ref<lang::Object> KelvorTypeCLOB::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                  const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

void KelvorTypeCLOB::readSerialForm(lang::ObjectInputStream& /*in*/) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
}

void KelvorTypeCLOB::writeSerialForm(lang::ObjectOutputStream& /*out*/) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
}

void KelvorTypeCLOB::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeCLOB&>(self).readSerialForm(in);
}

void KelvorTypeCLOB::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeCLOB&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
