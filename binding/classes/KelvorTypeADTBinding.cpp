// Binding of KelvorTypeADT: its methods in method-table order.
#include "adt/KelvorTypeADT.h"

#include <vector>

#include "adt/StreamInfo.h"
#include "binding/PrivateAccess.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeADT()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeADT>(); })
KELCORE_METHOD(1, "KelvorTypeADT(String)", Ctor, "RR", 'V', NONE,
               [](const std::string& sqlName) { return makeRef<KelvorTypeADT>(sqlName); })
KELCORE_METHOD(2, "KelvorTypeADT(String,Connection)", Ctor, "RRR", 'V', NONE,
               [](const std::string& sqlName, Connection* conn) { return makeRef<KelvorTypeADT>(sqlName, conn); })
KELCORE_METHOD(3, "KelvorTypeADT(String,Connection,byte[])", Ctor, "RRRR", 'V', NONE,
               [](const std::string& sqlName, Connection* conn, Ref<ByteArray> fd) {
                 return makeRef<KelvorTypeADT>(sqlName, conn, std::move(fd));
               })
KELCORE_METHOD(4, "KelvorTypeADT(KelvorType,int,Connection)", Ctor, "RRPR", 'V', NONE,
               [](KelvorTypeADT* parent, int32_t index, Connection* conn) {
                 return makeRef<KelvorTypeADT>(parent, index, conn);
               })
KELCORE_METHOD(5, "KelvorTypeADT(KelvorType,int,Connection,byte[])", Ctor, "RRPRR", 'V', NONE,
               [](KelvorTypeADT* parent, int32_t index, Connection* conn, Ref<ByteArray> fd) {
                 return makeRef<KelvorTypeADT>(parent, index, conn, std::move(fd));
               })
KELCORE_METHOD(6, "KelvorTypeADT(byte[],int,int,int,String)", Ctor, "RRPPPR", 'V', NONE,
               [](Ref<ByteArray> typeId, int32_t version, int32_t aux1, int32_t aux2, const std::string& sqlName) {
                 return makeRef<KelvorTypeADT>(std::move(typeId), version, aux1, aux2, sqlName);
               })
KELCORE_METHOD(7, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeADT& self) { return self.getTypeCode(); })
KELCORE_METHOD(8, "init(Connection)", Instance, "RR", 'V', 37,
               [](KelvorTypeADT& self, Connection* conn) { self.init(conn); })
KELCORE_METHOD(9, "parseTDS(byte[],long)", Instance, "RRPP", 'V', 38,
               [](KelvorTypeADT& self, Ref<ByteArray> tds, int64_t offset) { self.parseTDS(std::move(tds), offset); })
