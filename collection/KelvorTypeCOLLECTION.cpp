#include "collection/KelvorTypeCOLLECTION.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "adt/StreamInfo.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/Closer.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectValue.h"
#include "driver/PlatformArrayFactory.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/String.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeSINT32.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeCOLLECTION";
constexpr int32_t LINEAR_ELEMENT_FORMAT = 2;
constexpr int32_t FIRST_ACCESS_KIND = KelvorTypeNUMBER::ACCESS_INT_ARRAY;
constexpr int32_t LAST_ACCESS_KIND = KelvorTypeNUMBER::ACCESS_SHORT_ARRAY;

// Nested collection images (a collection of collections, a collection inside an object inside
// a collection) are read and written by recursion on the caller's thread; this bounds it.
// Initial-exec, as the library's other thread-local values: every nested read and write takes
// it twice, and the general model costs a call to the C library each time.
constinit thread_local int32_t nestingDepth [[gnu::tls_model("initial-exec")]] = 0;

[[noreturn]] void raiseInternal(const char* message) {
  ErrorRaiser::raise(DriverException::ERR_INTERNAL, message);
}

bool isAccessKind(int32_t style) { return style >= FIRST_ACCESS_KIND && style <= LAST_ACCESS_KIND; }

bool isNumberOrFloat(const KelvorType& t) {
  return t.kind() == TypeKind::Number || t.kind() == TypeKind::Float;
}

// Elements in 23-byte number slots in a linear image.
bool hasFixedNumberSlots(const KelvorType& t) {
  return isNumberOrFloat(t) || t.kind() == TypeKind::Sint32;
}

// security: a count read from an image; every element takes at least one byte, so a count above
// the bytes that remain (before `end`, the end of the count's own image when it is known)
// cannot be read, and nothing is allocated for it.
void requireCount(int64_t count, const lang::ByteArray* image, int32_t at,
                  int64_t end = INT64_MAX) {
  const int64_t last = image == nullptr ? 0 : std::min<int64_t>(image->length(), end);
  const int64_t remaining = last - at;
  if (count < 0 || count > remaining) lang::throwIndexOutOfBounds(count, remaining);
}

// Elements are held as they are read, in a buffer that grows with them, and the value's array
// is made once they are all there: a claimed count costs nothing until its elements exist.
// Allocating the claim up front would let nested collections multiply it, every level holding
// an array as large as the whole image while the level below reads.
constexpr int32_t MAX_ELEMENTS_RESERVED = 4096;

// Decodes count elements in the SQL-value or platform style into the target; position() is
// what the element index records for each element when the target indexes, read() reads one.
template <typename Position, typename Read>
void readElementObjects(jdbc::ArrayValue& target, const KelvorType& type, int64_t beginIndex,
                        int32_t count, int32_t style, Position position, Read read) {
  const bool indexing = target.getIndexingMode() == 1;
  // The package's own descriptors read SQL values in the SQL style; only another class's
  // results are checked, per element.
  const bool checkSqlValues =
      style == KelvorTypeCOLLECTION::STYLE_SQL_VALUE && type.kind() == TypeKind::Other;
  std::vector<Ref<lang::Object>> elements;
  elements.reserve(static_cast<size_t>(std::min(count, MAX_ELEMENTS_RESERVED)));
  for (int32_t i = 0; i < count; ++i) {
    if (indexing) target.setIndexOffset(beginIndex + i, position());
    Ref<lang::Object> e = read();
    if (checkSqlValues && e && jdbc::SqlValue::as<jdbc::SqlValue>(e.get()) == nullptr) {
      lang::throwClassCast(e->className(), "SqlValue");
    }
    elements.push_back(std::move(e));
  }
  Ref<lang::ObjectArray> values =
      style == KelvorTypeCOLLECTION::STYLE_SQL_VALUE ? lang::ObjectArray::makeOf<jdbc::SqlValue>(count)
                               : jdbc::PlatformArrayFactory::makeArray(type.getTypeCode(), count);
  for (int32_t i = 0; i < count; ++i) values->set(i, std::move(elements[static_cast<size_t>(i)]));
  if (style == KelvorTypeCOLLECTION::STYLE_SQL_VALUE) {
    target.setSqlValueArray(std::move(values));
  } else {
    target.setPlatformArray(std::move(values));
  }
}

// Element types whose SQL values are made from their data values' bytes alone (the descriptor's
// unpickle with nothing else to consult): a read to SQL values keeps them packed and the
// value makes them on first access (see jdbc::ArrayValue).
bool packsSqlValues(const KelvorType& t) {
  return t.kind() == TypeKind::Number || t.kind() == TypeKind::Date;
}

// count data values stepped over with the checks of their reads, which would fail where these
// fail, then stored packed into the target: one copy of their bytes.
void readPackedElements(PickleContext& ctx, jdbc::ArrayValue& target, KelvorType& type,
                        int32_t count) {
  const int32_t first = ctx.offset();
  for (int32_t i = 0; i < count; ++i) ctx.skipDataValue();
  const lang::ByteArray* image = ctx.imageBorrowed();
  target.setPackedElements(lang::ByteArray::copyOf(image->data() + first, ctx.offset() - first),
                           count, Ref<KelvorType>(&type));
}

