// With every trace switch of the descriptors and the image contexts on, readers and writers
// give what they give with tracing off: generated object and collection values go through
// pickled and linear images (decoded, kept and decoded later, sliced, counted) and descriptor
// trees through their serial form. A trace line that moved a cursor, fetched what was not yet
// fetched, printed past an image or through a null shows up as a different result or a crash.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/LinearImageBuilder.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectValue.h"
#include "image/PickleContext.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeCLOB.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeRAW.h"
#include "tests/support/TypeGenerator.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorTypeREF.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jdbc::kelcore {
namespace {

using catalog::LinearImageBuilder;

const std::vector<TraceSwitch*>& allSwitches() {
  static const std::vector<TraceSwitch*> switches = {
      &KelvorType::CONVERSION_TRACE, &KelvorType::SERIAL_TRACE,    &KelvorNamedType::TRACE,
      &KelvorTypeREF::TRACE,         &KelvorTypeUPT::TRACE,        &KelvorTypeADT::TRACE,
      &KelvorTypeADT::DUMP_TRACE,    &KelvorTypeCOLLECTION::TRACE, &PickleContext::TRACE,
      &KelvorTypeCHAR::DEBUG_TRACE,  &KelvorTypeBLOB::DEBUG_TRACE, &KelvorTypeCLOB::DEBUG_TRACE,
      &KelvorTypeBFILE::DEBUG_TRACE, &KelvorTypeDATE::TRACE,       &KelvorTypeRAW::TRACE};
  return switches;
}

class SwitchesOn {
 public:
  SwitchesOn() {
    for (TraceSwitch* s : allSwitches()) s->store(1);
  }
  ~SwitchesOn() {
    for (TraceSwitch* s : allSwitches()) s->store(0);
  }
  SwitchesOn(const SwitchesOn&) = delete;
  SwitchesOn& operator=(const SwitchesOn&) = delete;
};

std::string hexOf(const lang::ByteArray& a) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int32_t i = 0; i < a.length(); ++i) {
    out += digits[static_cast<uint8_t>(a[i]) >> 4];
    out += digits[a[i] & 15];
  }
  return out;
}

// What a read gives, or what it raises: a refusal must not depend on tracing either.
template <typename Read>
std::string attempt(Read read) {
  try {
    const Ref<lang::Object> o = read();
    return o ? o->toString() : "null";
  } catch (const lang::Throwable& e) {
    return std::string("raised ") + e.what();
  }
}

// Everything the readers and writers make of the generated types and values, as text.
std::string roundTrips(uint64_t seed) {
  testsupport::TypeGenerator::Options options;
  options.collectionPercent = 30;
  testsupport::TypeGenerator g(seed, options);
  auto conn = lang::makeRef<MemoryConnection>();
  std::ostringstream out;
  for (int i = 0; i < 5; ++i) {
    const catalog::TypeDefinition def = g.nextType();
    const Ref<KelvorTypeADT> type = testsupport::registerType(*conn, def)->getKelvorType();
    const Ref<ObjectValue> value = g.nextValue(def, *conn);
    const Ref<lang::ByteArray> pickled = type->toImage(value.get());
    const Ref<lang::ByteArray> linear = LinearImageBuilder::build(*type, value.get());
    out << hexOf(*pickled) << "\n" << hexOf(*linear) << "\n";
    for (const Ref<lang::ByteArray>& image : {pickled, linear}) {
      out << attempt([&] {
        return type->fromImage(image.get(), 0, nullptr, KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
      }) << "\n";
    }
    out << attempt([&] {
      PickleContext ctx(pickled, 0);
      return type->unpickle(ctx, nullptr, KelvorTypeADT::MODE_KEEP_IMAGE,
                            KelvorTypeADT::STYLE_SQL_VALUE, nullptr);
    }) << "\n";
    const auto copy = lang::dynamicRef<KelvorTypeADT>(typetest::serialCopy(type));
    out << copy->getNumAttributes() << "\n";

    const catalog::TypeDefinition cdef = g.nextCollectionType();
    const Ref<KelvorTypeCOLLECTION> ctype =
        testsupport::registerCollectionType(*conn, cdef)->getKelvorType();
    const Ref<ArrayValue> elements = g.nextCollectionValue(cdef, *conn);
    const Ref<lang::ByteArray> cPickled = ctype->toImage(elements.get());
    const Ref<lang::ByteArray> cLinear =
        LinearImageBuilder::buildCollection(*ctype, elements.get());
    out << hexOf(*cPickled) << "\n" << hexOf(*cLinear) << "\n";
    for (const Ref<lang::ByteArray>& image : {cPickled, cLinear}) {
      out << attempt([&] { return ctype->fromImage(image.get(), 0, nullptr, 1, nullptr); }) << "\n";
      out << attempt([&] { return ctype->fromImage(image.get(), 0, nullptr, 2, 1, 1, nullptr); })
          << "\n";
      out << attempt([&] {
        auto counted = lang::dynamicRef<ArrayValue>(ctype->fromImage(
            image.get(), 0, nullptr, KelvorTypeCOLLECTION::STYLE_COUNT_ONLY, nullptr));
        return lang::String::of(std::to_string(counted->elementCount()));
      }) << "\n";
    }
    out << lang::dynamicRef<KelvorTypeCOLLECTION>(typetest::serialCopy(ctype))->getMaxElements()
        << "\n";
  }
  return out.str();
}

TEST(TracedRoundTripTest, TracingChangesNoResult) {
  for (uint64_t seed : {3u, 11u, 29u}) {
    const std::string plain = roundTrips(seed);
    typetest::TraceCapture capture;
    std::string traced;
    {
      SwitchesOn on;
      traced = roundTrips(seed);
    }
    EXPECT_EQ(traced, plain) << "seed " << seed;
    for (const char* cls : {"KelvorTypeADT", "KelvorTypeCOLLECTION", "PickleContext"}) {
      EXPECT_NE(capture.str().find(cls), std::string::npos) << cls << ", seed " << seed;
    }
  }
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
