#include "adt/KelvorTypeADT.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <typeinfo>
#include <utility>

#include "adt/AttributeFactory.h"
#include "adt/StreamInfo.h"
#include "adt/TDSPatch.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/Closer.h"
#include "driver/Connection.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "image/ByteOrder.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/String.h"
#include "scalar/KelvorTypeCHAR.h"
#include "types/DataValueWriter.h"
#include "types/DepthGuard.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeADT";

[[noreturn]] void raiseInternal(const char* message) {
  ErrorRaiser::raise(DriverException::ERR_INTERNAL, message);
}

jdbc::Connection& requireConnection(jdbc::Connection* conn) {
  if (conn == nullptr) lang::throwNullPointer("object type without a connection");
  return *conn;
}

Ref<lang::ObjectArray> stringArray(int32_t n) { return lang::ObjectArray::makeOf<lang::String>(n); }

}  // namespace

const lang::SerialClass KelvorTypeADT::SERIAL_CLASS = {
    "KelvorTypeADT", &KelvorNamedType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeADT>(); },
    &KelvorTypeADT::serialWriteHook, &KelvorTypeADT::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeADT::SERIAL_CLASS);
}  // namespace

// --- construction ---

KelvorTypeADT::KelvorTypeADT() { setKind(TypeKind::PlainObject); }

KelvorTypeADT::KelvorTypeADT(const std::string& sqlName) : KelvorNamedType(sqlName, nullptr) {
  setKind(TypeKind::PlainObject);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(", sqlName, ")");
}

KelvorTypeADT::KelvorTypeADT(const std::string& sqlName, jdbc::Connection* conn)
    : KelvorNamedType(sqlName, conn) {
  setKind(TypeKind::PlainObject);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(", sqlName, ", connection)");
}

KelvorTypeADT::KelvorTypeADT(const std::string& sqlName, jdbc::Connection* conn,
                             Ref<lang::ByteArray> formatDescriptor)
    : KelvorNamedType(sqlName, conn), formatDescriptor_(std::move(formatDescriptor)) {
  setKind(TypeKind::PlainObject);
  formatFlag_ = computeFormatFlag(formatDescriptor_.get());
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(", sqlName, ", connection, fd)");
}

KelvorTypeADT::KelvorTypeADT(KelvorTypeADT* parent, int32_t index, jdbc::Connection* conn)
    : KelvorNamedType(parent, index, conn) {
  setKind(TypeKind::PlainObject);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(parent, ", index, ")");
}

KelvorTypeADT::KelvorTypeADT(KelvorTypeADT* parent, int32_t index, jdbc::Connection* conn,
                             Ref<lang::ByteArray> formatDescriptor)
    : KelvorNamedType(parent, index, conn), formatDescriptor_(std::move(formatDescriptor)) {
  setKind(TypeKind::PlainObject);
  formatFlag_ = computeFormatFlag(formatDescriptor_.get());
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(parent, ", index, ", fd)");
}

KelvorTypeADT::KelvorTypeADT(Ref<lang::ByteArray> typeId, int32_t typeVersion, int32_t auxCount1,
                             int32_t auxCount2, const std::string& sqlName)
    : KelvorNamedType(sqlName, nullptr),
      typeVersion_(typeVersion),
      typeId_(std::move(typeId)),
      auxCount1_(auxCount1),
      auxCount2_(auxCount2) {
  setKind(TypeKind::PlainObject);
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "KelvorTypeADT(typeId, ", typeVersion, ")");
}

KelvorTypeADT::~KelvorTypeADT() = default;

int32_t KelvorTypeADT::getTypeCode() const { return TYPE_CODE; }

bool KelvorTypeADT::isPlainObjectType(const KelvorType* t) noexcept {
  return t != nullptr && t->kind() == TypeKind::PlainObject;
}

bool KelvorTypeADT::computeFormatFlag(const lang::ByteArray* fd) {
  if (fd == nullptr) return false;
  // k = d[5] + d[6] + 11 over unsigned bytes; a descriptor too short to hold it has no flag
  if (fd->length() < 7) lang::throwIndexOutOfBounds(6, fd->length());
  const int32_t k = ((*fd)[5] & 0xFF) + ((*fd)[6] & 0xFF) + 11;
  return ((fd->at(k) >> 4) & 1) != 0;
}

// --- type information and parsing ---

void KelvorTypeADT::init(jdbc::Connection* conn) {
  std::lock_guard<lang::Monitor> hold(monitor());
  connection_ = conn;
  embeddedState_ = TOPLEVEL_TYPE;
  fetchTypeInfo(conn);
  if (!parsed_) parseTDS(tds_, 0);
  tds_ = nullptr;
  Ref<lang::Object> descriptor = descriptor_.load();
  if (conn != nullptr && descriptor && !conn->getDescriptor(sqlName_)) {
    conn->putDescriptor(sqlName_, descriptor);
  }
}

void KelvorTypeADT::initIfNeeded(bool missing) {
  if (missing && connection_ != nullptr) init(connection_);
}

void KelvorTypeADT::fetchTypeInfo(jdbc::Connection* conn) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (typeInfoLoaded_) return;
  jdbc::Connection& c = requireConnection(conn);
  if (!sqlNameKnown_) (void)getSqlName();

  // Another descriptor of the same name already holds everything.
  if (auto* cached = dynamic_cast<jdbc::ObjectDescriptor*>(c.getDescriptor(sqlName_).get())) {
    const Ref<KelvorTypeADT>& source = cached->getKelvorType();
    if (source && source.get() != this) {
      copyType(*source, *this);
      typeInfoLoaded_ = true;
      return;
    }
  }

  if (typeProperty_ == 0) typeProperty_ = c.describeTypeProperty(sqlName_);
  Ref<lang::ByteArray> fd = c.getFormatDescriptor();
  formatDescriptor_ = fd;
  const bool withFormat = !fd;  // without a format descriptor the call also returns one
  Ref<jdbc::Statement> call = c.prepareCall(withFormat ? jdbc::Connection::TYPE_INFO_CALL_WITH_FORMAT
                                                       : jdbc::Connection::TYPE_INFO_CALL);
  jdbc::Closer<jdbc::Statement> closeCall(call);
  call->registerOutParameter(1, jdbc::Statement::NUMERIC);
  call->registerOutParameter(5, jdbc::Statement::INTEGER);
  if (withFormat) call->registerOutParameter(8, jdbc::Statement::NUMERIC);
  const std::optional<std::string> schema = schemaName_;
  call->setString(2, schema ? lang::String::of(*schema).get() : nullptr);
  call->setString(3, lang::String::of(typeName_).get());
  call->execute();
  if (call->getInt(1) != 0) ErrorRaiser::raise(DriverException::ERR_TYPE_INFO);
  if (withFormat && call->getInt(8) != 0) raiseInternal("no format descriptor for the type");

  Ref<lang::ByteArray> tds = call->getBytes(6);
  // security: the layout offset count is read from bytes 8 and 9 of the server's segment
  if (!tds || tds->length() < 10) {
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "type descriptor segment too short");
  }
  typeId_ = call->getBytes(4);
  typeVersion_ = call->getInt(5);
  tds_ = tds;
  if (withFormat) {
    formatDescriptor_ = call->getBytes(9);
    c.setFormatDescriptor(formatDescriptor_);
  }
  formatFlag_ = c.getFormatFlag();
  layoutOffsetCount_ = loadBE16(tds->data() + 8);
  layoutImage_ = call->getBytes(7);
  typeInfoLoaded_ = true;
}

void KelvorTypeADT::parseTDS(Ref<lang::ByteArray> tds, int64_t offset) {
  if (parsed_) return;
  (void)parseSegment(std::move(tds), offset);
}

