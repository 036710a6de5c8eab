// Binding of PickleOutputStream: its methods in method-table order.
#include "image/PickleOutputStream.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "PickleOutputStream()", Ctor, "R", 'V', NONE,
               [] { return makeRef<PickleOutputStream>(); })
KELCORE_METHOD(1, "PickleOutputStream(int)", Ctor, "RP", 'V', NONE,
               [](int32_t size) { return makeRef<PickleOutputStream>(size); })
KELCORE_METHOD(2, "offset()", Instance, "R", 'I', 20,
               [](PickleOutputStream& self) { return self.offset(); })
KELCORE_METHOD(3, "overwrite(int,byte[],int,int)", Instance, "RPRPP", 'V', 21,
               [](PickleOutputStream& self, int32_t at, const ByteArray* bytes, int32_t off, int32_t len) {
                 self.overwrite(at, bytes, off, len);
               })
}  // namespace

KELCORE_BIND_CLASS(PickleOutputStream, 4, 49, "878f8bfd6234a35cc94c6ac599bdc98c")
