#include "binding/HostTypeMap.h"

#include <mutex>

#include "binding/LinkTable.h"
#include "driver/TypeMap.h"
#include "host/HostServices.h"

namespace kelvor::binding {

namespace {

std::mutex adoptMutex;

// The bridge of the calling thread, for the VM the map belongs to.
Bridge bridgeFor(uintptr_t adoptedEnv, uint64_t vmId, uint32_t cls) {
  uintptr_t env = currentBridgeEnv();
  if (env == 0 || host::contextOf(env)->vmId != vmId) env = adoptedEnv;
  return Bridge(env, host::contextOf(env), cls);
}

uint64_t callService(const Bridge& b, uint32_t self, int32_t pool, uint32_t arg1, uint32_t arg2) {
  const host::ServiceShape& s =
      host::TYPE_MAP_SERVICE_SHAPES[pool - host::POOL_TYPE_MAP_HAS_FACTORY];
  const uint32_t words[3] = {self, arg1, arg2};
  return LinkTable::callVirtual(b, b.cls(), pool, host::typeMapPosition(pool), false,
                                CallShape(s.slots, s.result), words);
}

}  // namespace

Ref<lang::Object> HostTypeMap::hostValue(const Bridge& b, uint32_t ref) {
  if (ref == 0) return nullptr;
  b.requireObject(ref, host::OFFSET_ELEMENTS);
  if (b.kindOf(ref) == host::KIND_INSTANCE && b.isBlank(ref) &&
      b.read32(ref, host::OFFSET_CLASS) != b.classConstant(host::POOL_STRING)) {
    std::lock_guard lock(adoptMutex);
    if (b.isBlank(ref)) {
      auto o = lang::makeRef<HostObject>(ref);
      b.bindInstance(ref, o.get(), host::BK_OTHER);
    }
  }
  return b.object(ref);
}

void HostTypeMap::adopt(const Bridge& b, uint32_t ref) {
  if (ref == 0) return;
  b.requireObject(ref, host::INSTANCE_SIZE);
  if (b.kindOf(ref) != host::KIND_INSTANCE || !b.isBlank(ref)) return;
  const int32_t is = hostInstanceOf(b.env(), ref, b.classConstant(host::POOL_TYPE_MAP_CLASS));
  if (b.context()->pendingException != 0) throw HostExceptionPending{};
  if (is == 0) return;
  std::lock_guard lock(adoptMutex);
  if (!b.isBlank(ref)) return;
  const uintptr_t env = b.env();
  const uint64_t vmId = b.context()->vmId;
  const uint32_t cls = b.cls();
  // The map's source holds the host reference only: the host instance owns the map.
  auto map = lang::makeRef<jdbc::TypeMap>([env, vmId, cls, ref](const std::string& sqlName) {
    const Bridge here = bridgeFor(env, vmId, cls);
    const uint32_t name = here.toHost(std::string_view(sqlName));
    if (callService(here, ref, host::POOL_TYPE_MAP_HAS_FACTORY, name, 0) == 0)
      return jdbc::TypeMap::Factory();
    return jdbc::TypeMap::Factory(
        [env, vmId, cls, ref, sqlName](const Ref<lang::ObjectArray>& attributes) {
          const Bridge now = bridgeFor(env, vmId, cls);
          const uint32_t n = now.toHost(std::string_view(sqlName));
          const uint32_t a = now.toHost(attributes.get());
          const auto made =
              static_cast<uint32_t>(callService(now, ref, host::POOL_TYPE_MAP_CREATE, n, a));
          return hostValue(now, made);
        });
  });
  b.bindInstance(ref, map.get(), host::BK_OTHER);
}

void adoptHostTypeMap(const Bridge& b, uint32_t ref) { HostTypeMap::adopt(b, ref); }

}  // namespace kelvor::binding
