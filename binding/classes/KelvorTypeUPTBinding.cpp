// Binding of KelvorTypeUPT: its methods in method-table order.
#include "types/KelvorTypeUPT.h"

#include "adt/StreamInfo.h"
#include "binding/PrivateAccess.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeUPT()", Ctor, "R", 'V', NONE,
               [] { return makeRef<KelvorTypeUPT>(); })
KELCORE_METHOD(1, "KelvorTypeUPT(String,conn)", Ctor, "RRR", 'V', NONE,
               [](const std::string& sqlName, Connection* conn) { return makeRef<KelvorTypeUPT>(sqlName, conn); })
KELCORE_METHOD(2, "KelvorTypeUPT(parent,int,conn)", Ctor, "RRPR", 'V', NONE,
               [](KelvorTypeADT* parent, int32_t index, Connection* conn) {
                 return makeRef<KelvorTypeUPT>(parent, index, conn);
               })
KELCORE_METHOD(3, "newObjectDescriptor()", Instance, "R", 'L', 80,
               [](KelvorTypeUPT& self) { return self.newObjectDescriptor(); })
KELCORE_METHOD(4, "newCollectionDescriptor()", Instance, "R", 'L', 81,
               [](KelvorTypeUPT& self) { return self.newCollectionDescriptor(); })
KELCORE_METHOD(5, "getAttributeType(int)", Instance, "RP", 'L', 41,
               [](KelvorTypeUPT& self, int32_t i) { return self.getAttributeType(i); })
KELCORE_METHOD(6, "getNumAttributes()", Instance, "R", 'I', 42,
               [](KelvorTypeUPT& self) { return self.getNumAttributes(); })
KELCORE_METHOD(7, "getObjectType()", Instance, "R", 'L', 82,
               [](KelvorTypeUPT& self) { return self.getObjectType(); })
KELCORE_METHOD(8, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeUPT& self) { return self.getTypeCode(); })
KELCORE_METHOD(9, "parseTDS(reader)", Instance, "RR", 'V', 9,
               [](KelvorTypeUPT& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(10, "pickle(ctx,value)", Instance, "RRR", 'I', 10,
               [](KelvorTypeUPT& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(11, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeUPT& self, ObjectInputStream& in) { readSerialForm<KelvorTypeUPT>(self, in); })
KELCORE_METHOD(12, "setConnection(conn)", Instance, "RR", 'V', 12,
               [](KelvorTypeUPT& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(13, "toSqlValue(value,conn)", Instance, "RRR", 'L', 15,
               [](KelvorTypeUPT& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(14, "toSqlValueArray(values,conn,long,int)", Instance, "RRRPPP", 'L', 16,
               [](KelvorTypeUPT& self, Object* values, Connection* conn, int64_t begin, int32_t count) {
                 return self.toSqlValueArray(values, conn, begin, count);
               })
KELCORE_METHOD(15, "unpickle(UnpickleContext,int,int,typeMap)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeUPT& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(16, "unpickleImage(PickleContext,int,typeMap)", Instance, "RRPR", 'L', NONE,
               [](KelvorTypeUPT& self, PickleContext& ctx, int32_t style, const TypeMap* map) {
                 using kelvor::binding::privates::UptUnpickleImage;
                 return (self.*memberOf(UptUnpickleImage{}))(ctx, style, map);
               })
KELCORE_METHOD(17, "unpickle(PickleContext,byte,int,typeMap)", Instance, "RRPPR", 'L', 19,
               [](KelvorTypeUPT& self, PickleContext& ctx, int8_t first, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, first, style, map);
               })
KELCORE_METHOD(18, "unpickle(PickleContext,int,typeMap)", Instance, "RRPR", 'L', 20,
               [](KelvorTypeUPT& self, PickleContext& ctx, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, style, map);
               })
KELCORE_METHOD(19, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeUPT& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeUPT>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeUPT, 20, 273, "7c03dca582c97fcdfab3e19fe8d77a60")
