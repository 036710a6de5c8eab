#include "types/KelvorNamedType.h"

#include "adt/KelvorTypeADT.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/String.h"

namespace kelvor::jdbc::kelcore {
namespace {
constexpr const char* TRACE_CLASS = "KelvorNamedType";
}  // namespace

// Abstract: restored through its concrete subclasses.
const lang::SerialClass KelvorNamedType::SERIAL_CLASS = {
    "KelvorNamedType", &KelvorType::SERIAL_CLASS, nullptr, &KelvorNamedType::serialWriteHook,
    &KelvorNamedType::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorNamedType::SERIAL_CLASS);
}  // namespace

KelvorNamedType::KelvorNamedType() = default;

KelvorNamedType::KelvorNamedType(const std::string& sqlName, jdbc::Connection* connection)
    : connection_(connection), sqlName_(sqlName) {
  std::lock_guard<lang::Monitor> hold(monitor_);
  parseSqlName();
  sqlNameKnown_ = true;
}

KelvorNamedType::KelvorNamedType(KelvorTypeADT* parent, int32_t parentIndex,
                                 jdbc::Connection* connection)
    : connection_(connection), parent_(parent), parentIndex_(parentIndex) {}

KelvorNamedType::~KelvorNamedType() = default;

void KelvorNamedType::setConnection(jdbc::Connection* connection) {
  std::lock_guard<lang::Monitor> hold(monitor_);
  connection_ = connection;
}

jdbc::Connection* KelvorNamedType::getConnection() const { return connection_; }

Ref<lang::Object> KelvorNamedType::getDescriptor() { return descriptor_.load(); }

// Lock order: a parent's monitor is taken before a child's (an object type holds its own while
// its attributes read and write), so the name is asked of the parent before this type's monitor
// is taken, and only published under it. Two threads may both ask; the first to publish wins.
std::string KelvorNamedType::getSqlName() {
  if (sqlNameKnown_) {
    std::lock_guard<lang::Monitor> hold(monitor_);
    return sqlName_;
  }
  std::optional<std::string> name;
  if (parent_ != nullptr) name = parent_->getAttributeTypeName(parentIndex_);
  std::lock_guard<lang::Monitor> hold(monitor_);
  if (!sqlNameKnown_) {
    if (!name) {
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "the type's SQL name cannot be had");
    }
    sqlName_ = *name;
    parseSqlName();
    sqlNameKnown_ = true;  // published after the name it stands for
  }
  return sqlName_;
}

std::optional<std::string> KelvorNamedType::getSqlName(bool strict) {
  if (strict || sqlNameKnown_) return getSqlName();
  std::optional<std::string> name;
  if (parent_ != nullptr) name = parent_->getAttributeTypeName(parentIndex_, false);
  std::lock_guard<lang::Monitor> hold(monitor_);
  if (!sqlNameKnown_) {
    if (!name) return std::nullopt;
    sqlName_ = *name;
    parseSqlName();
    sqlNameKnown_ = true;  // published after the name it stands for
  }
  return sqlName_;
}

int32_t KelvorNamedType::getParentIndex() const { return parentIndex_; }

KelvorTypeADT* KelvorNamedType::getParent() const { return parent_; }

std::optional<std::string> KelvorNamedType::getSchemaName() {
  if (!sqlNameKnown_) (void)getSqlName();  // before the monitor: see getSqlName
  std::lock_guard<lang::Monitor> hold(monitor_);
  return schemaName_;
}

std::string KelvorNamedType::getTypeName() {
  if (!sqlNameKnown_) (void)getSqlName();  // before the monitor: see getSqlName
  std::lock_guard<lang::Monitor> hold(monitor_);
  return typeName_;
}

bool KelvorNamedType::isSqlNameKnown() const { return sqlNameKnown_; }

Ref<lang::ByteArray> KelvorNamedType::toImage(lang::Object* /*value*/) {
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
}

void KelvorNamedType::setDescriptor(Ref<lang::Object> descriptor) {
  descriptor_.store(std::move(descriptor));
}

void KelvorNamedType::setParentIndex(int32_t parentIndex) { parentIndex_ = parentIndex; }

void KelvorNamedType::setParent(KelvorTypeADT* parent) { parent_ = parent; }

Ref<lang::Object> KelvorNamedType::fromImage(const lang::ByteArray* /*image*/, int64_t /*offset*/,
                                             lang::Object* /*target*/, int32_t /*style*/,
                                             const jdbc::TypeMap* /*typeMap*/) {
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
}

Ref<lang::Object> KelvorNamedType::fromImage(const lang::ByteArray* /*image*/, int64_t /*offset*/,
                                             lang::Object* /*target*/, int64_t /*beginIndex*/,
                                             int32_t /*count*/, int32_t /*style*/,
                                             const jdbc::TypeMap* /*typeMap*/) {
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
}

void KelvorNamedType::parseSqlName() {
  std::lock_guard<lang::Monitor> hold(monitor_);
  const size_t p = sqlName_.find(NAME_SEPARATOR);
  if (p == std::string::npos) {
    typeName_ = sqlName_;
    return;  // the schema keeps what it had
  }
  schemaName_ = sqlName_.substr(0, p);
  typeName_ = sqlName_.substr(p + 1);
}

// Serial form of this level: the SQL name as an object. Restoring drops the parent (index -1);
// connection and descriptor are set again by the driver. A name that cannot be had fails the
// write (as an I/O failure) rather than leaving a stream without it.
void KelvorNamedType::writeSerialForm(lang::ObjectOutputStream& out) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  std::string name;
  try {
    name = getSqlName();
  } catch (const DriverException& e) {
    throw lang::IOException(std::string("type name unavailable: ") + e.what());
  }
  out.writeObject(lang::String::of(name));
}

void KelvorNamedType::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  Ref<lang::Object> name = in.readObject();
  auto* text = dynamic_cast<lang::String*>(name.get());
  if (text == nullptr) throw lang::StreamCorruptedException("type name is not a string");
  std::lock_guard<lang::Monitor> hold(monitor_);
  sqlName_ = text->value();
  parseSqlName();
  sqlNameKnown_ = true;
  parent_ = nullptr;
  parentIndex_ = -1;
}

void KelvorNamedType::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  // Writing resolves (and caches) the name, as a query would.
  const_cast<KelvorNamedType&>(dynamic_cast<const KelvorNamedType&>(self)).writeSerialForm(out);
}

void KelvorNamedType::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorNamedType&>(self).readSerialForm(in);
}

}  // namespace kelvor::jdbc::kelcore