// The byte at the reader's position, unconsumed; checked against the image's end.
int8_t peekByte(PickleContext& ctx) {
  const lang::ByteArray* image = ctx.imageBorrowed();
  const int32_t at = ctx.offset();
  if (!image || at < 0 || at >= image->length()) {
    lang::throwIndexOutOfBounds(at, image ? image->length() : 0);
  }
  return (*image)[at];
}

// Positions a reader at element b > 1 of the image it stands in, starting from what the value
// recorded of earlier reads: a recorded offset, or the furthest element reached, or element 1
// at the current position. Records the elements stepped over when indexing is on.
template <typename Move, typename Offset, typename Step>
void positionAt(jdbc::ArrayValue& target, int64_t b, Move move, Offset offset, Step step) {
  const bool indexing = target.getIndexingMode() == 1;
  const int64_t last = target.getLastIndex();
  const int64_t lastOffset = target.getLastOffset();
  auto walk = [&](int64_t i) {
    for (; i < b; ++i) {
      if (indexing) target.setIndexOffset(i, offset());
      step();
    }
  };
  if (b < last) {
    const int64_t o = target.getIndexOffset(b);
    if (o != -1) {
      move(o);
    } else {
      walk(1);
    }
  } else if (b == last) {
    move(lastOffset);
  } else if (last > 0) {
    move(lastOffset);
    walk(last);
  } else {
    walk(1);
  }
  target.setLastIndexOffset(b, offset());
}

}  // namespace

const lang::SerialClass KelvorTypeCOLLECTION::SERIAL_CLASS = {
    "KelvorTypeCOLLECTION", &KelvorTypeADT::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeCOLLECTION>(); },
    &KelvorTypeCOLLECTION::serialWriteHook, &KelvorTypeCOLLECTION::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeCOLLECTION::SERIAL_CLASS);
}  // namespace

// --- construction ---

KelvorTypeCOLLECTION::KelvorTypeCOLLECTION() { setKind(TypeKind::Collection); }

KelvorTypeCOLLECTION::KelvorTypeCOLLECTION(const std::string& sqlName, jdbc::Connection* conn)
    : KelvorTypeADT(sqlName, conn) { setKind(TypeKind::Collection); }

KelvorTypeCOLLECTION::KelvorTypeCOLLECTION(KelvorTypeADT* parent, int32_t index,
                                           jdbc::Connection* conn)
    : KelvorTypeADT(parent, index, conn) { setKind(TypeKind::Collection); }

KelvorTypeCOLLECTION::~KelvorTypeCOLLECTION() = default;

int32_t KelvorTypeCOLLECTION::getTypeCode() const { return TYPE_CODE; }

KelvorType& KelvorTypeCOLLECTION::element() const {
  if (!elementType_) lang::throwNullPointer("collection type without an element type");
  return *elementType_;
}

// --- driver descriptor ---

Ref<jdbc::ArrayDescriptor> KelvorTypeCOLLECTION::getArrayDescriptor() {
  std::lock_guard<lang::Monitor> hold(monitor());
  Ref<lang::Object> held = descriptor_.load();
  if (auto* kept = dynamic_cast<jdbc::ArrayDescriptor*>(held.get())) {
    return Ref<jdbc::ArrayDescriptor>(kept);
  }
  Ref<jdbc::ArrayDescriptor> d;
  if (sqlNameKnown_ || getSqlName(false)) {
    d = jdbc::ArrayDescriptor::createDescriptor(sqlName_, connection_);
  } else {
    d = lang::makeRef<jdbc::ArrayDescriptor>(Ref<KelvorTypeCOLLECTION>(this), connection_);
  }
  // A descriptor of this very tree would hold it while it holds the descriptor: never freed.
  if (d->getKelvorType().get() != this) descriptor_.store(d);
  return d;
}

Ref<lang::Object> KelvorTypeCOLLECTION::getDescriptor() { return getArrayDescriptor(); }

// --- slices and element answers ---

Ref<KelvorType> KelvorTypeCOLLECTION::getAttributeType(int32_t /*i*/) { return nullptr; }

std::string KelvorTypeCOLLECTION::getAttributeName(int32_t /*i*/) {
  raiseInternal("a collection type has no attribute names");
}

std::optional<std::string> KelvorTypeCOLLECTION::getAttributeName(int32_t i, bool /*fetch*/) {
  return getAttributeName(i);
}

std::string KelvorTypeCOLLECTION::getAttributeTypeName(int32_t i) {
  if (i != 1) ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "element position other than 1");
  if (!sqlNameKnown_) (void)getSqlName();  // before the monitor: a parent's is taken first
  std::lock_guard<lang::Monitor> hold(monitor());
  if (!attributeTypeNames()) initNames();
  return static_cast<const lang::String*>(attributeTypeNames()->at(0))->value();
}