int64_t KelvorTypeADT::parseSegment(Ref<lang::ByteArray> tds, int64_t offset) {
  if (!tds) lang::throwNullPointer("no type descriptor segment");
  if (Trace::on(TRACE)) {
    Trace::line(TRACE_CLASS, "parseTDS ", tds->length(), " bytes at ", offset, " for ",
                sqlNameKnown_ ? sqlName_ : std::string("(unnamed)"));
  }
  if (Trace::on(DUMP_TRACE)) Util::dumpBytes(tds.get());
  auto reader = lang::makeRef<StreamInfo>(tds, offset);
  reader->depth() = inheritedDepth_;
  // The reader is held here only: it holds the fix-ups, and a fix-up holds the descriptor
  // that queued it (a collection parsing its own segment queues one on itself), so a failed
  // parse leaves no cycle, and a patched type does not keep its whole segment alive.
  struct OwnSegment {
    bool& flag;
    ~OwnSegment() { flag = false; }
  } ownSegment{parsingOwnSegment_};
  parsingOwnSegment_ = true;
  reader->skipBytes(4);
  reader->expectByte(TDS_HEADER_MARK);
  typeVersion_ = reader->readByte();
  reader->skipBytes(4);
  headerFlag_ = (reader->readByte() & 0xFF) == 0xFF;
  reader->expectByte(TDS_ATTRIBUTES_MARK);
  if (reader->readSB2() != 0) {
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "attribute list marker not followed by 0");
  }
  reader->skipBytes(4);
  parseTDS(*reader);
  // The outermost list is done: a fix-up that no pass took (an enclosing list of its own
  // ended with 40) would leave a descriptor without its type. No half-built tree is kept.
  if (reader->pendingPatches() > 0) {
    attributeTypes_ = nullptr;
    parsed_ = false;
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "fix-up left unapplied");
  }
  return reader->getRelativeOffset();
}

void KelvorTypeADT::parseTDS(StreamInfo& reader) {
  std::vector<Ref<KelvorType>> list;
  list.reserve(5);
  beginList(reader);
  nextAttributeIndex_ = 1;
  while (Ref<KelvorType> d = parseAttribute(reader)) list.push_back(std::move(d));
  if (lastOpcode_ == OPC_END_PATCHES) applyPatches(reader);

  auto types = lang::ObjectArray::makeOf<KelvorType>(static_cast<int64_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i) types->set(static_cast<int32_t>(i), std::move(list[i]));
  markParsed(std::move(types));
}

void KelvorTypeADT::beginList(StreamInfo& reader) {
  nullIndex_ = reader.nullIndexCounter()++;
  offsetIndex_ = reader.offsetIndexCounter();  // a list takes no offset slot itself
  patchBase_ = reader.patchMark();
}

void KelvorTypeADT::markParsed(Ref<lang::ObjectArray> attributeTypes) {
  assert(attributeTypes);
  attributeTypes_ = std::move(attributeTypes);
  parsed_ = true;
}

Ref<KelvorType> KelvorTypeADT::parseAttribute(StreamInfo& reader) {
  int8_t opcode = 0;
  try {
    opcode = reader.readByte();
  } catch (const lang::IndexOutOfBoundsException&) {
    raiseInternal("attribute list ends before its end opcode");
  }
  lastOpcode_ = opcode;
  if (opcode == OPC_END || opcode == OPC_END_PATCHES) return nullptr;
  if (opcode == OPC_EMBEDDED_OBJECT) {
    auto embedded = lang::makeRef<KelvorTypeADT>(this, nextAttributeIndex_, connection_,
                                                 formatDescriptor_);
    embedded->embeddedState_ = EMBEDDED_TYPE;
    // security: embedded lists nest as deep as the bytes allow; bound the recursion
    DepthGuard guard(reader.depth());
    embedded->parseTDS(reader);
    ++nextAttributeIndex_;
    return embedded;
  }
  Ref<KelvorType> d =
      AttributeFactory::create(opcode, this, nextAttributeIndex_, connection_, formatFlag_);
  d->parseTDS(reader);
  ++nextAttributeIndex_;
  return d;
}

void KelvorTypeADT::applyPatches(StreamInfo& reader) {
  const int32_t mark = patchBase_;
  int32_t cursor = mark;
  while (Ref<TDSPatch> patch = reader.nextPatchSince(cursor)) {
    // security: each fix-up may create descriptors that queue more; bound the chain
    DepthGuard guard(reader.depth());
    reader.seekToPatch(*patch);
    switch (patch->getKind()) {
      case TDSPatch::KIND_OBJECT_TYPE: {
        (void)reader.readByte();
        const int8_t typeByte = patch->getTypeByte();
        if (typeByte == -6) {
          (void)reader.readUB4();
        } else if (typeByte != -5) {
          raiseInternal("fix-up of an unknown UPT type byte");
        }
        auto* owner = dynamic_cast<KelvorNamedType*>(patch->getOwner());
        if (owner == nullptr) raiseInternal("object fix-up without a named owner");
        Ref<KelvorTypeADT> t =
            owner->isSqlNameKnown()
                ? lang::makeRef<KelvorTypeADT>(owner->getSqlName(), connection_, formatDescriptor_)
                : lang::makeRef<KelvorTypeADT>(owner->getParent(), owner->getParentIndex(),
                                               connection_, formatDescriptor_);
        t->setEmbeddedState(PATCHED_TYPE);
        // The patched segment nests inside this one: its reader goes on counting from here.
        t->inheritedDepth_ = reader.depth();
        const int64_t consumed = t->parseSegment(reader.getBytes(), reader.getOffset());
        reader.skipBytes(static_cast<int32_t>(consumed));
        patch->apply(t->getEffectiveType());
        break;
      }
      case TDSPatch::KIND_ELEMENT_TYPE: {
        Ref<KelvorType> element = parseAttribute(reader);
        patch->apply(element, static_cast<int8_t>(lastOpcode_));
        break;
      }
      default:
        ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "fix-up of an unknown kind");
    }
  }
  reader.dropPatchesFrom(mark);
}

Ref<KelvorTypeADT> KelvorTypeADT::getEffectiveType() {
  std::lock_guard<lang::Monitor> hold(monitor());
  // A type whose single attribute is a collection hands its identity to that collection, once:
  // the collection is shared once parsed, and writing its fields again would race with its
  // readers.
  if (attributeTypes_ && attributeTypes_->length() == 1) {
    if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(attributeTypes_->at(0))) {
      if (!identityHandedOn_) collection->copyFrom(*this);
      identityHandedOn_ = true;
      return Ref<KelvorTypeADT>(collection);
    }
  }
  return Ref<KelvorTypeADT>(this);
}

// --- attributes and names ---

Ref<lang::ObjectArray> KelvorTypeADT::getAttributeTypes() {
  if (typesPublished_.load(std::memory_order_acquire)) return attributeTypes_;
  // First use: init fills the types under the monitor, which every thread takes until they
  // are published.
  std::lock_guard<lang::Monitor> hold(monitor());
  initIfNeeded(!parsed_);
  if (parsed_) typesPublished_.store(true, std::memory_order_release);
  return attributeTypes_;
}

Ref<KelvorType> KelvorTypeADT::getAttributeType(int32_t i) {
  Ref<lang::ObjectArray> types = getAttributeTypes();
  if (!types) lang::throwNullPointer("object type not parsed");
  return Ref<KelvorType>(static_cast<KelvorType*>(types->at(i)));
}

int32_t KelvorTypeADT::getNumAttributes() {
  Ref<lang::ObjectArray> types = getAttributeTypes();
  if (!types) lang::throwNullPointer("object type not parsed");
  return types->length();
}

std::optional<std::string> KelvorTypeADT::nameAt(NameList which, int32_t i, bool fetch) {
  if (i <= 0) raiseInternal("attribute position below 1");
  if (!(this->*which)) {
    if (!fetch) return std::nullopt;
    initNames();
  }
  const Ref<lang::ObjectArray>& names = this->*which;
  if (i > names->length()) raiseInternal("attribute position above the attribute count");
  const auto* text = dynamic_cast<const lang::String*>(names->at(i - 1));
  if (text == nullptr) raiseInternal("attribute without a name");
  return text->value();
}

std::string KelvorTypeADT::getAttributeName(int32_t i) {
  std::lock_guard<lang::Monitor> hold(monitor());
  return *nameAt(&KelvorTypeADT::attributeNames_, i, true);
}

std::optional<std::string> KelvorTypeADT::getAttributeName(int32_t i, bool fetch) {
  std::lock_guard<lang::Monitor> hold(monitor());
  return nameAt(&KelvorTypeADT::attributeNames_, i, fetch);
}

std::string KelvorTypeADT::getAttributeTypeName(int32_t i) {
  if (!sqlNameKnown_) (void)getSqlName();  // before the monitor: a parent's is taken first
  std::lock_guard<lang::Monitor> hold(monitor());
  return *nameAt(&KelvorTypeADT::attributeTypeNames_, i, true);
}

