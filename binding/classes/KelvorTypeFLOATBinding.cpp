// Binding of KelvorTypeFLOAT: its methods in method-table order.
#include "scalar/KelvorTypeFLOAT.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeFLOAT()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeFLOAT>(); })
KELCORE_METHOD(1, "getNativeAlignment(byte[])", Instance, "RR", 'I', 5,
               [](KelvorTypeFLOAT& self, const ByteArray* fd) { return self.getNativeAlignment(fd); })
KELCORE_METHOD(2, "getNativeSize(byte[])", Instance, "RR", 'I', 7,
               [](KelvorTypeFLOAT& self, const ByteArray* fd) { return self.getNativeSize(fd); })
KELCORE_METHOD(3, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeFLOAT& self) { return self.getTypeCode(); })
KELCORE_METHOD(4, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeFLOAT& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(5, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeFLOAT& self, ObjectInputStream& in) { readSerialForm<KelvorTypeFLOAT>(self, in); })
KELCORE_METHOD(6, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeFLOAT& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(7, "toSqlValueArray(value,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeFLOAT& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(8, "toObject(byte[],int,map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeFLOAT& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(9, "unpickleFixedNumberArray(UC,long,int,int)", Static, "RPPPP", 'L', NONE,
               [](UnpickleContext& ctx, int64_t begin, int32_t count, int32_t accessKind) {
                 return KelvorTypeFLOAT::unpickleFixedNumberArray(ctx, begin, count, accessKind);
               })
KELCORE_METHOD(10, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeFLOAT& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(11, "unpickleNumberArray(PC,long,int,int)", Static, "RPPPP", 'L', NONE,
               [](PickleContext& ctx, int64_t begin, int32_t count, int32_t accessKind) {
                 return KelvorTypeFLOAT::unpickleNumberArray(ctx, begin, count, accessKind);
               })
KELCORE_METHOD(12, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeFLOAT& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeFLOAT>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeFLOAT, 13, 50, "ea098d81bf5486e961d42432dbcf7b71")