std::optional<std::string> KelvorTypeCOLLECTION::getAttributeTypeName(int32_t i, bool fetch) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (fetch) return getAttributeTypeName(i);
  if (i != 1) ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "element position other than 1");
  if (!sqlNameKnown_ || !attributeTypeNames()) return std::nullopt;
  return static_cast<const lang::String*>(attributeTypeNames()->at(0))->value();
}

void KelvorTypeCOLLECTION::initNames() {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (connection_ == nullptr) lang::throwNullPointer("collection type without a connection");
  const std::optional<std::string> schema = getSchemaName();
  const std::string type = getTypeName();
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "initNames ", schema.value_or(""), ".", type);
  Ref<jdbc::Statement> query = connection_->prepareStatement(jdbc::Connection::ATTRIBUTE_NAMES_QUERY);
  jdbc::Closer<jdbc::Statement> closeQuery(query);
  query->setString(1, schema ? lang::String::of(*schema).get() : nullptr);
  query->setString(2, lang::String::of(type).get());
  Ref<jdbc::ResultSet> rows = query->executeQuery();
  jdbc::Closer<jdbc::ResultSet> closeRows(rows);
  if (!rows->next()) raiseInternal("no element type for the collection type");
  Ref<lang::String> name = rows->getString(3);
  Ref<lang::String> typeSchema = rows->getString(4);
  if (!name || !typeSchema) raiseInternal("element row with a null column");
  if (!attributeTypeNames()) setAttributeTypeNames(lang::ObjectArray::makeOf<lang::String>(1));
  attributeTypeNames()->set(0, lang::String::of(typeSchema->value() + NAME_SEPARATOR + name->value()));
}

bool KelvorTypeCOLLECTION::isInlineImage(const lang::ByteArray* image) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (image == nullptr) return false;
  const int8_t flags = image->at(0);
  if ((flags & 0x80) == 0) {
    if (image->at(0) == 0 && image->at(1) == 0 && image->at(2) == 0 && image->at(3) == 0) {
      return false;
    }
    return (image->at(10) & 1) != 0;
  }
  if (PickleContext::isCollectionImage(flags)) return true;
  if (PickleContext::isLocatorImage(flags)) return false;
  raiseInternal("not a collection image");
}

// --- TDS ---

void KelvorTypeCOLLECTION::readEntry(StreamInfo& reader) {
  if (Trace::on(TRACE)) {
    Trace::line(TRACE_CLASS, "parseTDS at ", reader.getRelativeOffset(), " for ",
                sqlNameKnown_ ? sqlName_ : std::string("(unnamed)"));
  }
  const int64_t position = reader.readUB4();
  maxElements_ = reader.readUB4();
  collectionKind_ = reader.readByte();
  reader.addPatch(position, Ref<KelvorType>(this));
}

void KelvorTypeCOLLECTION::parseTDS(StreamInfo& reader) {
  if (!parsingOwnSegment()) {
    readEntry(reader);  // a child: the parent's fix-up pass attaches the element
  } else {
    // The collection's own segment: 28 entry 42, then the element's entry at the position.
    // Numbered as an object type's list: the list takes null index 0 (and no offset slot), so
    // the element, parsed by the fix-up on this reader, takes null index 1.
    beginList(reader);
    int8_t opcode = 0;
    try {
      opcode = reader.readByte();
    } catch (const lang::IndexOutOfBoundsException&) {
      raiseInternal("collection segment ends before its entry");
    }
    if (opcode != OPC_COLLECTION) {
      ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "collection segment without opcode 28");
    }
    readEntry(reader);
    const int8_t end = reader.readByte();
    setLastOpcode(end);
    if (end != OPC_END_PATCHES) {
      ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "collection segment without its element");
    }
    applyPatches(reader);
    if (!elementType_) {
      ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "collection segment without its element");
    }
  }
  // Parsed, with no attribute descriptors: the element answers for them.
  markParsed(lang::ObjectArray::makeOf<KelvorType>(0));
}

void KelvorTypeCOLLECTION::attachElementType(Ref<KelvorType> element, int8_t opcode) {
  setLastOpcode(opcode);
  elementType_ = std::move(element);
}

// --- values ---

Ref<jdbc::SqlValue> KelvorTypeCOLLECTION::toSqlValue(lang::Object* value, jdbc::Connection* conn) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "toSqlValue ", conn != nullptr);
  if (value == nullptr) return nullptr;
  if (auto* array = jdbc::SqlValue::as<jdbc::ArrayValue>(value)) return Ref<jdbc::SqlValue>(array);
  return lang::makeRef<jdbc::ArrayValue>(getArrayDescriptor(), connection_, value);
}

void KelvorTypeCOLLECTION::setConnection(jdbc::Connection* conn) {
  std::lock_guard<lang::Monitor> hold(monitor());
  connection_ = conn;
  if (elementType_) elementType_->setConnection(conn);
}

// --- writing ---

