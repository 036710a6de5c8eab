// Binding of PickleContext: its methods in method-table order.
#include "image/PickleContext.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] { PickleContext::TRACE = 0; })
KELCORE_METHOD(1, "PickleContext()", Ctor, "R", 'V', NONE,
               [] { return makeRef<PickleContext>(); })
KELCORE_METHOD(2, "PickleContext(byte[])", Ctor, "RR", 'V', NONE,
               [](Ref<ByteArray> image) { return makeRef<PickleContext>(std::move(image)); })
KELCORE_METHOD(3, "PickleContext(byte[],long)", Ctor, "RRPP", 'V', NONE,
               [](Ref<ByteArray> image, int64_t offset) { return makeRef<PickleContext>(std::move(image), offset); })
KELCORE_METHOD(4, "initStream()", Instance, "R", 'V', 5,
               [](PickleContext& self) { return self.initStream(); })
KELCORE_METHOD(5, "initStream(int)", Instance, "RP", 'V', 6,
               [](PickleContext& self, int32_t a0) { return self.initStream(a0); })
KELCORE_METHOD(6, "image()", Instance, "R", 'L', 7,
               [](PickleContext& self) { return self.image(); })
KELCORE_METHOD(7, "imageOffset()", Instance, "R", 'I', 8,
               [](PickleContext& self) { return self.imageOffset(); })
KELCORE_METHOD(8, "offset()", Instance, "R", 'I', 9,
               [](PickleContext& self) { return self.offset(); })
KELCORE_METHOD(9, "toByteArray()", Instance, "R", 'L', 10,
               [](PickleContext& self) { return self.toByteArray(); })
