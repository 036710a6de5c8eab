// Binding of KelvorTypeRAW: its methods in method-table order.
#include "scalar/KelvorTypeRAW.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorTypeRAW::TRACE = 0; })
KELCORE_METHOD(1, "KelvorTypeRAW()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeRAW>(); })
KELCORE_METHOD(2, "KelvorTypeRAW(int)", Ctor, "RP", 'V', NONE,
               [](int32_t typeCode) { return makeRef<KelvorTypeRAW>(typeCode); })
KELCORE_METHOD(3, "getMaxLength()", Instance, "R", 'I', 22,
               [](KelvorTypeRAW& self) { return self.getMaxLength(); })
KELCORE_METHOD(4, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeRAW& self) { return self.getTypeCode(); })
KELCORE_METHOD(5, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeRAW& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(6, "pickle(PC,value)", Instance, "RRR", 'I', 10,
               [](KelvorTypeRAW& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(7, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeRAW& self, ObjectInputStream& in) { readSerialForm<KelvorTypeRAW>(self, in); })
KELCORE_METHOD(8, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeRAW& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(9, "toSqlValueArray(value,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeRAW& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(10, "toObject(byte[],int,map)", Instance, "RRPR", 'L', 17,
               [](KelvorTypeRAW& self, Ref<ByteArray> bytes, int32_t style, const TypeMap* map) {
                 return self.toObject(std::move(bytes), style, map);
               })
KELCORE_METHOD(11, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeRAW& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(12, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeRAW& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeRAW>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeRAW, 13, 126, "3417ed855221f40da0658f73b793e766")