std::optional<std::string> KelvorTypeADT::getAttributeTypeName(int32_t i, bool fetch) {
  std::lock_guard<lang::Monitor> hold(monitor());
  return nameAt(&KelvorTypeADT::attributeTypeNames_, i, fetch);
}

void KelvorTypeADT::initNames() {
  std::lock_guard<lang::Monitor> hold(monitor());
  jdbc::Connection& c = requireConnection(connection_);
  const int32_t n = getNumAttributes();
  Ref<jdbc::Statement> query = c.prepareStatement(jdbc::Connection::ATTRIBUTE_NAMES_QUERY);
  jdbc::Closer<jdbc::Statement> closeQuery(query);
  const std::optional<std::string> schema = getSchemaName();
  query->setString(1, schema ? lang::String::of(*schema).get() : nullptr);
  query->setString(2, lang::String::of(getTypeName()).get());
  Ref<jdbc::ResultSet> rows = query->executeQuery();
  jdbc::Closer<jdbc::ResultSet> closeRows(rows);

  Ref<lang::ObjectArray> names = stringArray(n);
  Ref<lang::ObjectArray> typeNames = stringArray(n);
  int32_t count = 0;
  while (rows->next()) {
    // security: the rows must number the attributes 1..n in order, and no more
    if (rows->getInt(1) != count + 1 || count >= n) raiseInternal("attribute rows out of order");
    Ref<lang::String> name = rows->getString(2);
    Ref<lang::String> type = rows->getString(3);
    Ref<lang::String> typeSchema = rows->getString(4);
    if (!name || !type || !typeSchema) raiseInternal("attribute row with a null column");
    names->set(count, name);
    typeNames->set(count, lang::String::of(typeSchema->value() + NAME_SEPARATOR + type->value()));
    ++count;
  }
  // A dictionary that names fewer attributes than the type has cannot answer every position.
  if (count != n) raiseInternal("attribute rows do not cover the type");
  attributeNames_ = std::move(names);
  attributeTypeNames_ = std::move(typeNames);
}

// --- copies ---

void KelvorTypeADT::copyType(const KelvorTypeADT& from, KelvorTypeADT& to) {
  if (&from == &to) return;
  to.copyFields(from, CopyScope::WHOLE);
}

Ref<KelvorTypeADT> KelvorTypeADT::copyOf(const KelvorTypeADT& from) {
  auto to = lang::makeRef<KelvorTypeADT>();
  copyType(from, *to);
  return to;
}

void KelvorTypeADT::copyFrom(const KelvorTypeADT& other) { copyFields(other, CopyScope::IDENTITY); }

// Every field of the object type and of its bases is named here once. Not copied by either
// scope: the header flag, the state of a parse in progress (the own-segment flag, the
// inherited depth), and what this descriptor publishes once (the published types, the
// identity handed on, the leafless-inline answer).
void KelvorTypeADT::copyFields(const KelvorTypeADT& from, CopyScope scope) {
  // The identity: names, connection, null index, type information.
  nullIndex_ = from.nullIndex_;
  connection_ = from.connection_;
  sqlNameKnown_ = from.sqlNameKnown_.load();
  sqlName_ = from.sqlName_;
  schemaName_ = from.schemaName_;
  typeName_ = from.typeName_;
  parent_ = from.parent_;
  parentIndex_ = from.parentIndex_;
  layoutImage_ = from.layoutImage_;
  tds_ = from.tds_;
  typeId_ = from.typeId_;
  formatDescriptor_ = from.formatDescriptor_;
  typeVersion_ = from.typeVersion_;
  typeProperty_ = from.typeProperty_;
  formatFlag_ = from.formatFlag_;
  if (scope == CopyScope::IDENTITY) return;
  // The rest of KelvorType's (the native size is a cache of the format descriptor, copied
  // with it) and KelvorNamedType's.
  offsetIndex_ = from.offsetIndex_;
  setTypeCode(from.KelvorType::getTypeCode());
  setAuxCode(from.getAuxCode());
  descriptor_.store(from.descriptor_.load());
  // The rest of this class's: layout, parse and fetch state.
  embeddedState_ = from.embeddedState_;
  attributeOffsets_ = from.attributeOffsets_;
  linearImageSize_ = from.linearImageSize_.load(std::memory_order_relaxed);
  maxAlignment_ = from.maxAlignment_.load(std::memory_order_relaxed);
  attributeTypes_ = from.attributeTypes_;
  parsed_ = from.parsed_;
  attributeNames_ = from.attributeNames_;
  attributeTypeNames_ = from.attributeTypeNames_;
  auxCount1_ = from.auxCount1_;
  auxCount2_ = from.auxCount2_;
  layoutOffsetCount_ = from.layoutOffsetCount_;
  lastOpcode_ = from.lastOpcode_;
  nextAttributeIndex_ = from.nextAttributeIndex_;
  typeInfoLoaded_ = from.typeInfoLoaded_;
  patchBase_ = from.patchBase_;
}

// --- properties ---

int32_t KelvorTypeADT::getTypeVersion() {
  std::lock_guard<lang::Monitor> hold(monitor());  // fetchTypeInfo fills it
  if (typeVersion_ == -1) fetchTypeInfo(connection_);
  return typeVersion_;
}

Ref<lang::ByteArray> KelvorTypeADT::getTypeId() {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (!typeId_) fetchTypeInfo(connection_);
  return typeId_;
}

int64_t KelvorTypeADT::getTypeProperty() {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (typeProperty_ == 0) typeProperty_ = requireConnection(connection_).describeTypeProperty(getSqlName());
  return typeProperty_;
}

Ref<lang::LongArray> KelvorTypeADT::getAttributeOffsets() {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (attributeOffsets_ || connection_ == nullptr) return attributeOffsets_;
  switch (embeddedState_) {
    case EMBEDDED_TYPE:
    case PATCHED_TYPE:
      computeAttributeOffsets();
      break;
    case TOPLEVEL_TYPE: {
      if (!layoutImage_) init(connection_);
      if (!layoutImage_) raiseInternal("no layout description for the type");
      lang::ByteArrayInputStream in(layoutImage_);
      readLayout(in);
      break;
    }
    default:
      raiseInternal("object type in an unknown state");
  }
  return attributeOffsets_;
}

int64_t KelvorTypeADT::getLinearImageSize() const {
  return linearImageSize_.load(std::memory_order_relaxed);
}
int32_t KelvorTypeADT::getMaxAlignment() const { return maxAlignment_.load(std::memory_order_relaxed); }
int32_t KelvorTypeADT::getAuxCount1() const { return auxCount1_; }
int32_t KelvorTypeADT::getAuxCount2() const { return auxCount2_; }

int64_t KelvorTypeADT::getLinearImageSizeQuietly() {
  try {
    return getLinearImageSize();
  } catch (const DriverException&) {
    return 0;
  }
}

Ref<lang::LongArray> KelvorTypeADT::getAttributeOffsetsQuietly() {
  try {
    return getAttributeOffsets();
  } catch (const DriverException&) {
    return nullptr;
  }
}

void KelvorTypeADT::setTypeProperty(int64_t typeProperty) { typeProperty_ = typeProperty; }
bool KelvorTypeADT::isEmbedded() const { return embeddedState_ == EMBEDDED_TYPE; }
bool KelvorTypeADT::isTopLevel() const { return embeddedState_ == TOPLEVEL_TYPE; }
void KelvorTypeADT::markEmbedded(int32_t /*ignored*/) { embeddedState_ = EMBEDDED_TYPE; }
void KelvorTypeADT::setEmbeddedState(int32_t state) { embeddedState_ = state; }

// --- values ---