KELCORE_METHOD(10, "isToplevelImage(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isToplevelImage(a0); })
KELCORE_METHOD(11, "lacksObjectFlag(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::lacksObjectFlag(a0); })
KELCORE_METHOD(12, "isCollectionImage(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isCollectionImage(a0); })
KELCORE_METHOD(13, "isLocatorImage(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isLocatorImage(a0); })
KELCORE_METHOD(14, "isAtomicNull(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isAtomicNull(a0); })
KELCORE_METHOD(15, "isEmbeddedNull(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isEmbeddedNull(a0); })
KELCORE_METHOD(16, "isDepthNull(byte)", Static, "P", 'I', NONE,
               [](int8_t a0) { return PickleContext::isDepthNull(a0); })
KELCORE_METHOD(17, "lengthFieldSize(int)", Static, "P", 'I', NONE,
               [](int32_t a0) { return PickleContext::lengthFieldSize(a0); })
KELCORE_METHOD(18, "writeObjectHeader()", Instance, "R", 'I', 11,
               [](PickleContext& self) { return self.writeObjectHeader(); })
KELCORE_METHOD(19, "writeObjectHeader(int)", Instance, "RP", 'I', 12,
               [](PickleContext& self, int32_t a0) { return self.writeObjectHeader(a0); })
KELCORE_METHOD(20, "writeCollectionHeader(int)", Instance, "RP", 'I', 13,
               [](PickleContext& self, int32_t a0) { return self.writeCollectionHeader(a0); })
KELCORE_METHOD(21, "writeCollectionHeader(int,int)", Instance, "RPP", 'I', 14,
               [](PickleContext& self, int32_t a0, int32_t a1) { return self.writeCollectionHeader(a0, a1); })
KELCORE_METHOD(22, "writeLocatorHeader(byte[])", Instance, "RR", 'I', 15,
               [](PickleContext& self, const ByteArray* a0) { return self.writeLocatorHeader(a0); })
KELCORE_METHOD(23, "writeLocatorHeader(int,byte[])", Instance, "RPR", 'I', 16,
               [](PickleContext& self, int32_t a0, const ByteArray* a1) { return self.writeLocatorHeader(a0, a1); })
KELCORE_METHOD(24, "writeLength(int)", Instance, "RP", 'I', 17,
               [](PickleContext& self, int32_t a0) { return self.writeLength(a0); })
KELCORE_METHOD(25, "writeData(byte[])", Instance, "RR", 'I', 18,
               [](PickleContext& self, const ByteArray* a0) { return self.writeData(a0); })
KELCORE_METHOD(26, "writeAtomicNull()", Instance, "R", 'I', 19,
               [](PickleContext& self) { return self.writeAtomicNull(); })
KELCORE_METHOD(27, "writeEmbeddedNull()", Instance, "R", 'I', 20,
               [](PickleContext& self) { return self.writeEmbeddedNull(); })
KELCORE_METHOD(28, "writeDepthNull(byte)", Instance, "RP", 'I', 21,
               [](PickleContext& self, int8_t a0) { return self.writeDepthNull(a0); })
KELCORE_METHOD(29, "patchLength(int,int)", Instance, "RPP", 'V', 22,
               [](PickleContext& self, int32_t a0, int32_t a1) { return self.patchLength(a0, a1); })
KELCORE_METHOD(30, "longLengthBytes(int)", Instance, "RP", 'L', 23,
               [](PickleContext& self, int32_t a0) { return self.longLengthBytes(a0); })
KELCORE_METHOD(31, "readByte()", Instance, "R", 'I', 24,
               [](PickleContext& self) { return self.readByte(); })
KELCORE_METHOD(32, "checkVersion()", Instance, "R", 'I', 25,
               [](PickleContext& self) { return self.checkVersion(); })
KELCORE_METHOD(33, "readLength()", Instance, "R", 'I', 26,
               [](PickleContext& self) { return self.readLength(); })
KELCORE_METHOD(34, "readLength(boolean)", Instance, "RP", 'I', 27,
               [](PickleContext& self, bool a0) { return self.readLength(a0); })
KELCORE_METHOD(35, "readRestOfLength(byte)", Instance, "RP", 'I', 28,
               [](PickleContext& self, int8_t a0) { return self.readRestOfLength(a0); })
KELCORE_METHOD(36, "skipLength()", Instance, "R", 'V', 29,
               [](PickleContext& self) { return self.skipLength(); })
KELCORE_METHOD(37, "skipRestOfLength(byte)", Instance, "RP", 'V', 30,
               [](PickleContext& self, int8_t a0) { return self.skipRestOfLength(a0); })
KELCORE_METHOD(38, "readBytes(int)", Instance, "RP", 'L', 31,
               [](PickleContext& self, int32_t a0) { return self.readBytes(a0); })
KELCORE_METHOD(39, "readLengthAndBytes()", Instance, "R", 'L', 32,
               [](PickleContext& self) { return self.readLengthAndBytes(); })
KELCORE_METHOD(40, "readDataValue()", Instance, "R", 'L', 33,
               [](PickleContext& self) { return self.readDataValue(); })
KELCORE_METHOD(41, "readDataValue(byte)", Instance, "RP", 'L', 34,
               [](PickleContext& self, int8_t a0) { return self.readDataValue(a0); })
KELCORE_METHOD(42, "readShortDataValue()", Instance, "R", 'L', 35,
               [](PickleContext& self) { return self.readShortDataValue(); })
KELCORE_METHOD(43, "skipDataValue()", Instance, "R", 'V', 36,
               [](PickleContext& self) { return self.skipDataValue(); })
KELCORE_METHOD(44, "skipDataValue(byte)", Instance, "RP", 'V', 37,
               [](PickleContext& self, int8_t a0) { return self.skipDataValue(a0); })
KELCORE_METHOD(45, "skipBytes(int)", Instance, "RP", 'V', 38,
               [](PickleContext& self, int32_t a0) { return self.skipBytes(a0); })
KELCORE_METHOD(46, "skipTo(long)", Instance, "RPP", 'V', 39,
               [](PickleContext& self, int64_t a0) { return self.skipTo(a0); })
}  // namespace

KELCORE_BIND_CLASS(PickleContext, 47, 147, "14d495e724574a6fb020dadb50ea1aa6")