int32_t KelvorTypeCOLLECTION::pickle(PickleContext& ctx, lang::Object* value) {
  if (value == nullptr) lang::throwNullPointer("collection value is null");
  auto* array = jdbc::SqlValue::as<jdbc::ArrayValue>(value);
  if (array == nullptr) lang::throwClassCast(value->className(), "ArrayValue");
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "pickle at ", ctx.offset());
  DepthGuard guard(nestingDepth);
  const int32_t start = ctx.offset();
  int64_t n = 0;
  Ref<lang::Object> numbers = elementType_ && elementType_->kind() == TypeKind::Number
                                  ? array->getPrimitiveElements()
                                  : nullptr;
  if (numbers) {
    // The application's whole numbers, encoded straight into the image.
    const int64_t count = array->elementCount();
    if (collectionKind_ == KIND_BOUNDED && maxElements_ < count) {
      ErrorRaiser::raise(DriverException::ERR_TOO_MANY_ELEMENTS, value);
    }
    n = ctx.writeCollectionHeader(static_cast<int32_t>(count));
    const int64_t written = KelvorTypeNUMBER::pickleWholeNumbers(ctx, *numbers);
    if (written < 0) raiseInternal("kept elements that are not whole numbers");
    n += written;
    // security: an image above 2^31-1 bytes cannot carry its length
    if (n > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  } else if (array->holdsElements()) {
    Ref<lang::ObjectArray> elements = array->getSqlValueElements();
    if (!elements) lang::throwNullPointer("collection value without elements");
    const int32_t count = elements->length();
    if (collectionKind_ == KIND_BOUNDED && maxElements_ < count) {
      ErrorRaiser::raise(DriverException::ERR_TOO_MANY_ELEMENTS, value);
    }
    KelvorType& type = element();
    n = ctx.writeCollectionHeader(count);
    const Ref<lang::Object>* e = elements->data();  // count of them
    if (writesDataValues(type.kind())) {
      n += pickleDataValues(ctx, e, count, n);  // raises ERR_VALUE_TOO_LONG past 2^31-1
    } else if (type.kind() == TypeKind::Upt) {
      n += static_cast<KelvorTypeUPT&>(type).pickleElements(ctx, e, count, n);  // as above
    } else {
      // Object elements of data values only: each without its per-attribute dispatch.
      auto* objects = type.kind() == TypeKind::PlainObject ? static_cast<KelvorTypeADT*>(&type)
                                                           : nullptr;
      if (objects != nullptr && !objects->writesDataValuesOnly()) objects = nullptr;
      for (int32_t i = 0; i < count; ++i) {
        lang::Object* v = e[i].get();
        if (v == nullptr) {
          n += ctx.writeAtomicNull();
        } else {
          n += objects != nullptr ? objects->pickleDataValueImage(ctx, v) : type.pickleByKind(ctx, v);
        }
        // security: an image above 2^31-1 bytes cannot carry its length
        if (n > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
      }
    }
  } else {
    n = ctx.writeLocatorHeader(array->getLocator().get());
  }
  assert(n == ctx.offset() - start);
  ctx.patchLength(start + 2, static_cast<int32_t>(n));
  return static_cast<int32_t>(n);
}

Ref<lang::ByteArray> KelvorTypeCOLLECTION::toImage(lang::Object* value) {
  std::lock_guard<lang::Monitor> hold(monitor());
  initIfNeeded(!isParsed());  // a type made by name is fetched and parsed on first use
  PickleContext ctx;
  // A stream of the scope's own, its monitor held once for the whole image.
  PickleContext::ImageScope scope(ctx);
  const int32_t written = pickle(ctx, value);
  Ref<lang::ByteArray> image = scope.takeImage();
  assert(written == image->length());
  (void)written;
  return image;
}

// --- reading: entry points ---

Ref<lang::Object> KelvorTypeCOLLECTION::fromImage(const lang::ByteArray* image, int64_t offset,
                                                  lang::Object* target, int32_t style,
                                                  const jdbc::TypeMap* typeMap) {
  return fromImage(image, offset, target, 1, -1, style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::fromImage(const lang::ByteArray* image, int64_t offset,
                                                  lang::Object* target, int64_t beginIndex,
                                                  int32_t count, int32_t style,
                                                  const jdbc::TypeMap* typeMap) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "fromImage at ", offset);
  if (image == nullptr) return nullptr;
  const lang::BlockArena::Scope placeValues(  // objects share blocks
      image->length() - offset, style == STYLE_SQL_VALUE || style == STYLE_PLATFORM_OBJECT);
  // A type made by name is fetched and parsed on first use: the element type and the format
  // flag that the readers take come with it.
  initIfNeeded(!isParsed());
  auto* array = dynamic_cast<jdbc::ArrayValue*>(target);
  if (target != nullptr && array == nullptr) lang::throwClassCast(target->className(), "ArrayValue");
  // The layout is told by the byte at the offset, not by byte 0 of a larger buffer.
  if (offset < 0 || offset >= image->length()) lang::throwIndexOutOfBounds(offset, image->length());
  if (((*image)[static_cast<int32_t>(offset)] & 0x80) != 0) {
    PickleContext ctx(image, offset, PickleContext::Borrowed{});  // the caller's for the call
    return unpickle(ctx, array, beginIndex, count, MODE_DECODE, style, typeMap);
  }
  Ref<lang::ByteArray> bytes(const_cast<lang::ByteArray*>(image));  // read only
  UnpickleContext ctx(bytes, static_cast<int32_t>(offset), nullptr, nullptr,
                      static_cast<int8_t>(getFormatFlag() ? 1 : 0));
  return unpickleLinear(ctx, array, beginIndex, count, MODE_DECODE, style, typeMap);
}

Ref<jdbc::ArrayValue> KelvorTypeCOLLECTION::valueFor(jdbc::SqlValue* target) {
  if (target != nullptr) {
    auto* array = dynamic_cast<jdbc::ArrayValue*>(target);
    if (array == nullptr) lang::throwClassCast(target->className(), "ArrayValue");
    return Ref<jdbc::ArrayValue>(array);
  }
  return jdbc::SqlValue::make<jdbc::ArrayValue>(getArrayDescriptor(), Ref<lang::ByteArray>(),
                                                connection_);
}

// --- reading pickled images ---

Ref<lang::Object> KelvorTypeCOLLECTION::unpickle(PickleContext& ctx, jdbc::SqlValue* target,
                                                 int32_t mode, int32_t style,
                                                 const jdbc::TypeMap* typeMap) {
  return unpickle(ctx, target, 1, -1, mode, style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickle(PickleContext& ctx, jdbc::SqlValue* target,
                                                 int64_t beginIndex, int32_t count, int32_t mode,
                                                 int32_t style, const jdbc::TypeMap* typeMap) {
  return unpickleFrom(ctx, std::nullopt, target, beginIndex, count, mode, style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickle(PickleContext& ctx, int32_t style,
                                                 const jdbc::TypeMap* typeMap) {
  const int8_t first = ctx.readByte();
  return unpickle(ctx, first, style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickle(PickleContext& ctx, int8_t first, int32_t style,
                                                 const jdbc::TypeMap* typeMap) {
  if (PickleContext::isAtomicNull(first)) {
    if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      o->field(ctx.offset() - 1, 1, FieldKind::NULL_VALUE, this, 0);
    }
    return nullptr;
  }
  if (style == STYLE_SKIP) {
    (void)unpickleFrom(ctx, first, nullptr, 1, -1, MODE_SKIP, style, typeMap);
    return nullptr;
  }
  Ref<lang::Object> value = unpickleFrom(ctx, first, nullptr, 1, -1, MODE_DECODE, style, typeMap);
  if (style == STYLE_PLATFORM_OBJECT) return static_cast<jdbc::ArrayValue&>(*value).toJdbc();
  return value;
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickleFrom(PickleContext& ctx,
                                                     std::optional<int8_t> flags,
                                                     jdbc::SqlValue* target, int64_t beginIndex,
                                                     int32_t count, int32_t mode, int32_t style,
                                                     const jdbc::TypeMap* typeMap) {
  DepthGuard guard(nestingDepth);
  // Stepping over fills no value: none is made for it.
  Ref<jdbc::ArrayValue> value =
      mode == MODE_SKIP ? lang::dynamicRef<jdbc::ArrayValue>(Ref<lang::Object>(target))
                        : valueFor(target);
  int64_t imageEnd = 0;
  if (!readPickledHeader(ctx, flags, value.get(), mode, imageEnd)) {
    return mode == MODE_SKIP ? Ref<lang::Object>(target) : Ref<lang::Object>(value);
  }
  if (beginIndex == 1 && count == -1) {
    readPickledElements(ctx, *value, style, typeMap, imageEnd);
  } else {
    readPickledSlice(ctx, *value, beginIndex, count, style, typeMap, imageEnd);
  }
  return value;
}

bool KelvorTypeCOLLECTION::readPickledHeader(PickleContext& ctx, std::optional<int8_t> flags,
                                             jdbc::ArrayValue* value, int32_t mode,
                                             int64_t& imageEnd) {
  const int32_t start = flags ? ctx.offset() - 1 : ctx.offset();
  if (mode == MODE_KEEP_IMAGE) value->setImage(ctx.image(), start, 0);
  const int8_t f = flags ? *flags : ctx.readByte();
  if (!PickleContext::isToplevelImage(f)) raiseInternal("image without the top-level flag");
  if (!PickleContext::lacksObjectFlag(f)) raiseInternal("an object image, not a collection image");
  const bool inlineElements = PickleContext::isCollectionImage(f);
  if (!inlineElements && !PickleContext::isLocatorImage(f)) {
    raiseInternal("neither a collection nor a locator image");
  }
  (void)ctx.checkVersion();  // any version is read
  if (mode == MODE_SKIP) {
    const int32_t n = ctx.readLength(true);
    ctx.skipBytes(n - 2);
    return false;
  }
  FieldObserver* const o = ctx.observer();
  if (mode == MODE_KEEP_IMAGE) {
    const int32_t length = ctx.readLength();
    value->setImageLength(length);
    ctx.skipTo(value->getImageOffset() + length);
    if (o != nullptr) [[unlikely]] o->field(start, length, FieldKind::KEPT_IMAGE, this, length);
    return false;
  }
  // The length counts the image from its flags byte: the elements' bytes end there.
  const int32_t length = ctx.readLength();
  imageEnd = start + int64_t{length};
  if (o != nullptr) [[unlikely]] {
    o->field(start, 1, FieldKind::IMAGE_FLAGS, this, f & 0xFF);
    o->field(start + 1, 1, FieldKind::IMAGE_VERSION, this, (*ctx.image())[start + 1] & 0xFF);
    o->field(start + 2, ctx.offset() - start - 2, FieldKind::IMAGE_LENGTH, this, length);
  }
  const int32_t prefixAt = ctx.offset();
  const int32_t v = ctx.readLength();
  if (o != nullptr) [[unlikely]] o->field(prefixAt, ctx.offset() - prefixAt, FieldKind::PREFIX_LENGTH, this, v);
  // security: the prefix length counts its flag byte; below 1 it is no length
  if (v < 1) lang::throwIndexOutOfBounds(v, 1);
  const int8_t prefixByte = ctx.readByte();
  if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 1, 1, FieldKind::PREFIX_BYTE, this, prefixByte & 0xFF);
  value->setLocator(ctx.readBytes(v - 1));
  if (o != nullptr && v > 1) [[unlikely]] o->field(ctx.offset() - (v - 1), v - 1, FieldKind::LOCATOR, this, v - 1);
  return inlineElements;
}

void KelvorTypeCOLLECTION::readPickledElements(PickleContext& ctx, jdbc::ArrayValue& target,
                                               int32_t style, const jdbc::TypeMap* typeMap,
                                               int64_t imageEnd) {
  const int8_t separator = ctx.readByte();
  const int32_t countAt = ctx.offset();
  const int32_t n = ctx.readLength();
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    o->field(countAt - 1, 1, FieldKind::COUNT_SEPARATOR, this, separator & 0xFF);
    o->field(countAt, ctx.offset() - countAt, FieldKind::ELEMENT_COUNT, this, n);
  }
  // security: a nested image's count is bounded by its own bytes, not the whole image's
  requireCount(n, ctx.imageBorrowed(), ctx.offset(), imageEnd);
  target.setLength(n);
  if (style != STYLE_COUNT_ONLY) readPickledRange(ctx, target, 1, n, style, typeMap);
}

void KelvorTypeCOLLECTION::readPickledSlice(PickleContext& ctx, jdbc::ArrayValue& target,
                                            int64_t beginIndex, int32_t count, int32_t style,
                                            const jdbc::TypeMap* typeMap, int64_t imageEnd) {
  (void)ctx.readByte();
  const int32_t total = ctx.readLength();
  requireCount(total, ctx.imageBorrowed(), ctx.offset(), imageEnd);
  target.setLength(total);
  if (style == STYLE_COUNT_ONLY) return;
  const int64_t k = sliceLength(int64_t{total}, beginIndex, count);  // the image slice rule
  if (beginIndex > 1 && k > 0) {
    positionAt(
        target, beginIndex, [&](int64_t o) { ctx.skipTo(o); }, [&] { return int64_t{ctx.offset()}; },
        [&] { (void)readPickledElement(ctx, STYLE_SKIP, nullptr); });
  }
  readPickledRange(ctx, target, beginIndex, static_cast<int32_t>(k), style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::readPickledElement(PickleContext& ctx, int32_t style,
                                                           const jdbc::TypeMap* typeMap) {
  KelvorType& type = element();
  if (!KelvorTypeADT::isPlainObjectType(&type)) return type.unpickle(ctx, style, typeMap);
  // Object elements are written as complete object images; FF stands for a null element.
  if (PickleContext::isAtomicNull(peekByte(ctx))) {
    ctx.skipBytes(1);
    if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      o->field(ctx.offset() - 1, 1, FieldKind::NULL_VALUE, &type, 0);
    }
    return nullptr;
  }
  auto& object = static_cast<KelvorTypeADT&>(type);
  if (style == STYLE_SKIP) {
    (void)object.unpickle(ctx, nullptr, MODE_SKIP, STYLE_SQL_VALUE, typeMap);
    return nullptr;
  }
  Ref<lang::Object> value = object.unpickle(ctx, nullptr, MODE_DECODE, style, typeMap);
  if (style == STYLE_PLATFORM_OBJECT) return static_cast<jdbc::ObjectValue&>(*value).toJdbc(typeMap);
  return value;
}

void KelvorTypeCOLLECTION::readPickledRange(PickleContext& ctx, jdbc::ArrayValue& target,
                                            int64_t beginIndex, int32_t count, int32_t style,
                                            const jdbc::TypeMap* typeMap) {
  KelvorType& type = element();
  if (style == STYLE_SQL_VALUE || style == STYLE_PLATFORM_OBJECT) {
    requireCount(count, ctx.imageBorrowed(), ctx.offset());
    auto position = [&] { return int64_t{ctx.offset()}; };
    if (style == STYLE_SQL_VALUE && count > 0 && packsSqlValues(type) &&
        target.getIndexingMode() != 1 && ctx.observer() == nullptr) {
      readPackedElements(ctx, target, type, count);  // nothing to index or report per element
    } else if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      readElementObjects(target, type, beginIndex, count, style, position, [&, k = beginIndex]() mutable {
        o->enter(ctx.offset(), this, k++);
        Ref<lang::Object> e = readPickledElement(ctx, style, typeMap);
        o->leave(ctx.offset());
        return e;
      });
    } else {
      readElementObjects(target, type, beginIndex, count, style, position,
                         [&] { return readPickledElement(ctx, style, typeMap); });
    }
  } else if (isAccessKind(style)) {
    if (!isNumberOrFloat(type)) {
      ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED, "primitive access to non-number elements");
    }
    target.setPlatformArray(KelvorTypeNUMBER::unpickleNumberArray(ctx, 1, count, style));
  } else {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "element style for the elements of",
                       elementType_.get());
  }
  // An empty range was never positioned at beginIndex: its position says nothing about it.
  if (count > 0) target.setLastIndexOffset(beginIndex + count, ctx.offset());
}

// --- reading linear images ---

Ref<lang::Object> KelvorTypeCOLLECTION::unpickleLinear(UnpickleContext& ctx,
                                                       jdbc::SqlValue* target, int32_t mode,
                                                       int32_t style,
                                                       const jdbc::TypeMap* typeMap) {
  return unpickleLinear(ctx, target, 1, -1, mode, style, typeMap);
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickleLinear(UnpickleContext& ctx,
                                                       jdbc::SqlValue* target, int64_t beginIndex,
                                                       int32_t count, int32_t mode, int32_t style,
                                                       const jdbc::TypeMap* typeMap) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "unpickleLinear at ", ctx.offset());
  DepthGuard guard(nestingDepth);
  Ref<jdbc::ArrayValue> value;
  if (mode == MODE_KEEP_IMAGE) {
    value = valueFor(target);
    value->setImage(ctx.image(), ctx.offset(), 0);
  }
  const int32_t start = ctx.offset();
  const int64_t a = ctx.readImageLength();
  FieldObserver* const o = ctx.observer();
  if (o != nullptr && mode != MODE_KEEP_IMAGE) [[unlikely]] {
    o->field(start, 4, FieldKind::LINEAR_LENGTH, this, a);
  }
  if (a == 0) return nullptr;
  if (mode == MODE_SKIP) {
    ctx.skipBytes(static_cast<int32_t>(a));
    return Ref<lang::Object>(target);
  }
  if (mode == MODE_KEEP_IMAGE) {
    value->setImageLength(a + 4);
    ctx.skipBytes(static_cast<int32_t>(a));
    if (o != nullptr) [[unlikely]] o->field(start, static_cast<int32_t>(a + 4), FieldKind::KEPT_IMAGE, this, a + 4);
    return value;
  }
  value = valueFor(target);
  ctx.skipBytes(2);
  const int64_t u = ctx.readUB4();
  const int8_t p = ctx.readByte();
  if (o != nullptr) [[unlikely]] {
    o->field(start + 4, 2, FieldKind::STEPPED_OVER, this, 2);
    o->field(start + 6, 4, FieldKind::LINEAR_PREFIX_LENGTH, this, u);
    o->field(start + 10, 1, FieldKind::PREFIX_FLAG, this, p & 0xFF);
  }
  // security: the prefix length counts the flag byte; outside 1..2^31 it is no length
  if (u < 1) lang::throwIndexOutOfBounds(u, 1);
  value->setLocator(ctx.readBytes(static_cast<int32_t>(u - 1)));
  if (o != nullptr && u > 1) [[unlikely]] {
    o->field(ctx.offset() - static_cast<int32_t>(u - 1), static_cast<int32_t>(u - 1), FieldKind::LOCATOR, this, u - 1);
  }
  if ((p & 1) == 0) return value;
  const int64_t part = ctx.readUB4();
  if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 4, 4, FieldKind::ELEMENT_PART_LENGTH, this, part);
  const int64_t end = ctx.relativeOffset() + part;
  UnpickleContext elements(ctx.image(), ctx.offset(), nullptr, nullptr,
                           static_cast<int8_t>(getFormatFlag() ? 1 : 0));
  elements.setObserver(o);
  if (beginIndex == 1 && count == -1) {
    (void)readLinearElements(elements, value.get(), style, typeMap);
  } else {
    (void)readLinearSlice(elements, value.get(), beginIndex, count, style, typeMap);
  }
  ctx.skipToRelative(end);
  return value;
}

Ref<lang::Object> KelvorTypeCOLLECTION::unpickle(UnpickleContext& ctx, int32_t /*format*/,
                                                 int32_t style, const jdbc::TypeMap* typeMap) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "unpickle element part at ", ctx.offset());
  DepthGuard guard(nestingDepth);
  return readLinearElements(ctx, nullptr, style, typeMap);
}