Ref<jdbc::SqlValue> KelvorTypeADT::toSqlValue(lang::Object* value, jdbc::Connection* conn) {
  if (value == nullptr) return nullptr;
  if (auto* object = jdbc::SqlValue::as<jdbc::ObjectValue>(value)) return Ref<jdbc::SqlValue>(object);
  if (auto* attributes = dynamic_cast<lang::ObjectArray*>(value)) {
    Ref<lang::Object> descriptor = getObjectDescriptor();
    auto* od = dynamic_cast<jdbc::ObjectDescriptor*>(descriptor.get());
    if (od == nullptr) ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
    return lang::makeRef<jdbc::ObjectValue>(Ref<jdbc::ObjectDescriptor>(od), conn,
                                            Ref<lang::ObjectArray>(attributes));
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

Ref<lang::ObjectArray> KelvorTypeADT::toSqlValueArray(lang::Object* values,
                                                      jdbc::Connection* conn, int64_t beginIndex,
                                                      int32_t count) {
  // Same slice rule as every descriptor: count -1 takes all elements from beginIndex on.
  return KelvorType::toSqlValueArray(values, conn, beginIndex, count);
}

Ref<lang::Object> KelvorTypeADT::getObjectDescriptor() {
  // Once filled it is handed out without the monitor (the slot is safe to load): every object
  // value read asks for it.
  if (Ref<lang::Object> filled = descriptor_.load()) return filled;
  std::lock_guard<lang::Monitor> hold(monitor());  // filled once, as the names are
  if (descriptor_.isNull()) {
    if (sqlNameKnown_ || getSqlName(false)) {
      descriptor_.store(jdbc::ObjectDescriptor::createDescriptor(sqlName_, connection_));
    } else {
      // Unnamed for now: a type under the same parent, which asks it for the name later. It
      // starts as a copy of this one, attributes included, so that a value that keeps its
      // image can still be decoded when no name can be had (a fresh type could only fetch
      // its attributes by that name). The copy takes this type's descriptor, which is still
      // null here, so there is no cycle.
      auto unnamed = copyOf(*this);
      descriptor_.store(lang::makeRef<jdbc::ObjectDescriptor>(unnamed, connection_));
    }
  }
  return descriptor_.load();
}

void KelvorTypeADT::setConnection(jdbc::Connection* conn) {
  std::lock_guard<lang::Monitor> hold(monitor());
  connection_ = conn;
  if (!attributeTypes_) return;
  for (int32_t i = 0; i < attributeTypes_->length(); ++i) {
    static_cast<KelvorType*>(attributeTypes_->at(i))->setConnection(conn);
  }
}

void KelvorTypeADT::dropDescriptorLinks() {
  descriptor_.store(nullptr);
  if (!attributeTypes_) return;
  for (int32_t i = 0; i < attributeTypes_->length(); ++i) {
    dropDescriptorLinksOf(static_cast<KelvorType*>(attributeTypes_->at(i)));
  }
}

void KelvorTypeADT::dropDescriptorLinksOf(KelvorType* child) {
  if (auto* object = dynamic_cast<KelvorTypeADT*>(child)) {
    object->dropDescriptorLinks();
  } else if (auto* named = dynamic_cast<KelvorNamedType*>(child)) {
    named->setDescriptor(nullptr);
  }
}

// --- writing object images ---

namespace {

constexpr int32_t STYLE_SQL_VALUE = KelvorTypeADT::STYLE_SQL_VALUE;
constexpr int32_t STYLE_PLATFORM_OBJECT = KelvorTypeADT::STYLE_PLATFORM_OBJECT;

// The attribute descriptors of one object type, borrowed for one pass over its attributes: a
// plain object type's list is taken once (published lists without any reference count) and
// indexed. Other kinds answer through getNumAttributes and getAttributeType, whose result is
// held here until the next call.
class AttributeTypes {
 public:
  explicit AttributeTypes(KelvorTypeADT& type) : type_(type) {
    if (type.kind() != TypeKind::PlainObject) return;
    list_ = type.publishedAttributeTypes();
    if (list_ == nullptr) {
      heldList_ = type.getAttributeTypes();
      list_ = heldList_.get();
    }
    if (list_ == nullptr) lang::throwNullPointer("object type not parsed");
  }
  int32_t size() { return list_ != nullptr ? list_->length() : type_.getNumAttributes(); }
  // The end of the run of attributes from i on that are each written as a data value, or are
  // CHAR when withStrings (see pickleScalarRun): i when attribute i is neither (or the list is
  // not borrowed).
  int32_t dataValueRun(int32_t i, bool withStrings) const noexcept {
    if (list_ == nullptr) return i;
    for (; i < list_->length(); ++i) {
      const TypeKind kind = static_cast<KelvorType*>(list_->data()[i].get())->kind();
      if (!KelvorType::writesDataValues(kind) && !(withStrings && kind == TypeKind::Char)) break;
    }
    return i;
  }
  // The borrowed list's descriptors from i on; only after a run was found there.
  const Ref<lang::Object>* from(int32_t i) const noexcept { return list_->data() + i; }
  KelvorType& operator[](int32_t i) {
    if (list_ != nullptr) return *static_cast<KelvorType*>(list_->data()[i].get());  // i < size()
    held_ = type_.getAttributeType(i);
    if (!held_) lang::throwNullPointer("attribute type");
    return *held_;
  }

 private:
  KelvorTypeADT& type_;
  const lang::ObjectArray* list_ = nullptr;
  Ref<lang::ObjectArray> heldList_;
  Ref<KelvorType> held_;
};

// Attribute t's value read to a SQL value, the context without a listener: a NUMBER or DATE
// made here as their (final) unpickle makes it, without the call; any other through unpickle.
Ref<lang::Object> unpickleSqlAttribute(PickleContext& ctx, KelvorType& t) {
  switch (t.kind()) {
    case TypeKind::Number:
    case TypeKind::Date: {
      const std::span<const int8_t> bytes = ctx.readDataSpan();
      if (bytes.empty()) return nullptr;  // null (or an empty form)
      const int8_t* data = bytes.data();
      const auto n = static_cast<int32_t>(bytes.size());
      using jdbc::SqlValue;
      if (t.kind() == TypeKind::Number) return SqlValue::withBytesCopied<jdbc::NumberValue>(data, n);
      return SqlValue::withBytesCopied<jdbc::DateValue>(data, n);
    }
    default:
      return t.unpickle(ctx, STYLE_SQL_VALUE, nullptr);
  }
}

// count attributes of a run with strings (AttributeTypes::dataValueRun) inside an ImageScope,
// their descriptors and values, through one cursor: a data value as its descriptor writes it,
// a CHAR value as KelvorTypeCHAR::pickle writes it where writtenAsItIs says so, a null as FF.
// Any other CHAR value goes through pickle itself, outside the cursor. Returns the bytes
// written.
int64_t pickleScalarRun(PickleContext& ctx, const Ref<lang::Object>* types,
                        const Ref<lang::Object>* values, int32_t count) {
  int64_t total = 0;
  int32_t k = 0;
  while (k < count) {
    {
      PickleContext::HeldRun run(ctx);
      for (; k < count; ++k) {
        lang::Object* a = values[k].get();
        if (a == nullptr) {
          total += run.writeAtomicNull();
        } else {
          auto& t = *static_cast<KelvorType*>(types[k].get());
          if (t.kind() == TypeKind::Char &&
              static_cast<KelvorTypeCHAR&>(t).writtenAsItIs(a) == nullptr) {
            break;
          }
          total += DataValueWriter::write(run, a);
        }
        // security: an image above 2^31-1 bytes cannot carry its length
        if (total > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
      }
    }
    if (k < count) {
      total += static_cast<KelvorType*>(types[k].get())->pickle(ctx, values[k].get());
      ++k;
    }
  }
  return total;
}

jdbc::ObjectValue& objectValueOf(lang::Object* value) {
  if (value == nullptr) lang::throwNullPointer("object value is null");
  auto* object = jdbc::SqlValue::as<jdbc::ObjectValue>(value);
  if (object == nullptr) lang::throwClassCast(value->className(), "ObjectValue");
  return *object;
}

[[noreturn]] void raiseNoBytes(lang::Object* value) {
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                     "an inline object without leaves has no bytes to write", value);
}

// Whether a present value of the inline object type t can be written as no bytes: each of
// its attributes is such an inline object type in turn (or it has none).
bool isLeafless(KelvorTypeADT& t) {
  const int32_t n = t.getNumAttributes();
  for (int32_t i = 0; i < n; ++i) {
    Ref<KelvorType> a = t.getAttributeType(i);
    if (!KelvorTypeADT::isPlainObjectType(a.get()) || !isLeafless(static_cast<KelvorTypeADT&>(*a))) {
      return false;
    }
  }
  return true;
}

// The attribute values of an object value that matches t, or null when it does not (the write
// itself then fails as it always has).
Ref<lang::ObjectArray> attributesFor(KelvorTypeADT& t, lang::Object* value) {
  auto* object = dynamic_cast<jdbc::ObjectValue*>(value);
  if (object == nullptr) return nullptr;
  Ref<lang::ObjectArray> values = object->getAttributes();
  if (!values || values->length() != t.getNumAttributes()) return nullptr;
  return values;
}

// Whether the present value of the inline object type t writes no bytes: it has no leaf, and
// no null marker stands anywhere in it.
bool writesNothing(KelvorTypeADT& t, lang::Object* value) {
  Ref<lang::ObjectArray> values = attributesFor(t, value);
  if (!values) return false;
  for (int32_t i = 0; i < values->length(); ++i) {
    Ref<KelvorType> a = t.getAttributeType(i);
    lang::Object* v = values->at(i);
    if (!KelvorTypeADT::isPlainObjectType(a.get()) || v == nullptr ||
        !writesNothing(static_cast<KelvorTypeADT&>(*a), v)) {
      return false;
    }
  }
  return true;
}

// Raises ERR_UNSUPPORTED for the first present inline object in value (of type t) that would
// be written as no bytes.
void refuseEmptyInlineObjects(KelvorTypeADT& t, lang::Object* value) {
  Ref<lang::ObjectArray> values = attributesFor(t, value);
  if (!values) return;
  for (int32_t i = 0; i < values->length(); ++i) {
    Ref<KelvorType> a = t.getAttributeType(i);
    lang::Object* v = values->at(i);
    if (v == nullptr || !KelvorTypeADT::isPlainObjectType(a.get())) continue;
    auto& inner = static_cast<KelvorTypeADT&>(*a);
    if (writesNothing(inner, v)) raiseNoBytes(v);
    refuseEmptyInlineObjects(inner, v);
  }
}

}  // namespace

bool KelvorTypeADT::reachesLeaflessInline() {
  int8_t known = leaflessInline_.load(std::memory_order_relaxed);
  if (known == 0) {
    bool reached = false;
    const int32_t n = getNumAttributes();
    for (int32_t i = 0; i < n && !reached; ++i) {
      Ref<KelvorType> a = getAttributeType(i);
      if (!isPlainObjectType(a.get())) continue;
      auto& inner = static_cast<KelvorTypeADT&>(*a);
      reached = isLeafless(inner) || inner.reachesLeaflessInline();
    }
    known = reached ? 2 : 1;
    leaflessInline_.store(known, std::memory_order_relaxed);
  }
  return known == 2;
}

int32_t KelvorTypeADT::pickle(PickleContext& ctx, lang::Object* value) {
  // Checked before the header: a refused value leaves the stream as it was.
  if (reachesLeaflessInline()) refuseEmptyInlineObjects(*this, value);
  const int32_t start = ctx.offset();
  const int32_t header = ctx.writeObjectHeader();
  const int32_t body = pickleAttributes(ctx, value, 0);
  // security: an image above 2^31-1 bytes cannot carry its length
  if (body > INT32_MAX - header) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  ctx.patchLength(start + 2, header + body);
  return header + body;
}

int32_t KelvorTypeADT::pickleAttributes(PickleContext& ctx, lang::Object* value, int32_t depth) {
  const jdbc::ObjectValue& object = objectValueOf(value);
  // Appending straight to the buffer takes no stream lock, and a scalar's writer takes no
  // other value's: the attributes may be written under the value's own lock, with no count
  // taken on their array.
  if (ctx.appendsDirectly() && writesScalarsOnly()) {
    return object.readAttributes([&](const lang::ObjectArray* values) {
      return pickleAttributeValues(ctx, value, values, depth);
    });
  }
  const Ref<lang::ObjectArray> values = object.getAttributes();
  return pickleAttributeValues(ctx, value, values.get(), depth);
}

bool KelvorTypeADT::writesScalarsOnly() noexcept {
  int8_t known = scalarsOnly_.load(std::memory_order_relaxed);
  if (known == 0) {
    const lang::ObjectArray* types = publishedAttributeTypes();
    if (kind() != TypeKind::PlainObject || types == nullptr) return false;
    bool scalars = true;
    for (int32_t i = 0; i < types->length() && scalars; ++i) {
      switch (static_cast<const KelvorType*>(types->data()[i].get())->kind()) {
        case TypeKind::Other:
        case TypeKind::PlainObject:
        case TypeKind::Collection:
        case TypeKind::Upt:
          scalars = false;
          break;
        default:
          break;
      }
    }
    known = scalars ? 2 : 1;
    scalarsOnly_.store(known, std::memory_order_relaxed);
  }
  return known == 2;
}

int32_t KelvorTypeADT::pickleAttributeValues(PickleContext& ctx, lang::Object* value,
                                             const lang::ObjectArray* values, int32_t depth) {
  if (values == nullptr) lang::throwNullPointer("object value without attribute values");
  AttributeTypes types(*this);
  const int32_t n = types.size();
  if (values->length() != n) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "attribute count differs from type",
                       value);
  }
  const Ref<lang::Object>* v = values->data();  // n of them
  int64_t total = 0;
  int32_t i = 0;
  if (n > 0) {
    KelvorType& first = types[0];
    if (isPlainObjectType(&first)) {
      auto& inner = static_cast<KelvorTypeADT&>(first);
      if (lang::Object* head = v[0].get()) {
        const int32_t written = inner.pickleAttributes(ctx, head, depth + 1);
        if (written == 0) raiseNoBytes(head);
        total += written;
      } else if (depth > 0) {
        // security: the depth byte holds the chain's length, bounded by the type's nesting
        if (depth > 255) ErrorRaiser::raiseStackOverflow();
        total += ctx.writeDepthNull(static_cast<int8_t>(depth));
      } else {
        total += ctx.writeEmbeddedNull();
      }
      i = 1;
    }
  }
  const bool held = ctx.appendsDirectly();
  for (; i < n; ++i) {
    // A run of data values (nulls as FF), with CHAR values inside an ImageScope: the loop
    // below without its dispatch.
    if (const int32_t end = types.dataValueRun(i, held); end > i) {
      total += held ? pickleScalarRun(ctx, types.from(i), v + i, end - i)
                    : KelvorType::pickleDataValues(ctx, v + i, end - i, 0);
      i = end - 1;
      continue;
    }
    KelvorType& t = types[i];
    lang::Object* a = v[i].get();
    const bool plain = t.kind() == TypeKind::PlainObject;
    if (a != nullptr) {
      const int32_t written = plain ? static_cast<KelvorTypeADT&>(t).pickleAttributes(ctx, a, 1)
                                    : t.pickleByKind(ctx, a);
      // Called without pickle's check, an inline object may still write nothing: refuse it.
      if (written == 0 && plain) raiseNoBytes(a);
      total += written;
    } else {
      total += plain ? ctx.writeEmbeddedNull() : ctx.writeAtomicNull();
    }
  }
  if (total > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  return static_cast<int32_t>(total);
}

bool KelvorTypeADT::writesDataValuesOnly() const noexcept {
  if (kind() != TypeKind::PlainObject) return false;
  const lang::ObjectArray* types = publishedAttributeTypes();
  if (types == nullptr) return false;
  for (int32_t i = 0; i < types->length(); ++i) {
    if (!writesDataValues(static_cast<const KelvorType*>(types->data()[i].get())->kind())) {
      return false;
    }
  }
  return true;
}

namespace {
// The attribute values an object value of n attributes holds, for a writer of its image.
const lang::ObjectArray& valuesToWrite(const lang::ObjectArray* values, lang::Object* value,
                                       int32_t n) {
  if (values == nullptr) lang::throwNullPointer("object value without attribute values");
  if (values->length() != n) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "attribute count differs from type",
                       value);
  }
  return *values;
}
}  // namespace

