// Reaching the few private and protected operations that the binding exposes as methods of
// their class (a host may call any method of a class, private ones included) without changing
// the classes. An explicit instantiation may name a private member; the friend function it
// defines hands the member pointer out. Protected members are named through a derived class.
#pragma once

#include <optional>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayValue.h"
#include "types/KelvorNamedType.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::binding {

namespace privates {

template <typename Tag, typename Tag::type Member>
struct PrivateMember {
  friend typename Tag::type memberOf(Tag) { return Member; }
};
using namespace kelvor::jdbc::kelcore;  // NOLINT(google-build-using-namespace)
using jdbc::ArrayValue;
using jdbc::TypeMap;
using lang::Object;
using COLL = KelvorTypeCOLLECTION;


struct UptUnpickleImage {
  using type = Ref<Object> (KelvorTypeUPT::*)(PickleContext&, int32_t, const TypeMap*);
  friend type memberOf(UptUnpickleImage);
};
template struct PrivateMember<UptUnpickleImage, &KelvorTypeUPT::unpickleImage>;

struct CollReadLinearElements {
  using type = Ref<ArrayValue> (COLL::*)(UnpickleContext&, ArrayValue*, int32_t, const TypeMap*);
  friend type memberOf(CollReadLinearElements);
};
template struct PrivateMember<CollReadLinearElements, &COLL::readLinearElements>;

struct CollReadLinearSlice {
  using type = Ref<ArrayValue> (COLL::*)(UnpickleContext&, ArrayValue*, int64_t, int32_t, int32_t,
                                         const TypeMap*);
  friend type memberOf(CollReadLinearSlice);
};
template struct PrivateMember<CollReadLinearSlice, &COLL::readLinearSlice>;

struct CollReadLinearRange {
  using type = void (COLL::*)(UnpickleContext&, ArrayValue&, int64_t, int32_t, int32_t,
                              const TypeMap*);
  friend type memberOf(CollReadLinearRange);
};
template struct PrivateMember<CollReadLinearRange, &COLL::readLinearRange>;

struct CollReadPickledElements {
  using type = void (COLL::*)(PickleContext&, ArrayValue&, int32_t, const TypeMap*, int64_t);
  friend type memberOf(CollReadPickledElements);
};
template struct PrivateMember<CollReadPickledElements, &COLL::readPickledElements>;

struct CollReadPickledSlice {
  using type = void (COLL::*)(PickleContext&, ArrayValue&, int64_t, int32_t, int32_t,
                              const TypeMap*, int64_t);
  friend type memberOf(CollReadPickledSlice);
};
template struct PrivateMember<CollReadPickledSlice, &COLL::readPickledSlice>;

struct CollReadPickledRange {
  using type = void (COLL::*)(PickleContext&, ArrayValue&, int64_t, int32_t, int32_t,
                              const TypeMap*);
  friend type memberOf(CollReadPickledRange);
};
template struct PrivateMember<CollReadPickledRange, &COLL::readPickledRange>;

struct CollReadPickledHeader {
  using type = bool (COLL::*)(PickleContext&, std::optional<int8_t>, ArrayValue*, int32_t,
                              int64_t&);
  friend type memberOf(CollReadPickledHeader);
};
template struct PrivateMember<CollReadPickledHeader, &COLL::readPickledHeader>;

}  // namespace privates

// Protected members.
struct NamedTypeAccess : jdbc::kelcore::KelvorNamedType {
  static void callParseSqlName(KelvorNamedType& t) { (t.*&NamedTypeAccess::parseSqlName)(); }
};
struct ADTAccess : jdbc::kelcore::KelvorTypeADT {
  static void callInitIfNeeded(KelvorTypeADT& t, bool missing) {
    (t.*&ADTAccess::initIfNeeded)(missing);
  }
};

}  // namespace kelvor::binding