namespace {

// The element count of an element part: the low 32 bits of its UB4, checked against the bytes
// that remain.
int32_t readLinearCount(UnpickleContext& ctx) {
  const auto n = static_cast<int32_t>(ctx.readUB4() & 0xFFFFFFFF);
  requireCount(n, ctx.image().get(), ctx.offset());
  return n;
}

}  // namespace

Ref<jdbc::ArrayValue> KelvorTypeCOLLECTION::readLinearElements(UnpickleContext& ctx,
                                                               jdbc::ArrayValue* target,
                                                               int32_t style,
                                                               const jdbc::TypeMap* typeMap) {
  Ref<jdbc::ArrayValue> value = valueFor(target);
  const int32_t countAt = ctx.offset();
  const int32_t n = readLinearCount(ctx);
  FieldObserver* const o = ctx.observer();
  if (o != nullptr) [[unlikely]] o->field(countAt, 4, FieldKind::ELEMENT_COUNT, this, n);
  value->setLength(n);
  if (style == STYLE_COUNT_ONLY) return value;
  ctx.skipBytes(1);
  if (o != nullptr) [[unlikely]] o->field(countAt + 4, 1, FieldKind::STEPPED_OVER, this, 1);
  readLinearRange(ctx, *value, 1, n, style, typeMap);
  return value;
}