int64_t KelvorTypeADT::pickleDataValueBody(PickleContext& ctx, lang::Object* value) {
  const jdbc::ObjectValue& object = objectValueOf(value);
  const int32_t n = publishedAttributeTypes()->length();
  auto write = [&](const lang::ObjectArray* values) -> int64_t {
    return pickleDataValues(ctx, valuesToWrite(values, value, n).data(), n, 0);  // <= 2^31-1
  };
  // Appending straight to the buffer takes no stream lock: the values may be written under the
  // value's own lock, with no count taken on their array.
  if (ctx.appendsDirectly()) return object.readAttributes(write);
  return write(Ref<lang::ObjectArray>(object.getAttributes()).get());
}

int32_t KelvorTypeADT::pickleDataValueImage(PickleContext& ctx, lang::Object* value) {
  assert(writesDataValuesOnly());
  // pickle and pickleAttributes as they run for such a type: no inline object to refuse, no
  // first-attribute chain; the same writes and checks in the same order.
  const int32_t start = ctx.offset();
  const int32_t header = ctx.writeObjectHeader();
  const int64_t body = pickleDataValueBody(ctx, value);
  // security: an image above 2^31-1 bytes cannot carry its length
  if (body > INT32_MAX - header) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  ctx.patchLength(start + 2, header + static_cast<int32_t>(body));
  return header + static_cast<int32_t>(body);
}

