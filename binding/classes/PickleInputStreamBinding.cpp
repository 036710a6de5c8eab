// Binding of PickleInputStream: its methods in method-table order.
#include "image/PickleInputStream.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "PickleInputStream(byte[])", Ctor, "RR", 'V', NONE,
               [](Ref<ByteArray> image) { return makeRef<PickleInputStream>(std::move(image)); })
KELCORE_METHOD(1, "offset()", Instance, "R", 'I', 16,
               [](PickleInputStream& self) { return self.offset(); })
KELCORE_METHOD(2, "unread(int)", Instance, "RP", 'V', 17,
               [](PickleInputStream& self, int32_t n) { self.unread(n); })
}  // namespace

KELCORE_BIND_CLASS(PickleInputStream, 3, 36, "4a03fad6f8cc0da87deb2b48969215c1")
