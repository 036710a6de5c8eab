// Binding of TDSPatch: method order as the class declares it.
#include "adt/TDSPatch.h"
#include "binding/ClassBinding.h"
#include "types/KelvorType.h"

namespace {
using namespace kelvor::jdbc::kelcore;
using kelvor::binding::NONE;
template <int I>
struct Method;

KELCORE_METHOD(0, "<init>(int,KelvorType,long,byte)", Ctor, "RPRPPP", 'V', NONE,
               [](int32_t kind, Ref<KelvorType> owner, int64_t position, int8_t typeByte) {
                 return kelvor::lang::makeRef<TDSPatch>(kind, std::move(owner), position, typeByte);
               })
KELCORE_METHOD(1, "apply(KelvorType)", Instance, "RR", 'V', 5,
               [](TDSPatch& self, const Ref<KelvorType>& resolved) { self.apply(resolved); })
KELCORE_METHOD(2, "apply(KelvorType,byte)", Instance, "RRP", 'V', 6,
               [](TDSPatch& self, const Ref<KelvorType>& resolved, int8_t opcode) {
                 self.apply(resolved, opcode);
               })
KELCORE_METHOD(3, "getOwner", Instance, "R", 'L', 7, [](TDSPatch& self) { return self.getOwner(); })
KELCORE_METHOD(4, "getPosition", Instance, "R", 'J', 8,
               [](TDSPatch& self) { return self.getPosition(); })
KELCORE_METHOD(5, "getKind", Instance, "R", 'I', 9, [](TDSPatch& self) { return self.getKind(); })
KELCORE_METHOD(6, "getTypeByte", Instance, "R", 'I', 10,
               [](TDSPatch& self) { return self.getTypeByte(); })
}  // namespace

KELCORE_BIND_CLASS(TDSPatch, 7, 54, "171ab1e90d214524e6e039867e6a6677")
