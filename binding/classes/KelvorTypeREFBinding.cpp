// Binding of KelvorTypeREF: its methods in method-table order.
#include "types/KelvorTypeREF.h"

#include "adt/KelvorTypeADT.h"
#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeREF::TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeREF()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeREF>(); })
KELCORE_METHOD(2, "KelvorTypeREF(String,conn)", Ctor, "RRR", 'V', NONE,
               [](const std::string& sqlName, Connection* conn) { return makeRef<KelvorTypeREF>(sqlName, conn); })
KELCORE_METHOD(3, "KelvorTypeREF(parent,int,conn)", Ctor, "RRPR", 'V', NONE,
               [](KelvorTypeADT* parent, int32_t index, Connection* conn) {
                 return makeRef<KelvorTypeREF>(parent, index, conn);
               })
KELCORE_METHOD(4, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeREF& self) { return self.getTypeCode(); })
KELCORE_METHOD(5, "getObjectDescriptor()", Instance, "R", 'L', 37,
               [](KelvorTypeREF& self) { return self.getObjectDescriptor(); })
KELCORE_METHOD(6, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeREF& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(7, "toObject(bytes,style,typeMap)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeREF& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(8, "unpickle(UnpickleContext,int,int,typeMap)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeREF& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(9, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeREF& self, ObjectInputStream& in) { readSerialForm<KelvorTypeREF>(self, in); })
KELCORE_METHOD(10, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeREF& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeREF>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeREF, 11, 127, "ba9a430b34e33fc7640d0071801ffdf8")