Ref<jdbc::ArrayValue> KelvorTypeCOLLECTION::readLinearSlice(UnpickleContext& ctx,
                                                            jdbc::ArrayValue* target,
                                                            int64_t beginIndex, int32_t count,
                                                            int32_t style,
                                                            const jdbc::TypeMap* typeMap) {
  Ref<jdbc::ArrayValue> value = valueFor(target);
  const int32_t total = readLinearCount(ctx);
  value->setLength(total);
  ctx.skipBytes(1);
  const int64_t k = sliceLength(int64_t{total}, beginIndex, count);  // the image slice rule
  if (beginIndex > 1 && k > 0) {
    if (hasFixedNumberSlots(element())) {
      // Fixed slots: straight to the element. beginIndex <= total, which the bytes bound.
      const int64_t skip = (beginIndex - 1) * KelvorTypeNUMBER::FIXED_NUMBER_STRIDE;
      ctx.skipBytes(skip > INT32_MAX ? INT32_MAX : static_cast<int32_t>(skip));
    } else {
      positionAt(
          *value, beginIndex, [&](int64_t o) { ctx.skipToRelative(o); },
          [&] { return int64_t{ctx.relativeOffset()}; },
          [&] { (void)element().unpickle(ctx, LINEAR_ELEMENT_FORMAT, STYLE_SKIP, nullptr); });
    }
  }
  readLinearRange(ctx, *value, beginIndex, static_cast<int32_t>(k), style, typeMap);
  return value;
}