int64_t KelvorTypeADT::pickleDataValueElements(PickleContext& ctx,
                                               const Ref<lang::Object>* values, int32_t count,
                                               int64_t before) {
  assert(writesDataValuesOnly() && ctx.writesNestedObjectHeader());
  const int32_t n = publishedAttributeTypes()->length();
  // One cursor over all the elements: each one's length field and image header as one append,
  // its values written under its own lock, both lengths patched at once (they count the same
  // bytes, the image).
  PickleContext::HeldRun run(ctx);
  int64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    lang::Object* value = values[i].get();
    if (value == nullptr) {
      total += run.writeAtomicNull();
      continue;
    }
    const jdbc::ObjectValue& object = objectValueOf(value);
    const int32_t at = run.offset();
    const int32_t header = run.writeNestedObjectHeader();  // 5 + 7
    const int64_t body = object.readAttributes([&](const lang::ObjectArray* held) -> int64_t {
      const Ref<lang::Object>* v = valuesToWrite(held, value, n).data();
      int64_t bytes = 0;
      for (int32_t k = 0; k < n; ++k) {
        lang::Object* e = v[k].get();
        bytes += e != nullptr ? DataValueWriter::write(run, e) : run.writeAtomicNull();
      }
      return bytes;  // n values of at most 2^31-1 bytes each: no overflow
    });
    // security: the nested image and its length field must fit one 32-bit length
    if (body > INT32_MAX - header) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
    run.patchNestedObjectLength(at, header - 5 + static_cast<int32_t>(body));
    total += header + body;
    // security: an image above 2^31-1 bytes cannot carry its length
    if (before + total > INT32_MAX) ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG);
  }
  return total;
}

Ref<lang::ByteArray> KelvorTypeADT::pickleToImage(lang::Object* value) {
  jdbc::ObjectValue& object = objectValueOf(value);
  PickleContext ctx;
  // A stream of the scope's own, its monitor held once for the whole image.
  PickleContext::ImageScope scope(ctx);
  const int32_t written = pickle(ctx, value);
  Ref<lang::ByteArray> image = scope.takeImage();
  assert(written == image->length());
  (void)written;
  object.setBytes(image);
  return image;
}

Ref<lang::ByteArray> KelvorTypeADT::toImage(lang::Object* value) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "toImage ", sqlNameKnown_ ? sqlName_ : "");
  return pickleToImage(value);
}

// --- reading object images ---

namespace {

// A new, empty object value of the type, or the caller's target.
Ref<jdbc::ObjectValue> valueFor(KelvorTypeADT& type, jdbc::SqlValue* target) {
  if (target != nullptr) {
    auto* object = jdbc::SqlValue::as<jdbc::ObjectValue>(target);
    if (object == nullptr) lang::throwClassCast(target->className(), "ObjectValue");
    return Ref<jdbc::ObjectValue>(object);
  }
  // the count the descriptor's slot hands out goes to the value
  Ref<jdbc::ObjectDescriptor> descriptor =
      lang::dynamicRef<jdbc::ObjectDescriptor>(type.getObjectDescriptor());
  if (!descriptor) {
    ErrorRaiser::raise(DriverException::ERR_INTERNAL, "object type without an object descriptor");
  }
  return jdbc::SqlValue::make<jdbc::ObjectValue>(std::move(descriptor), type.getConnection());
}

// Stores the attribute array of the style into the value.
void storeAttributes(jdbc::ObjectValue& value, Ref<lang::ObjectArray> attributes, int32_t style) {
  if (style == STYLE_SQL_VALUE) {
    value.setAttributes(std::move(attributes));
  } else {
    value.setPlatformAttributes(std::move(attributes));
  }
}

void requireElementStyle(int32_t style) {
  if (style != STYLE_SQL_VALUE && style != STYLE_PLATFORM_OBJECT) {
    ErrorRaiser::raise(DriverException::ERR_INTERNAL, "unknown result style");
  }
}

// The result of an inline read in the caller's style.
Ref<lang::Object> inStyle(Ref<jdbc::ObjectValue> value, int32_t style, const jdbc::TypeMap* map) {
  requireElementStyle(style);
  if (!value) return nullptr;
  if (style == STYLE_SQL_VALUE) return value;
  return value->toJdbc(map);
}

}  // namespace

Ref<lang::Object> KelvorTypeADT::fromImage(const lang::ByteArray* image, int64_t offset,
                                           lang::Object* target, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  std::lock_guard<lang::Monitor> hold(monitor());
  if (image == nullptr) return nullptr;
  const lang::BlockArena::Scope placeValues(  // objects share blocks
      image->length() - offset, style == STYLE_SQL_VALUE || style == STYLE_PLATFORM_OBJECT);
  // A type made by name is fetched and parsed on first use, its format flag with it.
  initIfNeeded(!parsed_);
  auto* sqlTarget = dynamic_cast<jdbc::SqlValue*>(target);
  if (target != nullptr && sqlTarget == nullptr) lang::throwClassCast(target->className(), "SqlValue");
  // The layout is told by the byte at the offset: with an offset into a larger buffer, byte 0
  // belongs to something else.
  if (offset < 0 || offset >= image->length()) lang::throwIndexOutOfBounds(offset, image->length());
  if (((*image)[static_cast<int32_t>(offset)] & 0x80) != 0) {
    PickleContext ctx(image, offset, PickleContext::Borrowed{});  // the caller's for the call
    return unpickle(ctx, sqlTarget, MODE_DECODE, style, typeMap);
  }
  Ref<lang::ByteArray> bytes(const_cast<lang::ByteArray*>(image));  // read only
  UnpickleContext ctx(bytes, static_cast<int32_t>(offset), nullptr, nullptr,
                      static_cast<int8_t>(formatFlag_ ? 1 : 0));
  return unpickleLinear(ctx, sqlTarget, MODE_DECODE, style, typeMap);
}

Ref<lang::Object> KelvorTypeADT::unpickle(PickleContext& ctx, jdbc::SqlValue* target, int32_t mode,
                                          int32_t style, const jdbc::TypeMap* typeMap) {
  Ref<jdbc::ObjectValue> value;
  const int32_t start = ctx.offset();
  if (mode == MODE_KEEP_IMAGE) {
    value = valueFor(*this, target);
    value->setImage(ctx.image(), start);
  }
  const int8_t flags = ctx.readByte();
  if (!PickleContext::isToplevelImage(flags) || PickleContext::isCollectionImage(flags) ||
      PickleContext::lacksObjectFlag(flags)) {
    ErrorRaiser::raise(DriverException::ERR_INTERNAL, "not an object image");
  }
  if (!ctx.checkVersion()) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "image version above 1");
  if (mode == MODE_SKIP) {
    const int32_t length = ctx.readLength(true);
    ctx.skipBytes(length - 2);
    return Ref<lang::Object>(target);
  }
  if (mode == MODE_KEEP_IMAGE) {
    const int32_t length = ctx.readLength();
    value->setImageLength(length);
    ctx.skipTo(int64_t{length} + value->getImageOffset());
    if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      o->field(start, length, FieldKind::KEPT_IMAGE, this, length);
    }
    return value;
  }
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    o->field(start, 1, FieldKind::IMAGE_FLAGS, this, flags & 0xFF);
    o->field(start + 1, 1, FieldKind::IMAGE_VERSION, this, (*ctx.image())[start + 1] & 0xFF);
    const int32_t length = ctx.readLength();  // the bytes skipLength steps over, with their value
    o->field(start + 2, ctx.offset() - start - 2, FieldKind::IMAGE_LENGTH, this, length);
  } else {
    ctx.skipLength();
  }
  requireElementStyle(style);
  value = valueFor(*this, target);
  AttributeTypes types(*this);
  const int32_t n = types.size();
  Ref<lang::ObjectArray> attributes = style == STYLE_SQL_VALUE
                                          ? lang::ObjectArray::makeOf<jdbc::SqlValue>(n)
                                          : lang::ObjectArray::make(n);
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    for (int32_t i = 0; i < n; ++i) {
      o->enter(ctx.offset(), this, i);
      attributes->set(i, types[i].unpickle(ctx, style, typeMap));
      o->leave(ctx.offset());
    }
  } else if (style == STYLE_SQL_VALUE) {
    for (int32_t i = 0; i < n; ++i) attributes->set(i, unpickleSqlAttribute(ctx, types[i]));
  } else {
    for (int32_t i = 0; i < n; ++i) attributes->set(i, types[i].unpickle(ctx, style, typeMap));
  }
  storeAttributes(*value, std::move(attributes), style);
  return value;
}

