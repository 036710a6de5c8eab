// Binding of KelvorTypeBLOB: its methods in method-table order.
#include "scalar/KelvorTypeBLOB.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeBLOB::DEBUG_TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeBLOB()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeBLOB>(); })
KELCORE_METHOD(2, "KelvorTypeBLOB(Connection)", Ctor, "RR", 'V', NONE,
               [](Connection* conn) { return makeRef<KelvorTypeBLOB>(conn); })
KELCORE_METHOD(3, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeBLOB& self) { return self.getTypeCode(); })
KELCORE_METHOD(4, "unpickleLocator(KelvorType,int,int,UC,int,int,int)", Static, "RPPRPPP", 'L', NONE,
               [](KelvorType* descriptor, int32_t nullIndex, int32_t offsetIndex, UnpickleContext& ctx,
                  int32_t format, int32_t style, int32_t slotSize) {
                 return KelvorTypeBLOB::unpickleLocator(descriptor, nullIndex, offsetIndex, ctx, format,
                                                        style, slotSize);
               })
KELCORE_METHOD(5, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeBLOB& self, ObjectInputStream& in) { readSerialForm<KelvorTypeBLOB>(self, in); })
KELCORE_METHOD(6, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeBLOB& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(7, "toSqlValue(Object,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeBLOB& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(8, "toObject(byte[],int,Map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeBLOB& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(9, "unpickle(UC,int,int,Map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeBLOB& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(10, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeBLOB& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeBLOB>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeBLOB, 11, 70, "25d6853139dd6f5e3fc226e3a493e9e2")
