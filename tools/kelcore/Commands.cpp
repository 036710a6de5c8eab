#include "tools/kelcore/Commands.h"

#include <cxxabi.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <typeinfo>
#include <istream>
#include <new>
#include <ostream>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/SqlValue.h"
#include "lang/Exceptions.h"
#include "tools/kelcore/ImageDump.h"
#include "tools/kelcore/JsonText.h"
#include "tools/kelcore/NameTree.h"
#include "tools/kelcore/ScalarText.h"
#include "tools/kelcore/Source.h"
#include "tools/kelcore/ToolSession.h"
#include "tools/kelcore/TypeDescription.h"
#include "tools/kelcore/UsageError.h"
#include "tools/kelcore/ValueCodec.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::tools {

namespace {

using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using jdbc::kelcore::KelvorTypeUPT;

// The exception's class name without its namespace ("IndexOutOfBoundsException").
std::string exceptionName(const std::exception& e) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : typeid(e).name();
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

// The names must fit the type: as many as the object type has attributes, and names below an
// attribute only where it leads to an object type (embedded, or the elements of a collection).
void checkNames(const NameTree& names, KelvorType& declared, const std::string& where,
                int32_t depth) {
  if (names.empty()) return;
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) throw UsageError(where + ": nested too deeply");
  KelvorType* type = &declared;
  // Through UPTs and collections to the object type the names are for.
  for (int32_t hops = 0; type != nullptr && !KelvorTypeADT::isPlainObjectType(type); ++hops) {
    if (hops > jdbc::kelcore::MAX_NESTING_DEPTH) throw UsageError(where + ": nested too deeply");
    if (auto* upt = dynamic_cast<KelvorTypeUPT*>(type)) {
      type = upt->getObjectType().get();
    } else if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(type)) {
      type = collection->getElementType().get();
    } else {
      type = nullptr;
    }
  }
  if (type == nullptr) throw UsageError(where + ": names given for a value without attributes");
  const auto& attributes = static_cast<KelvorTypeADT*>(type)->parsedAttributeTypes();
  const int32_t n = attributes ? attributes->length() : 0;
  if (names.size() != static_cast<size_t>(n)) {
    throw UsageError(where + ": " + std::to_string(names.size()) + " names for " +
                     std::to_string(n) + " attributes");
  }
  for (int32_t i = 0; i < n; ++i) {
    const auto at = static_cast<size_t>(i);
    checkNames(names.child(at), static_cast<KelvorType&>(*attributes->at(i)),
               where + "." + names.label(at), depth + 1);
  }
}

// Everything a command needs about its type, read and served.
struct Loaded {
  NameTree names;
  std::unique_ptr<ToolSession> session;
};

Loaded load(const Commands::TypeOptions& options, Source& source) {
  Loaded loaded;
  // Inputs are all read (and checked) before the driver sees any of them.
  ToolSession::Inputs inputs;
  inputs.tds = source.bytes(options.tds, "--tds");
  if (options.layout) inputs.layout = source.bytes(*options.layout, "--layout");
  if (options.formatDescriptor) {
    inputs.formatDescriptor = source.bytes(*options.formatDescriptor, "--format-descriptor");
  }
  if (options.names) {
    loaded.names = NameTree::fromJson(
        JsonText::parse(source.jsonText(*options.names, "--names"), "--names"));
  }
  loaded.session = std::make_unique<ToolSession>(std::move(inputs));
  checkNames(loaded.names, loaded.session->type(), "--names", 0);
  return loaded;
}

// The bytes of --image. The offset must fall inside them, and a linear object image is laid
// out by the type's layout description, which only --layout gives (embedded and patched types
// lay themselves out; the top-level type cannot).
lang::Ref<lang::ByteArray> loadImage(const Commands::TypeOptions& options, const Loaded& loaded,
                                     Source& source, const std::string& src, int64_t offset) {
  lang::Ref<lang::ByteArray> image = source.bytes(src, "--image");
  if (offset < 0 || offset >= image->length()) {
    throw UsageError("--offset " + std::to_string(offset) + ": the image has " +
                     std::to_string(image->length()) + " bytes");
  }
  const bool linear = ((*image)[static_cast<int32_t>(offset)] & 0x80) == 0;
  if (linear && !loaded.session->isCollection() && !options.layout) {
    throw UsageError("--layout: a linear object image needs the type's layout description");
  }
  return image;
}

}  // namespace

