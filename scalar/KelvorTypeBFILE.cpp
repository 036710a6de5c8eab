#include "scalar/KelvorTypeBFILE.h"

#include <utility>

#include "driver/BfileValue.h"
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

constexpr const char* TRACE_CLASS = "KelvorTypeBFILE";

}  // namespace

const lang::SerialClass KelvorTypeBFILE::SERIAL_CLASS = {
    "KelvorTypeBFILE", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeBFILE>(); },
    &KelvorTypeBFILE::serialWriteHook, &KelvorTypeBFILE::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeBFILE::SERIAL_CLASS);
}  // namespace

KelvorTypeBFILE::KelvorTypeBFILE() = default;

KelvorTypeBFILE::KelvorTypeBFILE(jdbc::Connection* conn) : connection_(conn) {}

KelvorTypeBFILE::~KelvorTypeBFILE() = default;

int32_t KelvorTypeBFILE::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeBFILE::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

Ref<jdbc::SqlValue> KelvorTypeBFILE::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  if (value == nullptr) return nullptr;
  if (auto* locator = dynamic_cast<jdbc::BfileValue*>(value)) return Ref<jdbc::SqlValue>(locator);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

Ref<lang::Object> KelvorTypeBFILE::toObject(Ref<lang::ByteArray> bytes, int32_t style,
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
      return lang::makeRef<jdbc::BfileValue>(std::move(conn), std::move(bytes));
    }
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

Ref<lang::Object> KelvorTypeBFILE::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                  const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

void KelvorTypeBFILE::readSerialForm(lang::ObjectInputStream& /*in*/) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
}

void KelvorTypeBFILE::writeSerialForm(lang::ObjectOutputStream& /*out*/) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
}

void KelvorTypeBFILE::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeBFILE&>(self).readSerialForm(in);
}

void KelvorTypeBFILE::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeBFILE&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
