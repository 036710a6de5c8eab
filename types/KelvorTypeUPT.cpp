#include "types/KelvorTypeUPT.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <utility>

#include "adt/StreamInfo.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "types/DepthGuard.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeUPT";

// The bytes a null inline linear value steps over after its indicator.
constexpr int32_t NULL_OBJECT_SKIP = 4;
constexpr int32_t NULL_COLLECTION_SKIP = 2;

// Nested images through UPTs (an object holding a collection of objects holding ...) are read
// and written by recursion on the caller's thread; this bounds it.
// Initial-exec, as the library's other thread-local values: every nested read and write takes
// it twice, and the general model costs a call to the C library each time.
constinit thread_local int32_t nestingDepth [[gnu::tls_model("initial-exec")]] = 0;

[[noreturn]] void raiseInternal(const char* message) {
  ErrorRaiser::raise(DriverException::ERR_INTERNAL, message);
}

}  // namespace

const lang::SerialClass KelvorTypeUPT::SERIAL_CLASS = {
    "KelvorTypeUPT", &KelvorTypeADT::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeUPT>(); },
    &KelvorTypeUPT::serialWriteHook, &KelvorTypeUPT::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeUPT::SERIAL_CLASS);
}  // namespace

// --- construction ---

KelvorTypeUPT::KelvorTypeUPT() { setKind(TypeKind::Upt); }

KelvorTypeUPT::KelvorTypeUPT(const std::string& sqlName, jdbc::Connection* conn)
    : KelvorTypeADT(sqlName, conn) {
  setKind(TypeKind::Upt);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeUPT(", sqlName, ", connection)");
}

KelvorTypeUPT::KelvorTypeUPT(KelvorTypeADT* parent, int32_t parentIndex, jdbc::Connection* conn)
    : KelvorTypeADT(parent, parentIndex, conn) {
  setKind(TypeKind::Upt);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeUPT(parent, ", parentIndex, ")");
}

KelvorTypeUPT::~KelvorTypeUPT() = default;

KelvorTypeADT& KelvorTypeUPT::attached() const {
  if (!objectType_) lang::throwNullPointer("UPT without its attached type");
  return *objectType_;
}

KelvorTypeCOLLECTION& KelvorTypeUPT::attachedCollection() const {
  auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&attached());
  // The fix-up refuses a mismatch; a tree restored from a stream may still carry one.
  if (collection == nullptr) raiseInternal("UPT of a collection type attached to an object type");
  return *collection;
}

// --- driver descriptors ---

Ref<jdbc::ObjectDescriptor> KelvorTypeUPT::newObjectDescriptor() {
  if (sqlNameKnown_) return jdbc::ObjectDescriptor::createDescriptor(sqlName_, connection_);
  KelvorTypeADT& type = attached();
  if (dynamic_cast<KelvorTypeCOLLECTION*>(&type) != nullptr) {
    lang::throwClassCast(type.className(), "KelvorTypeADT (object type)");
  }
  return lang::makeRef<jdbc::ObjectDescriptor>(Ref<KelvorTypeADT>(&type), connection_);
}

Ref<jdbc::ArrayDescriptor> KelvorTypeUPT::newCollectionDescriptor() {
  if (sqlNameKnown_) return jdbc::ArrayDescriptor::createDescriptor(sqlName_, connection_);
  auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&attached());
  if (collection == nullptr) lang::throwClassCast(attached().className(), "KelvorTypeCOLLECTION");
  return lang::makeRef<jdbc::ArrayDescriptor>(Ref<KelvorTypeCOLLECTION>(collection), connection_);
}

// --- forwarded answers ---

Ref<KelvorType> KelvorTypeUPT::getAttributeType(int32_t i) { return attached().getAttributeType(i); }

int32_t KelvorTypeUPT::getNumAttributes() { return attached().getNumAttributes(); }

