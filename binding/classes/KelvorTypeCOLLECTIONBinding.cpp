// Binding of KelvorTypeCOLLECTION: its methods in method-table order.
#include "collection/KelvorTypeCOLLECTION.h"

#include "adt/StreamInfo.h"
#include "binding/PrivateAccess.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {

// The element readers of a pickled image stop at the image's end; called from the host without
// a header just read, they may read to the end of the context's bytes.
int64_t imageEndOf(const kelvor::jdbc::kelcore::PickleContext& ctx) {
  const auto image = ctx.image();
  return image ? image->length() : 0;
}
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "KelvorTypeCOLLECTION(String,Connection)", Ctor, "RRR", 'V', NONE,
               [](const std::string& sqlName, Connection* conn) { return makeRef<KelvorTypeCOLLECTION>(sqlName, conn); })
KELCORE_METHOD(1, "KelvorTypeCOLLECTION(KelvorType,int,Connection)", Ctor, "RRPR", 'V', NONE,
               [](KelvorTypeADT* parent, int32_t index, Connection* conn) {
                 return makeRef<KelvorTypeCOLLECTION>(parent, index, conn);
               })
KELCORE_METHOD(2, "getDescriptor() [override]", Instance, "R", 'L', 23,
               [](KelvorTypeCOLLECTION& self) { return self.getDescriptor(); })
KELCORE_METHOD(3, "sliceLength(long,long,int)", Static, "PPPPP", 'J', NONE,
               [](int64_t total, int64_t begin, int32_t count) {
                 return KelvorTypeCOLLECTION::sliceLength(total, begin, count);
               })
KELCORE_METHOD(4, "getAttributeType(int)", Instance, "RP", 'L', 41,
               [](KelvorTypeCOLLECTION& self, int32_t i) { return self.getAttributeType(i); })
KELCORE_METHOD(5, "getAttributeName(int)", Instance, "RP", 'L', 43,
               [](KelvorTypeCOLLECTION& self, int32_t i) { return self.getAttributeName(i); })
KELCORE_METHOD(6, "getAttributeName(int,boolean)", Instance, "RPP", 'L', 44,
               [](KelvorTypeCOLLECTION& self, int32_t i, bool fetch) { return self.getAttributeName(i, fetch); })
KELCORE_METHOD(7, "getAttributeTypeName(int)", Instance, "RP", 'L', 45,
               [](KelvorTypeCOLLECTION& self, int32_t i) { return self.getAttributeTypeName(i); })
KELCORE_METHOD(8, "getAttributeTypeName(int,boolean)", Instance, "RPP", 'L', 46,
               [](KelvorTypeCOLLECTION& self, int32_t i, bool fetch) { return self.getAttributeTypeName(i, fetch); })
KELCORE_METHOD(9, "getElementType()", Instance, "R", 'L', 80,
               [](KelvorTypeCOLLECTION& self) { return self.getElementType(); })
KELCORE_METHOD(10, "getMaxElements()", Instance, "R", 'J', 81,
               [](KelvorTypeCOLLECTION& self) { return self.getMaxElements(); })
KELCORE_METHOD(11, "getNumAttributes()", Instance, "R", 'I', 42,
               [](KelvorTypeCOLLECTION& self) { return self.getNumAttributes(); })
KELCORE_METHOD(12, "getTypeCode()", Instance, "R", 'I', 8,
               [](KelvorTypeCOLLECTION& self) { return self.getTypeCode(); })
KELCORE_METHOD(13, "getCollectionKind()", Instance, "R", 'I', 82,
               [](KelvorTypeCOLLECTION& self) { return self.getCollectionKind(); })
KELCORE_METHOD(14, "initNames()", Instance, "R", 'V', 47,
               [](KelvorTypeCOLLECTION& self) { self.initNames(); })
KELCORE_METHOD(15, "isInlineImage(byte[])", Instance, "RR", 'I', 83,
               [](KelvorTypeCOLLECTION& self, const ByteArray* image) { return self.isInlineImage(image); })
KELCORE_METHOD(16, "parseTDS(StreamInfo)", Instance, "RR", 'V', 9,
               [](KelvorTypeCOLLECTION& self, StreamInfo& reader) { self.parseTDS(reader); })
KELCORE_METHOD(17, "pickle(PickleContext,value)", Instance, "RRR", 'I', 10,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, Object* value) { return self.pickle(ctx, value); })
KELCORE_METHOD(18, "readSerialForm(in)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, ObjectInputStream& in) { readSerialForm<KelvorTypeCOLLECTION>(self, in); })
KELCORE_METHOD(19, "setConnection(Connection)", Instance, "RR", 'V', 12,
               [](KelvorTypeCOLLECTION& self, Connection* conn) { self.setConnection(conn); })
KELCORE_METHOD(20, "toSqlValue(value,Connection)", Instance, "RRR", 'L', 15,
               [](KelvorTypeCOLLECTION& self, Object* value, Connection* conn) { return self.toSqlValue(value, conn); })
KELCORE_METHOD(21, "fromImage(byte[],long,target,int,map)", Instance, "RRPPRPR", 'L', 35,
               [](KelvorTypeCOLLECTION& self, const ByteArray* image, int64_t offset, Object* target, int32_t style,
                  const TypeMap* map) { return self.fromImage(image, offset, target, style, map); })
KELCORE_METHOD(22, "fromImage(byte[],long,target,long,int,int,map)", Instance, "RRPPRPPPPR", 'L', 36,
               [](KelvorTypeCOLLECTION& self, const ByteArray* image, int64_t offset, Object* target, int64_t begin,
                  int32_t count, int32_t style, const TypeMap* map) {
                 return self.fromImage(image, offset, target, begin, count, style, map);
               })
KELCORE_METHOD(23, "unpickleLinear(UC,ArrayValue,int,int,map)", Instance, "RRRPPR", 'L', 72,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, SqlValue* target, int32_t mode, int32_t style,
                  const TypeMap* map) { return self.unpickleLinear(ctx, target, mode, style, map); })
