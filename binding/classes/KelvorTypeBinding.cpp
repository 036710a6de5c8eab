// Binding of KelvorType: its methods in method-table order.
#include "types/KelvorType.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorType()", Ctor, "R", 'V', NONE,
               [] { return abstractClass<KelvorType>(); })
KELCORE_METHOD(1, "KelvorType(int)", Ctor, "RP", 'V', NONE,
               [](int32_t) { return abstractClass<KelvorType>(); })
KELCORE_METHOD(2, "getNativeAlignment(byte[])", Instance, "RR", 'I', 5,
               [](KelvorType& self, const ByteArray* fd) { return self.getNativeAlignment(fd); })
KELCORE_METHOD(3, "getAuxCode()", Instance, "R", 'I', 6,
               [](KelvorType& self) { return self.getAuxCode(); })
KELCORE_METHOD(4, "getNativeSize(byte[])", Instance, "RR", 'I', 7,
               [](KelvorType& self, const ByteArray* fd) { return self.getNativeSize(fd); })
KELCORE_METHOD(5, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorType& self) { return self.getTypeCode(); })
KELCORE_METHOD(6, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorType& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(7, "pickle(PickleContext,Object)", Instance, "RRR", 'I', 10,
               [](KelvorType& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(8, "readFields(in)", Instance, "RR", 'V', 11,
               [](KelvorType& self, ObjectInputStream& in) { self.readFields(in); })
KELCORE_METHOD(9, "setConnection(conn)", Instance, "RR", 'V', 12,
               [](KelvorType& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(10, "setAuxCode(int)", Instance, "RP", 'V', 13,
               [](KelvorType& self, int32_t code) { self.setAuxCode(code); })
KELCORE_METHOD(11, "setTypeCode(int)", Instance, "RP", 'V', 14,
               [](KelvorType& self, int32_t code) { self.setTypeCode(code); })
KELCORE_METHOD(12, "toSqlValue(Object,conn)", Abstract, "RRR", 'L', 15,
               [](KelvorType& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(13, "toSqlValueArray(Object,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorType& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(14, "toObject(byte[],int,typeMap)", Instance, "RRPR", 'L', 17,
               [](KelvorType& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(15, "unpickle(UnpickleContext,int,int,typeMap)", Abstract, "RRPPR", 'L', 18,
               [](KelvorType& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(16, "unpickle(PickleContext,byte,int,typeMap)", Instance, "RRPPR", 'L', 19,
               [](KelvorType& self, PickleContext& ctx, int8_t first, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, first, style, map);
               })
KELCORE_METHOD(17, "unpickle(PickleContext,int,typeMap)", Instance, "RRPR", 'L', 20,
               [](KelvorType& self, PickleContext& ctx, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, style, map);
               })
KELCORE_METHOD(18, "writeFields(out)", Instance, "RR", 'V', 21,
               [](KelvorType& self, ObjectOutputStream& out) { self.writeFields(out); })
KELCORE_METHOD(19, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorType& self, ObjectInputStream& in) { readSerialForm<KelvorType>(self, in); })
KELCORE_METHOD(20, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorType& self, ObjectOutputStream& out) { writeSerialForm<KelvorType>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorType, 21, 89, "50214b35de36ed6de597abf5fba6d3af")