Ref<lang::Object> KelvorTypeADT::unpickle(PickleContext& ctx, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  const int8_t first = ctx.readByte();
  if (PickleContext::isEmbeddedNull(first)) {
    if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
      o->field(ctx.offset() - 1, 1, FieldKind::NULL_EMBEDDED, this, 0);
    }
    return inStyle(nullptr, style, typeMap);
  }
  int32_t depth = 0;
  if (PickleContext::isDepthNull(first)) depth = ctx.readByte() & 0xFF;
  return inStyle(unpickleAttributes(ctx, first, depth), style, typeMap);
}

Ref<lang::Object> KelvorTypeADT::unpickle(PickleContext& ctx, int8_t first, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  return inStyle(unpickleAttributes(ctx, first, 0), style, typeMap);
}

Ref<jdbc::ObjectValue> KelvorTypeADT::unpickleAttributes(PickleContext& ctx, int8_t first,
                                                         int32_t depth) {
  Ref<jdbc::ObjectValue> value = valueFor(*this, nullptr);
  AttributeTypes types(*this);
  const int32_t n = types.size();
  auto attributes = lang::ObjectArray::makeOf<jdbc::SqlValue>(n);
  if (n == 0) {
    // An object without attributes carries no bytes: the byte read belongs to what follows,
    // and no reader can give it back. Only a null marker can stand here.
    ErrorRaiser::raise(DriverException::ERR_INTERNAL, "inline object without attributes");
  }
  KelvorType& t0 = types[0];
  auto* chain = isPlainObjectType(&t0) ? static_cast<KelvorTypeADT*>(&t0) : nullptr;
  FieldObserver* const o = ctx.observer();
  // The first byte (and a depth byte after FC) are read: the first attribute's field began
  // there.
  if (o != nullptr) [[unlikely]] o->enter(ctx.offset() - (PickleContext::isDepthNull(first) ? 2 : 1), this, 0);
  if (PickleContext::isDepthNull(first)) {
    if (depth != 1) {
      // The marker belongs to a deeper level of the first-attribute chain.
      if (chain == nullptr || depth == 0) {
        ErrorRaiser::raise(DriverException::ERR_INTERNAL, "depth marker outside an object chain");
      }
      attributes->set(0, chain->unpickleAttributes(ctx, first, depth - 1));
    } else if (o != nullptr) [[unlikely]] {
      o->field(ctx.offset() - 2, 2, FieldKind::NULL_DEPTH, &t0, depth);
    }
  } else if (PickleContext::isAtomicNull(first)) {
    // The null belongs to the first leaf of the chain only through plain object types.
    if (chain != nullptr) {
      attributes->set(0, chain->unpickleAttributes(ctx, first, depth));
    } else if (o != nullptr) [[unlikely]] {
      o->field(ctx.offset() - 1, 1, FieldKind::NULL_FIRST_LEAF, &t0, 0);
    }
  } else if (chain != nullptr) {
    attributes->set(0, chain->unpickleAttributes(ctx, first, depth));
  } else {
    attributes->set(0, t0.unpickle(ctx, first, STYLE_SQL_VALUE, nullptr));
  }
  if (o != nullptr) [[unlikely]] o->leave(ctx.offset());
  if (o != nullptr) [[unlikely]] {
    for (int32_t i = 1; i < n; ++i) {
      o->enter(ctx.offset(), this, i);
      attributes->set(i, types[i].unpickle(ctx, STYLE_SQL_VALUE, nullptr));
      o->leave(ctx.offset());
    }
  } else {
    for (int32_t i = 1; i < n; ++i) attributes->set(i, unpickleSqlAttribute(ctx, types[i]));
  }
  value->setAttributes(std::move(attributes));
  return value;
}

Ref<lang::Object> KelvorTypeADT::unpickleLinear(UnpickleContext& ctx, jdbc::SqlValue* target,
                                                int32_t mode, int32_t style,
                                                const jdbc::TypeMap* typeMap) {
  Ref<jdbc::ObjectValue> value;
  if (mode == MODE_KEEP_IMAGE) {
    value = valueFor(*this, target);
    value->setImage(ctx.image(), ctx.offset());
  }
  const int32_t start = ctx.offset();
  const int64_t length = ctx.readImageLength();
  FieldObserver* const o = ctx.observer();
  if (o != nullptr && mode != MODE_KEEP_IMAGE) [[unlikely]] {
    o->field(start, 4, FieldKind::LINEAR_LENGTH, this, length);
  }
  if (length == 0) return nullptr;
  if (mode == MODE_SKIP) {
    ctx.skipBytes(static_cast<int32_t>(length));
    return Ref<lang::Object>(target);
  }
  if (mode == MODE_KEEP_IMAGE) {
    value->setImageLength(length + 4);
    ctx.skipBytes(static_cast<int32_t>(length));
    if (o != nullptr) [[unlikely]] o->field(start, static_cast<int32_t>(length + 4), FieldKind::KEPT_IMAGE, this, length + 4);
    return value;
  }
  ctx.skipBytes(1);
  (void)ctx.readByte();
  if (o != nullptr) [[unlikely]] o->field(start + 4, 2, FieldKind::UNUSED_BYTES, this, 2);
  Ref<lang::BooleanArray> nulls = readNullIndicators(ctx);
  const int64_t dataLength = ctx.readUB4();
  if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 4, 4, FieldKind::DATA_LENGTH, this, dataLength);
  const int64_t end = ctx.relativeOffset() + dataLength;
  Ref<lang::Object> result;
  try {
    if (o != nullptr && nulls->at(0)) [[unlikely]] o->field(ctx.offset(), 0, FieldKind::NULL_INDICATOR, this, 0);
    if (!nulls->at(0)) {
      auto indicators = lang::ByteArray::make(nulls->length());
      for (int32_t i = 0; i < nulls->length(); ++i) (*indicators)[i] = (*nulls)[i] ? 1 : 0;
      // The offsets first: fetching them may load the type's information, and the format
      // flag with it, which an argument list could read before or after.
      Ref<lang::LongArray> offsets = getAttributeOffsets();
      UnpickleContext body(ctx.image(), ctx.offset(), indicators, std::move(offsets),
                           static_cast<int8_t>(formatFlag_ ? 1 : 0));
      body.setObserver(o);
      result = unpickleLinearBody(body, target, style, typeMap);
    }
  } catch (...) {
    ctx.skipToRelative(end);
    throw;
  }
  ctx.skipToRelative(end);
  return result;
}

Ref<lang::Object> KelvorTypeADT::unpickleLinearBody(UnpickleContext& ctx, jdbc::SqlValue* target,
                                                    int32_t style, const jdbc::TypeMap* typeMap) {
  FieldObserver* const o = ctx.observer();
  if (ctx.isNull(nullIndex_) != 0) {
    if (o != nullptr) [[unlikely]] o->field(ctx.slotPosition(offsetIndex_), 0, FieldKind::NULL_INDICATOR, this, nullIndex_);
    return nullptr;
  }
  requireElementStyle(style);
  AttributeTypes types(*this);
  const int32_t n = types.size();
  // An object without attributes has no slot of its own to go to.
  if (n > 0) ctx.skipToRelative(ctx.attributeOffset(offsetIndex_));
  Ref<jdbc::ObjectValue> value = valueFor(*this, target);
  Ref<lang::ObjectArray> attributes = style == STYLE_SQL_VALUE
                                          ? lang::ObjectArray::makeOf<jdbc::SqlValue>(n)
                                          : lang::ObjectArray::make(n);
  for (int32_t i = 0; i < n; ++i) {
    if (o != nullptr) [[unlikely]] o->enter(ctx.offset(), this, i);
    attributes->set(i, types[i].unpickle(ctx, 1, style, typeMap));
    if (o != nullptr) [[unlikely]] o->leave(ctx.offset());
  }
  storeAttributes(*value, std::move(attributes), style);
  return value;
}