KELCORE_METHOD(24, "unpickleLinear(UC,ArrayValue,long,int,int,int,map)", Instance, "RRRPPPPPR", 'L', 84,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, SqlValue* target, int64_t begin, int32_t count,
                  int32_t mode, int32_t style, const TypeMap* map) {
                 return self.unpickleLinear(ctx, target, begin, count, mode, style, map);
               })
KELCORE_METHOD(25, "unpickle(UC,int,int,map)", Instance, "RRPPR", 'L', 18,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, int32_t format, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, format, style, map);
               })
KELCORE_METHOD(26, "readLinearElements(ctx,target,int,map)", Instance, "RRRPR", 'L', NONE,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, ArrayValue* target, int32_t style,
                  const TypeMap* map) { return (self.*memberOf(kelvor::binding::privates::CollReadLinearElements{}))(ctx, target, style, map); })
KELCORE_METHOD(27, "readLinearSlice(ctx,target,long,int,int,map)", Instance, "RRRPPPPR", 'L', NONE,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, ArrayValue* target, int64_t begin, int32_t count,
                  int32_t style, const TypeMap* map) {
                 return (self.*memberOf(kelvor::binding::privates::CollReadLinearSlice{}))(ctx, target, begin, count, style, map);
               })
KELCORE_METHOD(28, "readLinearRange(ctx,target,long,int,int,map)", Instance, "RRRPPPPR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, UnpickleContext& ctx, ArrayValue& target, int64_t begin, int32_t count,
                  int32_t style, const TypeMap* map) {
                 (self.*memberOf(kelvor::binding::privates::CollReadLinearRange{}))(ctx, target, begin, count, style, map);
               })
KELCORE_METHOD(29, "unpickle(PC,ArrayValue,int,int,map)", Instance, "RRRPPR", 'L', 70,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, SqlValue* target, int32_t mode, int32_t style,
                  const TypeMap* map) { return self.unpickle(ctx, target, mode, style, map); })
KELCORE_METHOD(30, "unpickle(PC,ArrayValue,long,int,int,int,map)", Instance, "RRRPPPPPR", 'L', 85,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, SqlValue* target, int64_t begin, int32_t count,
                  int32_t mode, int32_t style, const TypeMap* map) {
                 return self.unpickle(ctx, target, begin, count, mode, style, map);
               })
KELCORE_METHOD(31, "readPickledElements(ctx,target,int,map)", Instance, "RRRPR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, ArrayValue& target, int32_t style,
                  const TypeMap* map) { (self.*memberOf(kelvor::binding::privates::CollReadPickledElements{}))(ctx, target, style, map, imageEndOf(ctx)); })
KELCORE_METHOD(32, "readPickledSlice(ctx,target,long,int,int,map)", Instance, "RRRPPPPR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, ArrayValue& target, int64_t begin, int32_t count,
                  int32_t style, const TypeMap* map) {
                 (self.*memberOf(kelvor::binding::privates::CollReadPickledSlice{}))(ctx, target, begin, count, style, map,
                                                                             imageEndOf(ctx));
               })
KELCORE_METHOD(33, "readPickledRange(ctx,target,long,int,int,map)", Instance, "RRRPPPPR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, ArrayValue& target, int64_t begin, int32_t count,
                  int32_t style, const TypeMap* map) {
                 (self.*memberOf(kelvor::binding::privates::CollReadPickledRange{}))(ctx, target, begin, count, style, map);
               })
KELCORE_METHOD(34, "readPickledHeader(ctx,target,int)", Instance, "RRRP", 'I', NONE,
               [](KelvorTypeCOLLECTION& self, PickleContext& ctx, ArrayValue* target, int32_t mode) {
                 int64_t imageEnd = 0;
                 return (self.*memberOf(kelvor::binding::privates::CollReadPickledHeader{}))(ctx, std::nullopt, target, mode,
                                                                                     imageEnd);
               })
KELCORE_METHOD(35, "writeSerialForm(out)", Instance, "RR", 'V', NONE,
               [](KelvorTypeCOLLECTION& self, ObjectOutputStream& out) { writeSerialForm<KelvorTypeCOLLECTION>(self, out); })
}  // namespace

KELCORE_BIND_CLASS(KelvorTypeCOLLECTION, 36, 445, "d8d708cfe1549a7288cf6944c0500cc2")
