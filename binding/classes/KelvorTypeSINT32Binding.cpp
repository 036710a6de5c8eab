// Binding of KelvorTypeSINT32: its methods in method-table order.
#include "scalar/KelvorTypeSINT32.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeSINT32()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeSINT32>(); })
KELCORE_METHOD(1, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeSINT32& self) { return self.getTypeCode(); })
KELCORE_METHOD(2, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeSINT32& self, ObjectInputStream& in) { readSerialForm<KelvorTypeSINT32>(self, in); })
KELCORE_METHOD(3, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeSINT32& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(4, "toSqlValueArray(value,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeSINT32& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(5, "toObject(byte[],int,map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeSINT32& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(6, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeSINT32& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(7, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeSINT32& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeSINT32>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeSINT32, 8, 49, "cf7256114272dce6dbbef87eed6d09e8")
