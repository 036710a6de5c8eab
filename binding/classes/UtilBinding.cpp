// Binding of Util: its methods in method-table order.
#include "types/Util.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "<clinit>", Clinit, "", 'V', NONE,
               [] {})
KELCORE_METHOD(1, "Util()", Ctor, "R", 'V', NONE,
               [] { return makeRef<Util>(); })
KELCORE_METHOD(2, "formatAlignment(byte[],int)", Static, "RP", 'I', NONE,
               [](const ByteArray* fd, int32_t entry) { return Util::formatAlignment(fd, entry); })
KELCORE_METHOD(3, "formatEntry(byte[],int)", Static, "RP", 'I', NONE,
               [](const ByteArray* fd, int32_t entry) { return Util::formatEntry(fd, entry); })
KELCORE_METHOD(4, "formatSize(byte[],int)", Static, "RP", 'I', NONE,
               [](const ByteArray* fd, int32_t entry) { return Util::formatSize(fd, entry); })
KELCORE_METHOD(5, "alignAbove(int,int)", Static, "PP", 'I', NONE,
               [](int32_t value, int32_t mask) { return Util::alignAbove(value, mask); })
KELCORE_METHOD(6, "expectByte(stream,int)", Static, "RP", 'V', NONE,
               [](InputStream& stream, int32_t expected) { Util::expectByte(stream, expected); })
KELCORE_METHOD(7, "deserialize(byte[])", Static, "R", 'L', NONE,
               [](const ByteArray* bytes) { return Util::deserialize(bytes); })
KELCORE_METHOD(8, "unsignedByte(byte)", Static, "P", 'I', NONE,
               [](int8_t b) { return Util::unsignedByte(b); })
KELCORE_METHOD(9, "dumpBytes(byte[])", Static, "R", 'V', NONE,
               [](const ByteArray* bytes) { Util::dumpBytes(bytes); })
KELCORE_METHOD(10, "dumpBytesPlain(byte[])", Static, "R", 'V', NONE,
               [](const ByteArray* bytes) { Util::dumpBytesPlain(bytes); })
KELCORE_METHOD(11, "dumpLongs(long[])", Static, "R", 'V', NONE,
               [](const LongArray* values) { Util::dumpLongs(values); })
KELCORE_METHOD(12, "dumpUnsignedBytes(byte[])", Static, "R", 'V', NONE,
               [](const ByteArray* bytes) { Util::dumpUnsignedBytes(bytes); })
KELCORE_METHOD(13, "readByte(stream)", Static, "R", 'I', NONE,
               [](InputStream& stream) { return Util::readByte(stream); })
KELCORE_METHOD(14, "readBytes(stream,int)", Static, "RP", 'L', NONE,
               [](InputStream& stream, int32_t n) { return Util::readBytes(stream, n); })
KELCORE_METHOD(15, "readUB4(stream)", Static, "R", 'J', NONE,
               [](InputStream& stream) { return Util::readUB4(stream); })
KELCORE_METHOD(16, "readSB2(stream)", Static, "R", 'I', NONE,
               [](InputStream& stream) { return Util::readSB2(stream); })
KELCORE_METHOD(17, "serialize(Object)", Static, "R", 'L', NONE,
               [](Object* value) { return Util::serialize(value); })
KELCORE_METHOD(18, "skipBytes(stream,int)", Static, "RP", 'V', NONE,
               [](InputStream& stream, int32_t n) { Util::skipBytes(stream, n); })
KELCORE_METHOD(19, "toUnsignedInts(byte[])", Static, "R", 'L', NONE,
               [](const ByteArray* bytes) { return Util::toUnsignedInts(bytes); })
KELCORE_METHOD(20, "readFully(stream,byte[])", Static, "RR", 'V', NONE,
               [](InputStream& stream, ByteArray* buffer) { Util::readFully(stream, buffer); })
}  // namespace

KELCORE_BIND_CLASS(Util, 21, 99, "41925e5bfe5e820cb724009e4843e7ee")
