// Binding of KelvorTypeNUMBER: its methods in method-table order.
#include "scalar/KelvorTypeNUMBER.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeNUMBER()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeNUMBER>(); })
KELCORE_METHOD(1, "KelvorTypeNUMBER(int)", Ctor, "RP", 'V', NONE,
               [](int32_t typeCode) { return makeRef<KelvorTypeNUMBER>(typeCode); })
KELCORE_METHOD(2, "primitiveArrayToNumberValues(Object,conn,long,int)", Static, "RRPPP", 'L', NONE,
               [](Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return KelvorTypeNUMBER::primitiveArrayToNumberValues(values, conn, begin, count);
               })
KELCORE_METHOD(3, "getNativeAlignment(byte[])", Instance, "RR", 'I', 5,
               [](KelvorTypeNUMBER& self, const ByteArray* fd) { return self.getNativeAlignment(fd); })
KELCORE_METHOD(4, "getPrecision()", Instance, "R", 'I', 22,
               [](KelvorTypeNUMBER& self) { return self.getPrecision(); })
KELCORE_METHOD(5, "getScale()", Instance, "R", 'I', 23,
               [](KelvorTypeNUMBER& self) { return self.getScale(); })
KELCORE_METHOD(6, "getNativeSize(byte[])", Instance, "RR", 'I', 7,
               [](KelvorTypeNUMBER& self, const ByteArray* fd) { return self.getNativeSize(fd); })
KELCORE_METHOD(7, "unpickleNumber(int,int,UC,int,int,map)", Static, "PPRPPR", 'L', NONE,
               [](int32_t offsetIndex, int32_t nullIndex, UnpickleContext& ctx, int32_t format, int32_t style,
                  const TypeMap* map) {
                 return KelvorTypeNUMBER::unpickleNumber(offsetIndex, nullIndex, ctx, format, style, map);
               })
KELCORE_METHOD(8, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeNUMBER& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(9, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeNUMBER& self, ObjectInputStream& in) { readSerialForm<KelvorTypeNUMBER>(self, in); })
KELCORE_METHOD(10, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeNUMBER& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(11, "toSqlValueArray(value,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeNUMBER& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(12, "toNumberValue(value,conn)", Static, "RR", 'L', NONE,
               [](Object* value, Connection* conn) { return KelvorTypeNUMBER::toNumberValue(value, conn); })
KELCORE_METHOD(13, "toNumberValueArray(value,conn,long,int)", Static, "RRPPP", 'L', NONE,
               [](Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return KelvorTypeNUMBER::toNumberValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(14, "numberBytesToObject(byte[],int,map)", Static, "RPR", 'L', NONE,
               [](Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return KelvorTypeNUMBER::numberBytesToObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(15, "toObject(bytes,style,map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeNUMBER& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(16, "unpickleFixedNumberArray(UC,long,int,int)", Static, "RPPPP", 'L', NONE,
               [](UnpickleContext& ctx, int64_t begin, int32_t count, int32_t accessKind) {
                 return KelvorTypeNUMBER::unpickleFixedNumberArray(ctx, begin, count, accessKind);
               })
KELCORE_METHOD(17, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeNUMBER& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(18, "unpickleNumberArray(PC,long,int,int)", Static, "RPPPP", 'L', NONE,
               [](PickleContext& ctx, int64_t begin, int32_t count, int32_t accessKind) {
                 return KelvorTypeNUMBER::unpickleNumberArray(ctx, begin, count, accessKind);
               })
KELCORE_METHOD(19, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeNUMBER& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeNUMBER>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeNUMBER, 20, 191, "7f9171219c2130a5557792ab22eb7c4f")