int32_t KelvorTypeUPT::getTypeCode() const {
  switch (typeByte_) {
    case UPT_OBJECT: return OBJECT_TYPE_CODE;
    case UPT_COLLECTION: return COLLECTION_TYPE_CODE;
    default: raiseInternal("UPT of an unknown type byte");
  }
}

void KelvorTypeUPT::setConnection(jdbc::Connection* conn) {
  connection_ = conn;
  if (objectType_) objectType_->setConnection(conn);
}

Ref<jdbc::SqlValue> KelvorTypeUPT::toSqlValue(lang::Object* value, jdbc::Connection* conn) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "toSqlValue");
  if (value == nullptr) return nullptr;
  return attached().toSqlValue(value, conn);
}

Ref<lang::ObjectArray> KelvorTypeUPT::toSqlValueArray(lang::Object* values, jdbc::Connection* conn,
                                                      int64_t beginIndex, int32_t count) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "toSqlValueArray ", beginIndex, " ", count);
  if (values == nullptr) return nullptr;
  return attached().toSqlValueArray(values, conn, beginIndex, count);
}

// --- TDS ---

void KelvorTypeUPT::parseTDS(StreamInfo& reader) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "parseTDS at ", reader.getRelativeOffset());
  nullIndex_ = reader.nullIndexCounter()++;
  offsetIndex_ = reader.offsetIndexCounter()++;
  const int64_t position = reader.readUB4();
  const int8_t typeByte = reader.readByte();
  typeByte_ = typeByte & 0xFF;
  // A type byte other than FA and FB is refused by the fix-up pass.
  reader.addPatch(position, typeByte, Ref<KelvorType>(this));
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "parseTDS type byte ", typeByte_);
}

// --- pickled images ---

int32_t KelvorTypeUPT::pickle(PickleContext& ctx, lang::Object* value) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "pickle at ", ctx.offset());
  if (value == nullptr) return ctx.writeAtomicNull();
  KelvorTypeADT& type = attached();
  DepthGuard guard(nestingDepth);
  const int32_t at = ctx.offset();
  // 246 always takes the 5-byte form: a placeholder that the image's length overwrites.
  const int32_t w = ctx.writeLength(PickleContext::MAX_SHORT_LENGTH + 1);
  const int32_t n = type.pickle(ctx, value);
  // security: the nested image and its length field must fit one 32-bit length
  if (n > INT32_MAX - w) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  ctx.patchLength(at, n);
  return w + n;
}

int64_t KelvorTypeUPT::pickleElements(PickleContext& ctx, const Ref<lang::Object>* values,
                                      int32_t count, int64_t before) {
  std::optional<DepthGuard> guard;  // the level pickle takes for each present element
  // An attached object type of data values only is written without its dispatch, and inside
  // an image scope with its length field and header as one append.
  const bool dataValuesOnly = objectType_ && objectType_->writesDataValuesOnly();
  if (dataValuesOnly && count > 0 && !Trace::on(TRACE) && ctx.writesNestedObjectHeader()) {
    // the level pickle takes for the objects, when there is one
    if (std::any_of(values, values + count, [](const Ref<lang::Object>& v) { return v != nullptr; })) {
      guard.emplace(nestingDepth);
    }
    return objectType_->pickleDataValueElements(ctx, values, count, before);
  }
  int64_t n = before;
  for (int32_t i = 0; i < count; ++i) {
    lang::Object* value = values[i].get();
    if (value == nullptr || Trace::on(TRACE)) {
      n += pickle(ctx, value);
    } else {
      KelvorTypeADT& type = attached();
      if (!guard) guard.emplace(nestingDepth);
      const int32_t at = ctx.offset();
      const int32_t w = ctx.writeLength(PickleContext::MAX_SHORT_LENGTH + 1);
      const int32_t m =
          dataValuesOnly ? type.pickleDataValueImage(ctx, value) : type.pickle(ctx, value);
      if (m > INT32_MAX - w) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
      ctx.patchLength(at, m);
      n += w + m;
    }
    // security: an image above 2^31-1 bytes cannot carry its length
    if (n > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  }
  return n - before;
}

Ref<lang::Object> KelvorTypeUPT::unpickle(PickleContext& ctx, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "unpickle at ", ctx.offset());
  const int8_t b = ctx.readByte();
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    const int32_t at = ctx.offset() - 1;
    if (PickleContext::isAtomicNull(b)) {
      o->field(at, 1, FieldKind::NULL_VALUE, this, 0);
      return nullptr;
    }
    if (style != STYLE_SKIP) {
      const int32_t n = ctx.readRestOfLength(b);  // the bytes skipRestOfLength steps over
      o->field(at, ctx.offset() - at, FieldKind::NESTED_LENGTH, this, n);
      return unpickleImage(ctx, style, typeMap);
    }
  }
  if (PickleContext::isAtomicNull(b)) return nullptr;
  if (style != STYLE_SKIP) {
    ctx.skipRestOfLength(b);
    return unpickleImage(ctx, style, typeMap);
  }
  ctx.skipBytes(ctx.readRestOfLength(b));
  return nullptr;
}

