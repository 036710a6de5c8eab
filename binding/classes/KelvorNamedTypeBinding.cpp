// Binding of KelvorNamedType: its methods in method-table order.
#include "types/KelvorNamedType.h"

#include "adt/KelvorTypeADT.h"
#include "adt/StreamInfo.h"
#include "binding/PrivateAccess.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { KelvorNamedType::TRACE = 0; })
KELCORE_METHOD(1, "KelvorNamedType()", Ctor, "R", 'V', NONE,
               [] { return abstractClass<KelvorNamedType>(); })
KELCORE_METHOD(2, "KelvorNamedType(String,conn)", Ctor, "RRR", 'V', NONE,
               [](const std::string&, Connection*) { return abstractClass<KelvorNamedType>(); })
KELCORE_METHOD(3, "KelvorNamedType(parent,int,conn)", Ctor, "RRPR", 'V', NONE,
               [](KelvorTypeADT*, int32_t, Connection*) { return abstractClass<KelvorNamedType>(); })
KELCORE_METHOD(4, "getConnection()", Instance, "R", 'L', 22,
               [](KelvorNamedType& self) { return self.getConnection(); })
KELCORE_METHOD(5, "getDescriptor()", Instance, "R", 'L', 23,
               [](KelvorNamedType& self) { return self.getDescriptor(); })
KELCORE_METHOD(6, "getSqlName()", Instance, "R", 'L', 24,
               [](KelvorNamedType& self) { return self.getSqlName(); })
KELCORE_METHOD(7, "getSqlName(boolean)", Instance, "RP", 'L', 25,
               [](KelvorNamedType& self, bool strict) { return self.getSqlName(strict); })
KELCORE_METHOD(8, "getParentIndex()", Instance, "R", 'I', 26,
               [](KelvorNamedType& self) { return self.getParentIndex(); })
KELCORE_METHOD(9, "getParent()", Instance, "R", 'L', 27,
               [](KelvorNamedType& self) { return self.getParent(); })
KELCORE_METHOD(10, "getSchemaName()", Instance, "R", 'L', 28,
               [](KelvorNamedType& self) { return self.getSchemaName(); })
KELCORE_METHOD(11, "getTypeName()", Instance, "R", 'L', 29,
               [](KelvorNamedType& self) { return self.getTypeName(); })
KELCORE_METHOD(12, "isSqlNameKnown()", Instance, "R", 'I', 30,
               [](KelvorNamedType& self) { return self.isSqlNameKnown(); })
KELCORE_METHOD(13, "toImage(Object)", Instance, "RR", 'L', 31,
               [](KelvorNamedType& self, Object* value) { return self.toImage(value); })
KELCORE_METHOD(14, "setDescriptor(ref)", Instance, "RR", 'V', 32,
               [](KelvorNamedType& self, Object* descriptor) { self.setDescriptor(Ref<Object>(descriptor)); })
KELCORE_METHOD(15, "setParentIndex(int)", Instance, "RP", 'V', 33,
               [](KelvorNamedType& self, int32_t index) { self.setParentIndex(index); })
KELCORE_METHOD(16, "setParent(desc)", Instance, "RR", 'V', 34,
               [](KelvorNamedType& self, KelvorTypeADT* parent) { self.setParent(parent); })
KELCORE_METHOD(17, "fromImage(byte[],long,Object,int,typeMap)", Instance, "RRPPRPR", 'L', 35,
               [](KelvorNamedType& self, const ByteArray* image, int64_t offset, Object* target, int32_t style,
                  const TypeMap* map) { return self.fromImage(image, offset, target, style, map); })
KELCORE_METHOD(18, "fromImage(byte[],long,Object,long,int,int,typeMap)", Instance, "RRPPRPPPPR", 'L', 36,
               [](KelvorNamedType& self, const ByteArray* image, int64_t offset, Object* target, int64_t begin,
                  int32_t count, int32_t style, const TypeMap* map) {
                 return self.fromImage(image, offset, target, begin, count, style, map);
               })
KELCORE_METHOD(19, "setConnection(conn) [override]", Instance, "RR", 'V', 12,
               [](KelvorNamedType& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(20, "parseSqlName()", Instance, "R", 'V', NONE,
               [](KelvorNamedType& self) { kelvor::binding::NamedTypeAccess::callParseSqlName(self); })
KELCORE_METHOD(21, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorNamedType& self, ObjectInputStream& in) { readSerialForm<KelvorNamedType>(self, in); })
KELCORE_METHOD(22, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorNamedType& self, ObjectOutputStream& out) { writeSerialForm<KelvorNamedType>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorNamedType, 23, 103, "078a2921efa7df3351cf0fd97bf9b014")
