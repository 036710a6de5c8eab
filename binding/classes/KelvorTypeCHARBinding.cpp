// Binding of KelvorTypeCHAR: its methods in method-table order.
#include "scalar/KelvorTypeCHAR.h"

#include "adt/StreamInfo.h"
#include "driver/CharValue.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit> (inferred)", Clinit, "", 'V', NONE,
               [] { KelvorTypeCHAR::DEBUG_TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeCHAR()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeCHAR>(); })
KELCORE_METHOD(2, "KelvorTypeCHAR(Connection)", Ctor, "RR", 'V', NONE,
               [](Connection* conn) { return makeRef<KelvorTypeCHAR>(conn); })
KELCORE_METHOD(3, "KelvorTypeCHAR(Connection,int)", Ctor, "RRP", 'V', NONE,
               [](Connection* conn, int32_t typeCode) { return makeRef<KelvorTypeCHAR>(conn, typeCode); })
KELCORE_METHOD(4, "primitiveArrayToCharValues(Object,Connection,long,int)", Instance, "RRRPPP", 'L', 22,
               [](KelvorTypeCHAR& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.primitiveArrayToCharValues(values, conn, begin, count);
               })
KELCORE_METHOD(5, "convertToConnectionCharset(CharValue)", Instance, "RR", 'L', 23,
               [](KelvorTypeCHAR& self, kelvor::jdbc::CharValue* value) {
                 return self.convertToConnectionCharset(value);
               })
KELCORE_METHOD(6, "getMaxLength()", Instance, "R", 'I', 24,
               [](KelvorTypeCHAR& self) { return self.getMaxLength(); })
KELCORE_METHOD(7, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeCHAR& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(8, "pickle(PC,SqlValue)", Instance, "RRR", 'I', 10,
               [](KelvorTypeCHAR& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(9, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCHAR& self, ObjectInputStream& in) { readSerialForm<KelvorTypeCHAR>(self, in); })
KELCORE_METHOD(10, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeCHAR& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(11, "toSqlValue(Object,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeCHAR& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(12, "toSqlValueArray(Object,Connection,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeCHAR& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(13, "toObject(byte[],int,Map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeCHAR& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(14, "unpickle(UC,int,int,Map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeCHAR& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(15, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCHAR& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeCHAR>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeCHAR, 16, 203, "7bb3dffc06942078176f836e7ef7bfb4")