void KelvorTypeCOLLECTION::readLinearRange(UnpickleContext& ctx, jdbc::ArrayValue& target,
                                           int64_t beginIndex, int32_t count, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  KelvorType& type = element();
  if (style == STYLE_SQL_VALUE || style == STYLE_PLATFORM_OBJECT) {
    requireCount(count, ctx.image().get(), ctx.offset());
    auto position = [&] { return int64_t{ctx.relativeOffset()}; };
    if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      readElementObjects(target, type, beginIndex, count, style, position, [&, k = beginIndex]() mutable {
        o->enter(ctx.offset(), this, k++);
        Ref<lang::Object> e = type.unpickle(ctx, LINEAR_ELEMENT_FORMAT, style, typeMap);
        o->leave(ctx.offset());
        return e;
      });
    } else {
      readElementObjects(target, type, beginIndex, count, style, position,
                         [&] { return type.unpickle(ctx, LINEAR_ELEMENT_FORMAT, style, typeMap); });
    }
  } else if (isAccessKind(style)) {
    if (!isNumberOrFloat(type)) ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
    target.setPlatformArray(KelvorTypeNUMBER::unpickleFixedNumberArray(ctx, 1, count, style));
  } else {
    raiseInternal("element style of a linear collection read");
  }
  // An empty range was never positioned at beginIndex: its position says nothing about it.
  if (count > 0) target.setLastIndexOffset(beginIndex + count, ctx.relativeOffset());
}

// --- serial form: collectionKind maxElements elementType ---

void KelvorTypeCOLLECTION::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeInt(collectionKind_);
  out.writeLong(maxElements_);
  out.writeObject(elementType_);
}

void KelvorTypeCOLLECTION::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  collectionKind_ = in.readInt();
  maxElements_ = in.readLong();
  Ref<lang::Object> o = in.readObject();
  if (o && dynamic_cast<KelvorType*>(o.get()) == nullptr) {
    throw lang::StreamCorruptedException("collection element type of another class");
  }
  refuseCycle(in, o.get());
  elementType_ = Ref<KelvorType>(static_cast<KelvorType*>(o.get()));
}

void KelvorTypeCOLLECTION::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeCOLLECTION&>(self).writeSerialForm(out);
}

void KelvorTypeCOLLECTION::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeCOLLECTION&>(self).readSerialForm(in);
}

void KelvorTypeCOLLECTION::dropDescriptorLinks() {
  KelvorTypeADT::dropDescriptorLinks();
  dropDescriptorLinksOf(elementType_.get());
}

}  // namespace kelvor::jdbc::kelcore
