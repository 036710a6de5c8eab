// Binding of KelvorTypeCLOB: its methods in method-table order.
#include "scalar/KelvorTypeCLOB.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeCLOB::DEBUG_TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeCLOB()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeCLOB>(); })
KELCORE_METHOD(2, "KelvorTypeCLOB(Connection)", Ctor, "RR", 'V', NONE,
               [](Connection* conn) { return makeRef<KelvorTypeCLOB>(conn); })
KELCORE_METHOD(3, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeCLOB& self) { return self.getTypeCode(); })
KELCORE_METHOD(4, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCLOB& self, ObjectInputStream& in) { readSerialForm<KelvorTypeCLOB>(self, in); })
KELCORE_METHOD(5, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeCLOB& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(6, "toSqlValue(Object,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeCLOB& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(7, "toObject(byte[],int,Map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeCLOB& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(8, "unpickle(UC,int,int,Map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeCLOB& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(9, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCLOB& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeCLOB>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeCLOB, 10, 66, "af9ff4d178c64c720c063e12cc4d89d2")