Ref<lang::Object> KelvorTypeUPT::unpickle(PickleContext& ctx, int8_t firstLengthByte,
                                          int32_t style, const jdbc::TypeMap* typeMap) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "unpickle after its first byte at ", ctx.offset());
  const int32_t n = ctx.readRestOfLength(firstLengthByte);
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    const int32_t at = ctx.offset() - ((firstLengthByte & 0xFF) == PickleContext::LONG_LENGTH_MARKER ? 5 : 1);
    o->field(at, ctx.offset() - at, FieldKind::NESTED_LENGTH, this, n);
  }
  if (style != STYLE_SKIP) return unpickleImage(ctx, style, typeMap);
  ctx.skipBytes(n);
  return nullptr;
}

template <typename Read>
Ref<lang::Object> KelvorTypeUPT::readObjectInStyle(int32_t style, const jdbc::TypeMap* typeMap,
                                                   Read read) {
  switch (style) {
    case STYLE_SQL_VALUE:
      return read(MODE_KEEP_IMAGE, STYLE_SQL_VALUE);
    case STYLE_PLATFORM_OBJECT: {
      Ref<lang::Object> r = read(MODE_DECODE, STYLE_PLATFORM_OBJECT);
      if (!r) return nullptr;
      auto* object = dynamic_cast<jdbc::ObjectValue*>(r.get());
      if (object == nullptr) lang::throwClassCast(r->className(), "ObjectValue");
      return object->toJdbc(typeMap);
    }
    case STYLE_SKIP:
      return read(MODE_SKIP, STYLE_SQL_VALUE);
    default:
      raiseInternal("result style of a UPT read");
  }
}

Ref<lang::Object> KelvorTypeUPT::unpickleImage(PickleContext& ctx, int32_t style,
                                               const jdbc::TypeMap* typeMap) {
  DepthGuard guard(nestingDepth);
  switch (typeByte_) {
    case UPT_OBJECT: {
      KelvorTypeADT& type = attached();
      return readObjectInStyle(style, typeMap, [&](int32_t mode, int32_t kind) {
        return type.unpickle(ctx, nullptr, mode, kind, typeMap);
      });
    }
    case UPT_COLLECTION:
      return attachedCollection().unpickle(ctx, nullptr,
                                           style == STYLE_SKIP ? MODE_SKIP : MODE_KEEP_IMAGE,
                                           style, typeMap);
    default:
      raiseInternal("UPT of an unknown type byte");
  }
}

// --- linear images ---