template <typename Body>
int Commands::guarded(std::ostream& err, Body body) {
  try {
    return body();
  } catch (const UsageError& e) {
    err << "kelcore: " << e.what() << "\n";
    return EXIT_USAGE;
  } catch (const jdbc::DriverException& e) {
    err << "kelcore: error " << e.code() << ": " << e.what() << "\n";
    return EXIT_DRIVER_ERROR;
  } catch (const lang::Throwable& e) {
    // The platform's failures: an image or TDS that ends early, a value of the wrong class.
    err << "kelcore: error: " << exceptionName(e) << ": " << e.what() << "\n";
    return EXIT_DRIVER_ERROR;
  } catch (const std::bad_alloc&) {
    err << "kelcore: error: out of memory\n";
    return EXIT_DRIVER_ERROR;
  } catch (const std::exception& e) {
    // Nothing else should reach here; if something does, it is reported, not a crash.
    err << "kelcore: error: " << exceptionName(e) << ": " << e.what() << "\n";
    return EXIT_DRIVER_ERROR;
  }
}

int Commands::describe(const TypeOptions& options, Streams streams) {
  return guarded(streams.err, [&] {
    Source source(streams.in);
    Loaded loaded = load(options, source);
    streams.out << JsonText::write(TypeDescription::describe(loaded.session->type(), loaded.names))
                << "\n";
    return EXIT_OK;
  });
}

int Commands::encode(const EncodeOptions& options, Streams streams) {
  return guarded(streams.err, [&] {
    if (options.hex == options.out.has_value()) {
      throw UsageError("encode: give exactly one of --hex and --out FILE");
    }
    Source source(streams.in);
    Loaded loaded = load(options.type, source);
    const JsonText::Json json =
        JsonText::parse(source.jsonText(options.value, "--value"), "--value");
    ValueCodec codec(*loaded.session, loaded.names, options.raw);
    lang::Ref<jdbc::SqlValue> value = codec.fromJson(json);
    lang::Ref<lang::ByteArray> image = loaded.session->type().toImage(value.get());
    if (options.hex) {
      streams.out << ScalarText::hex(image->data(), image->length()) << "\n";
    } else {
      std::ofstream file(*options.out, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(image->data()), image->length());
      file.close();
      if (!file) throw UsageError("--out: cannot write " + *options.out);
    }
    return EXIT_OK;
  });
}

int Commands::decode(const DecodeOptions& options, Streams streams) {
  return guarded(streams.err, [&] {
    Source source(streams.in);
    Loaded loaded = load(options.type, source);
    const lang::Ref<lang::ByteArray> image = loadImage(options.type, loaded, source, options.image,
                                                       options.offset);
    KelvorTypeADT& type = loaded.session->type();
    const bool slice = options.begin.has_value() || options.count.has_value();
    lang::Ref<lang::Object> value;
    if (slice) {
      auto* collection = loaded.session->collection();
      if (collection == nullptr) throw UsageError("--begin/--count: the type is not a collection type");
      value = collection->fromImage(image.get(), options.offset, nullptr, options.begin.value_or(1),
                                    options.count.value_or(-1), KelvorTypeADT::STYLE_SQL_VALUE,
                                    nullptr);
    } else {
      value = type.fromImage(image.get(), options.offset, nullptr, KelvorTypeADT::STYLE_SQL_VALUE,
                             nullptr);
    }
    ValueCodec codec(*loaded.session, loaded.names, options.raw);
    streams.out << JsonText::write(codec.toJson(value.get())) << "\n";
    return EXIT_OK;
  });
}

int Commands::dump(const DumpOptions& options, Streams streams) {
  return guarded(streams.err, [&] {
    Source source(streams.in);
    Loaded loaded = load(options.type, source);
    const lang::Ref<lang::ByteArray> image = loadImage(options.type, loaded, source, options.image,
                                                       options.offset);
    ImageDump::Options dumpOptions;
    dumpOptions.colour = options.colour;
    try {
      ImageDump::write(*loaded.session, loaded.names, *image, options.offset, streams.out,
                       dumpOptions);
    } catch (...) {
      // The lines before the failure are shown first, then the reason.
      streams.out.flush();
      throw;
    }
    return EXIT_OK;
  });
}

}  // namespace kelvor::tools
