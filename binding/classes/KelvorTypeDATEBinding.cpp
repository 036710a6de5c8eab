// Binding of KelvorTypeDATE: its methods in method-table order.
#include "scalar/KelvorTypeDATE.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeDATE::TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeDATE()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeDATE>(); })
KELCORE_METHOD(2, "KelvorTypeDATE(int)", Ctor, "RP", 'V', NONE,
               [](int32_t typeCode) { return makeRef<KelvorTypeDATE>(typeCode); })
KELCORE_METHOD(3, "getNativeAlignment(byte[])", Instance, "RR", 'I', 5,
               [](KelvorTypeDATE& self, const ByteArray* fd) { return self.getNativeAlignment(fd); })
KELCORE_METHOD(4, "getNativeSize(byte[])", Instance, "RR", 'I', 7,
               [](KelvorTypeDATE& self, const ByteArray* fd) { return self.getNativeSize(fd); })
KELCORE_METHOD(5, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeDATE& self) { return self.getTypeCode(); })
KELCORE_METHOD(6, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeDATE& self, ObjectInputStream& in) { readSerialForm<KelvorTypeDATE>(self, in); })
KELCORE_METHOD(7, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeDATE& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(8, "toSqlValueArray(value,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeDATE& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(9, "toObject(byte[],int,map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeDATE& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(10, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeDATE& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(11, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeDATE& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeDATE>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeDATE, 12, 128, "f97fe468c6faf8d5ebd4f188ac64c6c5")
