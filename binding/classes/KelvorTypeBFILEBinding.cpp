// Binding of KelvorTypeBFILE: its methods in method-table order.
#include "scalar/KelvorTypeBFILE.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeBFILE::DEBUG_TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeBFILE()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeBFILE>(); })
KELCORE_METHOD(2, "KelvorTypeBFILE(Connection)", Ctor, "RR", 'V', NONE,
               [](Connection* conn) { return makeRef<KelvorTypeBFILE>(conn); })
KELCORE_METHOD(3, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeBFILE& self) { return self.getTypeCode(); })
KELCORE_METHOD(4, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeBFILE& self, ObjectInputStream& in) { readSerialForm<KelvorTypeBFILE>(self, in); })
KELCORE_METHOD(5, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeBFILE& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(6, "toSqlValue(Object,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeBFILE& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(7, "toObject(byte[],int,Map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeBFILE& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(8, "unpickle(UC,int,int,Map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeBFILE& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(9, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeBFILE& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeBFILE>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeBFILE, 10, 66, "20c8d113e536fedc70900f7618e13a76")