Ref<lang::Object> KelvorTypeADT::unpickle(UnpickleContext& ctx, int32_t /*format*/, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  Ref<lang::Object> body = unpickleLinearBody(ctx, nullptr, STYLE_SQL_VALUE, typeMap);
  return inStyle(lang::dynamicRef<jdbc::ObjectValue>(body), style, typeMap);
}

Ref<lang::BooleanArray> KelvorTypeADT::readNullIndicators(UnpickleContext& ctx) {
  ctx.skipBytes(4);
  const int32_t countAt = ctx.offset();
  Ref<lang::ByteArray> b = ctx.readUB4Bytes();
  if (FieldObserver* o = ctx.observer(); o != nullptr) [[unlikely]] {
    o->field(countAt - 4, 4, FieldKind::STEPPED_OVER, this, 4);
    o->field(countAt, 4, FieldKind::INDICATOR_LENGTH, this, b->length());
    if (b->length() >= 2) {
      o->field(countAt + 4, 2, FieldKind::INDICATORS_LEAD, this, 2);
      o->field(countAt + 6, b->length() - 2, FieldKind::INDICATORS, this, 4 * int64_t{b->length()} - 8);
    }
  }
  // two unused bytes, then four indicators per byte
  if (b->length() < 2) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "null indicators too short");
  const int64_t count = 4 * int64_t{b->length()} - 8;
  auto nulls = lang::BooleanArray::make(count);
  for (int32_t i = 0; i < nulls->length(); ++i) {
    (*nulls)[i] = (((*b)[2 + i / 4] >> (2 * (i % 4))) & 3) != 0;
  }
  return nulls;
}

// --- linear layout ---
//
// layout description := ub4(unused) ub4(image size) ub4(offset){layoutOffsetCount}
// Local layout: attributes in order at offsets aligned up to their alignment; an inline object
// contributes its own leaf offsets shifted by its start; the size is aligned to the largest
// alignment at the end.

std::vector<int64_t> KelvorTypeADT::computeLayout() {
  Ref<lang::ObjectArray> types = getAttributeTypes();
  if (!types) lang::throwNullPointer("object type not parsed");
  std::vector<int64_t> offsets;
  int64_t e = 0;
  int32_t m = 0;
  auto alignUp = [](int64_t value, int32_t mask) {
    if ((value & mask) == 0) return value;
    const int32_t s = Util::ALIGNMENT_SHIFTS.at(static_cast<size_t>(mask)) & 0x1F;
    return ((value >> s) + 1) << s;
  };
  for (int32_t i = 0; i < types->length(); ++i) {
    auto* t = static_cast<KelvorType*>(types->at(i));
    int64_t size = 0;
    int32_t alignment = 0;
    std::vector<int64_t> inner;
    const bool plain = isPlainObjectType(t);
    if (plain) {
      auto* object = static_cast<KelvorTypeADT*>(t);
      inner = object->computeLayout();
      size = object->linearImageSize_.load(std::memory_order_relaxed);
      alignment = object->maxAlignment_.load(std::memory_order_relaxed);
    } else {
      size = t->getNativeSize(formatDescriptor_.get());
      alignment = t->getNativeAlignment(formatDescriptor_.get());
    }
    e = alignUp(e, alignment);
    if (plain) {
      for (const int64_t o : inner) offsets.push_back(o + e);
    } else {
      offsets.push_back(e);
    }
    e += size;
    m = std::max(m, alignment);
  }
  e = alignUp(e, m);
  maxAlignment_.store(m, std::memory_order_relaxed);
  linearImageSize_.store(e, std::memory_order_relaxed);
  return offsets;
}

void KelvorTypeADT::computeAttributeOffsets() {
  const std::vector<int64_t> offsets = computeLayout();
  attributeOffsets_ = lang::LongArray::copyOf(offsets.data(), static_cast<int32_t>(offsets.size()));
}

void KelvorTypeADT::readLayout(lang::InputStream& in) {
  (void)Util::readUB4(in);
  linearImageSize_.store(Util::readUB4(in), std::memory_order_relaxed);
  // security: the count comes from the type's segment; the description must hold it
  if (layoutOffsetCount_ < 0 || layoutOffsetCount_ > in.available() / 4) {
    ErrorRaiser::raise(DriverException::ERR_TYPE_INFO, "layout description shorter than its count");
  }
  auto offsets = lang::LongArray::make(layoutOffsetCount_);
  for (int32_t i = 0; i < layoutOffsetCount_; ++i) (*offsets)[i] = Util::readUB4(in);
  attributeOffsets_ = std::move(offsets);
}

// --- serial form ---
// embeddedState typeVersion layoutImage attributeOffsets linearImageSize maxAlignment
// attributeTypes attributeNames attributeTypeNames typeProperty typeId formatDescriptor
// auxCount1 auxCount2 formatFlag layoutOffsetCount

void KelvorTypeADT::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeInt(embeddedState_);
  out.writeInt(typeVersion_);
  out.writeObject(layoutImage_);
  out.writeObject(attributeOffsets_);
  out.writeLong(linearImageSize_.load(std::memory_order_relaxed));
  out.writeInt(maxAlignment_.load(std::memory_order_relaxed));
  out.writeObject(attributeTypes_);
  out.writeObject(attributeNames_);
  out.writeObject(attributeTypeNames_);
  out.writeLong(typeProperty_);
  out.writeObject(typeId_);
  out.writeObject(formatDescriptor_);
  out.writeInt(auxCount1_);
  out.writeInt(auxCount2_);
  out.writeBoolean(formatFlag_);
  out.writeInt(layoutOffsetCount_);
}

namespace {

// The next object of the stream as a T, or null; another class means a corrupt stream.
template <typename T>
Ref<T> readAs(lang::ObjectInputStream& in) {
  Ref<lang::Object> o = in.readObject();
  if (!o) return nullptr;
  auto* t = dynamic_cast<T*>(o.get());
  if (t == nullptr) throw lang::StreamCorruptedException("unexpected object class in type");
  return Ref<T>(t);
}

// An object array whose every element is a T (or null).
Ref<lang::ObjectArray> readArrayOf(lang::ObjectInputStream& in, bool (*isElement)(lang::Object*)) {
  Ref<lang::ObjectArray> a = readAs<lang::ObjectArray>(in);
  if (!a) return nullptr;
  for (int32_t i = 0; i < a->length(); ++i) {
    if (!isElement(a->at(i))) throw lang::StreamCorruptedException("unexpected element in type");
  }
  return a;
}

}  // namespace

void KelvorTypeADT::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  embeddedState_ = in.readInt();
  typeVersion_ = in.readInt();
  layoutImage_ = readAs<lang::ByteArray>(in);
  attributeOffsets_ = readAs<lang::LongArray>(in);
  linearImageSize_.store(in.readLong(), std::memory_order_relaxed);
  maxAlignment_.store(in.readInt(), std::memory_order_relaxed);
  Ref<lang::ObjectArray> types = readArrayOf(
      in, [](lang::Object* o) { return o != nullptr && dynamic_cast<KelvorType*>(o) != nullptr; });
  if (types) {
    refuseCycle(in, types.get());
    for (int32_t i = 0; i < types->length(); ++i) refuseCycle(in, types->at(i));
    auto parsedTypes = lang::ObjectArray::makeOf<KelvorType>(types->length());
    for (int32_t i = 0; i < types->length(); ++i) parsedTypes->set(i, types->data()[i]);
    // The form holds the list once parsed, null before.
    markParsed(std::move(parsedTypes));
  } else {
    attributeTypes_ = nullptr;
    parsed_ = false;
  }
  auto isString = [](lang::Object* o) { return o == nullptr || dynamic_cast<lang::String*>(o) != nullptr; };
  attributeNames_ = readArrayOf(in, isString);
  attributeTypeNames_ = readArrayOf(in, isString);
  typeProperty_ = in.readLong();
  typeId_ = readAs<lang::ByteArray>(in);
  formatDescriptor_ = readAs<lang::ByteArray>(in);
  auxCount1_ = in.readInt();
  auxCount2_ = in.readInt();
  formatFlag_ = in.readBoolean();
  layoutOffsetCount_ = in.readInt();
  typeInfoLoaded_ = true;
}

void KelvorTypeADT::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeADT&>(self).writeSerialForm(out);
}

void KelvorTypeADT::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeADT&>(self).readSerialForm(in);
}

}  // namespace kelvor::jdbc::kelcore