KELCORE_METHOD(10, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeADT& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(11, "parseAttribute(StreamInfo)", Instance, "RR", 'L', 39,
               [](KelvorTypeADT& self, StreamInfo& reader) { return self.parseAttribute(reader); })
KELCORE_METHOD(12, "getAttributeTypes()", Instance, "R", 'L', 40,
               [](KelvorTypeADT& self) { return self.getAttributeTypes(); })
KELCORE_METHOD(13, "getAttributeType(int)", Instance, "RP", 'L', 41,
               [](KelvorTypeADT& self, int32_t i) { return self.getAttributeType(i); })
KELCORE_METHOD(14, "getNumAttributes()", Instance, "R", 'I', 42,
               [](KelvorTypeADT& self) { return self.getNumAttributes(); })
KELCORE_METHOD(15, "getAttributeName(int)", Instance, "RP", 'L', 43,
               [](KelvorTypeADT& self, int32_t i) { return self.getAttributeName(i); })
KELCORE_METHOD(16, "getAttributeName(int,boolean)", Instance, "RPP", 'L', 44,
               [](KelvorTypeADT& self, int32_t i, bool fetch) { return self.getAttributeName(i, fetch); })
KELCORE_METHOD(17, "getAttributeTypeName(int)", Instance, "RP", 'L', 45,
               [](KelvorTypeADT& self, int32_t i) { return self.getAttributeTypeName(i); })
KELCORE_METHOD(18, "getAttributeTypeName(int,boolean)", Instance, "RPP", 'L', 46,
               [](KelvorTypeADT& self, int32_t i, bool fetch) { return self.getAttributeTypeName(i, fetch); })
KELCORE_METHOD(19, "initNames()", Instance, "R", 'V', 47,
               [](KelvorTypeADT& self) { self.initNames(); })
KELCORE_METHOD(20, "fetchTypeInfo(Connection)", Instance, "RR", 'V', 48,
               [](KelvorTypeADT& self, Connection* conn) { self.fetchTypeInfo(conn); })
KELCORE_METHOD(21, "copyType(from,to)", Static, "RR", 'V', NONE,
               [](KelvorTypeADT& from, KelvorTypeADT& to) { KelvorTypeADT::copyType(from, to); })
KELCORE_METHOD(22, "copyOf(from)", Static, "R", 'L', NONE,
               [](KelvorTypeADT& from) { return KelvorTypeADT::copyOf(from); })
KELCORE_METHOD(23, "getTypeVersion()", Instance, "R", 'I', 49,
               [](KelvorTypeADT& self) { return self.getTypeVersion(); })
KELCORE_METHOD(24, "getTypeId()", Instance, "R", 'L', 50,
               [](KelvorTypeADT& self) { return self.getTypeId(); })
KELCORE_METHOD(25, "getTypeProperty()", Instance, "R", 'J', 51,
               [](KelvorTypeADT& self) { return self.getTypeProperty(); })
KELCORE_METHOD(26, "getAttributeOffsets()", Instance, "R", 'L', 52,
               [](KelvorTypeADT& self) { return self.getAttributeOffsets(); })
KELCORE_METHOD(27, "getLinearImageSize()", Instance, "R", 'J', 53,
               [](KelvorTypeADT& self) { return self.getLinearImageSize(); })
KELCORE_METHOD(28, "getMaxAlignment()", Instance, "R", 'I', 54,
               [](KelvorTypeADT& self) { return self.getMaxAlignment(); })
KELCORE_METHOD(29, "getAuxCount1()", Instance, "R", 'I', 55,
               [](KelvorTypeADT& self) { return self.getAuxCount1(); })
KELCORE_METHOD(30, "getAuxCount2()", Instance, "R", 'I', 56,
               [](KelvorTypeADT& self) { return self.getAuxCount2(); })
KELCORE_METHOD(31, "getLinearImageSizeQuietly()", Instance, "R", 'J', 57,
               [](KelvorTypeADT& self) { return self.getLinearImageSizeQuietly(); })
KELCORE_METHOD(32, "getAttributeOffsetsQuietly()", Instance, "R", 'L', 58,
               [](KelvorTypeADT& self) { return self.getAttributeOffsetsQuietly(); })
KELCORE_METHOD(33, "setTypeProperty(long)", Instance, "RPP", 'V', 59,
               [](KelvorTypeADT& self, int64_t property) { self.setTypeProperty(property); })
KELCORE_METHOD(34, "isEmbedded()", Instance, "R", 'I', 60,
               [](KelvorTypeADT& self) { return self.isEmbedded(); })
KELCORE_METHOD(35, "isTopLevel()", Instance, "R", 'I', 61,
               [](KelvorTypeADT& self) { return self.isTopLevel(); })
KELCORE_METHOD(36, "markEmbedded(int)", Instance, "RP", 'V', 62,
               [](KelvorTypeADT& self, int32_t ignored) { self.markEmbedded(ignored); })
KELCORE_METHOD(37, "setEmbeddedState(int)", Instance, "RP", 'V', 63,
               [](KelvorTypeADT& self, int32_t state) { self.setEmbeddedState(state); })
KELCORE_METHOD(38, "toSqlValue(Object,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeADT& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(39, "toSqlValueArray(Object,Connection,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeADT& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(40, "getObjectDescriptor()", Instance, "R", 'L', 64,
               [](KelvorTypeADT& self) { return self.getObjectDescriptor(); })
KELCORE_METHOD(41, "toImage(Object)", Instance, "RR", 'L', 31,
               [](KelvorTypeADT& self, Object* value) { return self.toImage(value); })
KELCORE_METHOD(42, "fromImage(byte[],long,Object,int,Map)", Instance, "RRPPRPR", 'L', 35,
               [](KelvorTypeADT& self, const ByteArray* image, int64_t offset, Object* target, int32_t style,
                  const TypeMap* map) { return self.fromImage(image, offset, target, style, map); })
KELCORE_METHOD(43, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeADT& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(44, "copyFrom(KelvorTypeADT)", Instance, "RR", 'V', 65,
               [](KelvorTypeADT& self, KelvorTypeADT& other) { self.copyFrom(other); })
KELCORE_METHOD(45, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeADT& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeADT>(self, out); })
KELCORE_METHOD(46, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeADT& self, ObjectInputStream& in) { readSerialForm<KelvorTypeADT>(self, in); })
KELCORE_METHOD(47, "applyPatches(StreamInfo)", Instance, "RR", 'V', 66,
               [](KelvorTypeADT& self, StreamInfo& reader) { self.applyPatches(reader); })
KELCORE_METHOD(48, "getEffectiveType()", Instance, "R", 'L', 67,
               [](KelvorTypeADT& self) { return self.getEffectiveType(); })
KELCORE_METHOD(49, "pickle(PickleContext,SqlValue)", Instance, "RRR", 'I', 10,
               [](KelvorTypeADT& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(50, "pickleAttributes(PickleContext,SqlValue,int)", Instance, "RRRP", 'I', 68,
               [](KelvorTypeADT& self, PickleContext& ctx, Object* value, int32_t depth) {
                 return self.pickleAttributes(ctx, value, depth);
               })
KELCORE_METHOD(51, "pickleToImage(SqlValue)", Instance, "RR", 'L', 69,
               [](KelvorTypeADT& self, Object* value) { return self.pickleToImage(value); })
KELCORE_METHOD(52, "unpickle(PickleContext,SqlValue,int,int,Map)", Instance, "RRRPPR", 'L', 70,
               [](KelvorTypeADT& self, PickleContext& ctx, SqlValue* target, int32_t mode, int32_t style,
                  const TypeMap* map) { return self.unpickle(ctx, target, mode, style, map); })
KELCORE_METHOD(53, "unpickle(PickleContext,int,Map)", Instance, "RRPR", 'L', 20,
               [](KelvorTypeADT& self, PickleContext& ctx, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, style, map);
               })
KELCORE_METHOD(54, "unpickle(PickleContext,byte,int,Map)", Instance, "RRPPR", 'L', 19,
               [](KelvorTypeADT& self, PickleContext& ctx, int8_t first, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, first, style, map);
               })
KELCORE_METHOD(55, "unpickleAttributes(PickleContext,byte,int)", Instance, "RRPP", 'L', 71,
               [](KelvorTypeADT& self, PickleContext& ctx, int8_t first, int32_t depth) {
                 return self.unpickleAttributes(ctx, first, depth);
               })
KELCORE_METHOD(56, "unpickleLinear(UnpickleContext,SqlValue,int,int,Map)", Instance, "RRRPPR", 'L', 72,
               [](KelvorTypeADT& self, UnpickleContext& ctx, SqlValue* target, int32_t mode, int32_t style,
                  const TypeMap* map) { return self.unpickleLinear(ctx, target, mode, style, map); })
KELCORE_METHOD(57, "unpickleLinearBody(UnpickleContext,SqlValue,int,Map)", Instance, "RRRPR", 'L', 73,
               [](KelvorTypeADT& self, UnpickleContext& ctx, SqlValue* target, int32_t style, const TypeMap* map) {
                 return self.unpickleLinearBody(ctx, target, style, map);
               })
KELCORE_METHOD(58, "unpickle(UnpickleContext,int,int,Map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeADT& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(59, "readNullIndicators(UnpickleContext)", Instance, "RR", 'L', 74,
               [](KelvorTypeADT& self, UnpickleContext& ctx) { return self.readNullIndicators(ctx); })
KELCORE_METHOD(60, "computeAttributeOffsets()", Instance, "R", 'V', 75,
               [](KelvorTypeADT& self) { self.computeAttributeOffsets(); })
KELCORE_METHOD(61, "computeLayout()", Instance, "R", 'L', 76,
               [](KelvorTypeADT& self) {
                 const std::vector<int64_t> layout = self.computeLayout();
                 return LongArray::copyOf(layout.data(), static_cast<int32_t>(layout.size()));
               })
KELCORE_METHOD(62, "readLayout(InputStream)", Instance, "RR", 'V', 77,
               [](KelvorTypeADT& self, InputStream& in) { self.readLayout(in); })
KELCORE_METHOD(63, "initIfNeeded(boolean)", Instance, "RP", 'V', NONE,
               [](KelvorTypeADT& self, bool missing) { kelvor::binding::ADTAccess::callInitIfNeeded(self, missing); })
KELCORE_METHOD(64, "isPlainObjectType(KelvorType)", Static, "R", 'I', NONE,
               [](KelvorType* type) { return KelvorTypeADT::isPlainObjectType(type); })
KELCORE_METHOD(65, "dropDescriptorLinks()", Instance, "R", 'V', 78,
               [](KelvorTypeADT& self) { self.dropDescriptorLinks(); })
KELCORE_METHOD(66, "getEmbeddedState()", Instance, "R", 'I', 79,
               [](KelvorTypeADT& self) { return self.getEmbeddedState(); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeADT, 67, 787, "b0e93c05ddb58150e8b84435034a0441")