Ref<lang::Object> KelvorTypeUPT::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  DepthGuard guard(nestingDepth);
  if (format == FORMAT_SLOTTED) {
    if (typeByte_ != UPT_COLLECTION) raiseInternal("slotted linear read of a UPT object");
    FieldObserver* const o = ctx.observer();
    if (ctx.isNull(nullIndex_) != 0) {
      if (o != nullptr) [[unlikely]] o->field(ctx.slotPosition(offsetIndex_), 0, FieldKind::NULL_INDICATOR, this, nullIndex_);
      ctx.skipBytes(4);
      return nullptr;
    }
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex_));
    if (style == STYLE_SKIP) {
      ctx.skipBytes(4);
      return nullptr;
    }
    KelvorTypeCOLLECTION& collection = attachedCollection();
    const int32_t slot = ctx.offset();
    ctx.followOffset();
    if (o != nullptr) [[unlikely]] {
      o->field(slot, 4, FieldKind::VALUE_AT, this, ctx.relativeOffset());
    }
    Ref<lang::Object> r;
    try {
      r = collection.unpickleLinear(ctx, nullptr, MODE_KEEP_IMAGE, style, typeMap);
    } catch (...) {
      ctx.restoreMark();
      throw;
    }
    ctx.restoreMark();
    return r;
  }
  if (format == FORMAT_INLINE) {
    switch (typeByte_) {
      case UPT_OBJECT: {
        const int8_t i = ctx.readByte();
        if ((i & 1) != 0) {
          ctx.skipBytes(NULL_OBJECT_SKIP);
          reportElementFlag(ctx, i, NULL_OBJECT_SKIP);
          return nullptr;
        }
        reportElementFlag(ctx, i, 0);
        KelvorTypeADT& type = attached();
        return readObjectInStyle(style, typeMap, [&](int32_t mode, int32_t kind) {
          return type.unpickleLinear(ctx, nullptr, mode, kind, typeMap);
        });
      }
      case UPT_COLLECTION: {
        const int8_t i = ctx.readByte();
        if ((i & 1) != 0) {
          ctx.skipBytes(NULL_COLLECTION_SKIP);
          reportElementFlag(ctx, i, NULL_COLLECTION_SKIP);
          return nullptr;
        }
        reportElementFlag(ctx, i, 0);
        return attachedCollection().unpickleLinear(
            ctx, nullptr, style == STYLE_SKIP ? MODE_SKIP : MODE_KEEP_IMAGE, style, typeMap);
      }
      default:
        ErrorRaiser::raise(DriverException::ERR_TDS_OPCODE, "UPT of an unknown type byte");
    }
  }
  raiseInternal("unknown linear format of a UPT read");
}

void KelvorTypeUPT::reportElementFlag(UnpickleContext& ctx, int8_t flag, int32_t stepped) {
  FieldObserver* const o = ctx.observer();
  if (o == nullptr) [[likely]] return;
  if ((flag & 1) != 0) {
    o->field(ctx.offset() - stepped - 1, 1, FieldKind::NULL_ELEMENT_FLAG, this, stepped);
  } else {
    o->field(ctx.offset() - 1, 1, FieldKind::ELEMENT_FLAG, this, flag & 0xFF);
  }
}

// --- serial form: typeByte objectType ---

void KelvorTypeUPT::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeByte(static_cast<int8_t>(typeByte_));
  out.writeObject(objectType_.get());
}

void KelvorTypeUPT::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  typeByte_ = in.readByte() & 0xFF;
  Ref<lang::Object> o = in.readObject();
  if (o && dynamic_cast<KelvorTypeADT*>(o.get()) == nullptr) {
    throw lang::StreamCorruptedException("UPT attached to a descriptor of another class");
  }
  refuseCycle(in, o.get());
  objectType_ = Ref<KelvorTypeADT>(static_cast<KelvorTypeADT*>(o.get()));
}

void KelvorTypeUPT::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeUPT&>(self).writeSerialForm(out);
}

void KelvorTypeUPT::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeUPT&>(self).readSerialForm(in);
}

void KelvorTypeUPT::dropDescriptorLinks() {
  KelvorTypeADT::dropDescriptorLinks();
  if (objectType_) objectType_->dropDescriptorLinks();
}

}  // namespace kelvor::jdbc::kelcore
