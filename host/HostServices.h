// What the package needs of host classes it calls into: where a class object keeps its link
// table, and the methods of the host's connection class that the package reaches through the
// link-table protocol.
//
// Class objects. A bound class (and any host class whose methods the package calls virtually)
// carries, at FIELD_CLASS_LINK_TABLE, the native address of its link table: one header word
// (the slot count) and then the slots, 64-bit words. 0 means the class has no link table.
//
// Link-table slots, as the package's call sites use them:
//   resolved class     one slot: the class reference, stored by hostResolveClass
//   static field       one slot: the address of the field's 32-bit cell, stored by the host
//   call-site pair     two slots: entry, declaring class (virtual position p: slots 2p, 2p + 1)
//   call-site cache    sixteen slots: five (receiver class, declaring class, entry) triples, then
//                      the miss counter
//
// Host services. Every bound class's constant pool continues the bridge pool with the entries
// below: a class entry naming the host's connection base class, then one method entry per
// connection service. The connection base class declares the services at the virtual positions
// CONNECTION_FIRST_POSITION onwards, in the order of the pool entries; a host connection
// overrides them, with native code or interpreted. The type map and the object value class
// follow in the same form.
#pragma once

#include <cstdint>

#include "host/HostInterface.h"

namespace kelvor::host {

inline constexpr uint32_t FIELD_CLASS_LINK_TABLE = 16;
inline constexpr int32_t CACHE_TRIPLES = 5;
inline constexpr int32_t CACHE_SLOTS = 3 * CACHE_TRIPLES + 1;
// Once the miss counter reaches this, a miss replaces triple 0 and the cache stops shifting.
inline constexpr uint64_t CACHE_MISS_LIMIT = 50;

// Well-known classes (hostWellKnownClass).
inline constexpr int32_t WELL_KNOWN_OTHER = 0;
inline constexpr int32_t WELL_KNOWN_ARRAY = 1;

enum HostServicePool : int32_t {
  POOL_CONNECTION_CLASS = POOL_SIZE,
  // Object[] typeInfo(String schema, String type, int withFormat): null when the type is
  // unknown; else {byte[] toid, int[] {version}, byte[] tds, byte[] layout, byte[] format}, the
  // format null when not asked for or when the server has none.
  POOL_CONNECTION_TYPE_INFO,
  // String[] attributeNames(String schema, String type): name, type name, type schema per
  // attribute, in position order.
  POOL_CONNECTION_ATTRIBUTE_NAMES,
  POOL_CONNECTION_GET_DESCRIPTOR,  // Object getDescriptor(String sqlName)
  POOL_CONNECTION_PUT_DESCRIPTOR,  // void putDescriptor(String sqlName, Object descriptor)
  POOL_CONNECTION_GET_FORMAT,      // byte[] getFormatDescriptor()
  POOL_CONNECTION_SET_FORMAT,      // void setFormatDescriptor(byte[] fd)
  POOL_CONNECTION_TYPE_PROPERTY,   // long describeTypeProperty(String sqlName)
  POOL_CONNECTION_CHARSET,         // int getDbCharsetId()
  // The host's type map: its base class, then int hasFactory(String sqlName) and
  // Object create(String sqlName, Object[] attributes), at TYPE_MAP_FIRST_POSITION onwards.
  POOL_TYPE_MAP_CLASS,
  POOL_TYPE_MAP_HAS_FACTORY,
  POOL_TYPE_MAP_CREATE,
  // The driver's object value class as the host has it: its class, then
  // Object[] getAttributes() (the attributes as SQL values) at OBJECT_VALUE_FIRST_POSITION. A
  // host subclass may override it; the package writes what the override returns.
  POOL_OBJECT_VALUE_CLASS,
  POOL_OBJECT_VALUE_GET_ATTRIBUTES,
  POOL_HOST_SERVICES_END,
};
inline constexpr int32_t CONNECTION_FIRST_POSITION = 5;
inline constexpr int32_t CONNECTION_SERVICES = POOL_TYPE_MAP_CLASS - POOL_CONNECTION_TYPE_INFO;
inline constexpr int32_t TYPE_MAP_FIRST_POSITION = 5;
inline constexpr int32_t OBJECT_VALUE_FIRST_POSITION = 5;

// The shape of each service, receiver included: slot kinds and result.
struct ServiceShape {
  const char* name;
  const char* slots;
  char result;
};
inline constexpr ServiceShape CONNECTION_SERVICE_SHAPES[CONNECTION_SERVICES] = {
    {"typeInfo", "RRRP", 'L'},           {"attributeNames", "RRR", 'L'},
    {"getDescriptor", "RR", 'L'},        {"putDescriptor", "RRR", 'V'},
    {"getFormatDescriptor", "R", 'L'},   {"setFormatDescriptor", "RR", 'V'},
    {"describeTypeProperty", "RR", 'J'}, {"getDbCharsetId", "R", 'I'},
};
inline constexpr ServiceShape TYPE_MAP_SERVICE_SHAPES[2] = {{"hasFactory", "RR", 'I'},
                                                            {"create", "RRR", 'L'}};
inline constexpr ServiceShape OBJECT_VALUE_SERVICE_SHAPES[1] = {{"getAttributes", "R", 'L'}};
constexpr int32_t objectValuePosition(int32_t pool) {
  return OBJECT_VALUE_FIRST_POSITION + (pool - POOL_OBJECT_VALUE_GET_ATTRIBUTES);
}
constexpr int32_t typeMapPosition(int32_t pool) {
  return TYPE_MAP_FIRST_POSITION + (pool - POOL_TYPE_MAP_HAS_FACTORY);
}
constexpr int32_t connectionPosition(int32_t pool) {
  return CONNECTION_FIRST_POSITION + (pool - POOL_CONNECTION_TYPE_INFO);
}

}  // namespace kelvor::host
