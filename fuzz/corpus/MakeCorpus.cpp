// Writes the fuzz targets' seed corpora: what the catalog's writers and the examples make,
// in each target's input form, one file per seed under OUT/<Target>/.
//
//   kelcore_fuzz_corpus OUT EXAMPLES
//
//   FuzzGeneratedImage  pickled and linear images of generated values of every generated
//                       object and collection type, whole and (collections) as a slice
//   FuzzPickleReader    the pickled images alone
//   FuzzTDSParse        the TDS of every generated object and collection type
//   FuzzObjectStream    the serial form of every generated type's descriptor tree
//   FuzzToolSession     each example's TDS, layout, names, JSON value and linear image, and
//                       the pickled image the tool encodes from the value
//   FuzzImageRead       the numbers example's pickled and linear images (the target's
//                       collection type has the same element)
//
// The values come from their own generator, so that the types stay those of the fuzz targets.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "catalog/LinearImageBuilder.h"
#include "catalog/TDSWriter.h"
#include "driver/ArrayValue.h"
#include "driver/NumberValue.h"
#include "driver/ObjectValue.h"
#include "fuzz/support/GeneratedTypes.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/ObjectOutputStream.h"
#include "tools/kelcore/Commands.h"
#include "tools/kelcore/ScalarText.h"

namespace {

namespace fs = std::filesystem;
using kelvor::catalog::LinearImageBuilder;
using kelvor::lang::ByteArray;
using kelvor::lang::Ref;
using Bytes = std::vector<uint8_t>;

fs::path outRoot;

Bytes bytesOf(const ByteArray& a) { return Bytes(a.data(), a.data() + a.length()); }

Bytes concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = outRoot / target;
  fs::create_directories(dir);
  std::ofstream file(dir / name, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + (dir / name).string());
}

Bytes readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes serialForm(const kelvor::lang::Object& object) {
  kelvor::lang::ByteArrayOutputStream bytes;
  {
    kelvor::lang::ObjectOutputStream out(bytes);
    out.writeObject(&object);
  }
  return bytesOf(*bytes.toByteArray());
}

std::string twoDigits(size_t i) { return (i < 10 ? "0" : "") + std::to_string(i); }

void generatedSeeds() {
  const kelvor::fuzz::GeneratedTypes types;
  kelvor::testsupport::TypeGenerator values(0x5eed);
  for (size_t i = 0; i < types.objects.size(); ++i) {
    const std::string object = "object" + twoDigits(i);
    const std::string collection = "collection" + twoDigits(i);
    const auto select = static_cast<uint8_t>(i << 1);

    auto value = values.nextValue(types.objectDefinitions[i], *types.conn);
    const Bytes pickled = bytesOf(*types.object(i).toImage(value.get()));
    const Bytes linear = bytesOf(*LinearImageBuilder::build(types.object(i), value.get()));
    put("FuzzGeneratedImage", object + "-pickled", concat({select, 0, 0, 0}, pickled));
    put("FuzzGeneratedImage", object + "-linear-kept", concat({select, 10, 0, 0}, linear));
    put("FuzzPickleReader", object, pickled);

    auto elements = values.nextCollectionValue(types.collectionDefinitions[i], *types.conn);
    const Bytes cPickled = bytesOf(*types.collection(i).toImage(elements.get()));
    const Bytes cLinear =
        bytesOf(*LinearImageBuilder::buildCollection(types.collection(i), elements.get()));
    const auto cSelect = static_cast<uint8_t>(select | 1);
    put("FuzzGeneratedImage", collection + "-pickled", concat({cSelect, 1, 0, 0}, cPickled));
    put("FuzzGeneratedImage", collection + "-linear-slice", concat({cSelect, 2, 2, 2}, cLinear));
    put("FuzzPickleReader", collection, cPickled);

    const Bytes tds = bytesOf(*kelvor::catalog::TDSWriter::write(types.objectDefinitions[i]));
    const Bytes cTds = bytesOf(*kelvor::catalog::TDSWriter::write(types.collectionDefinitions[i]));
    put("FuzzTDSParse", object, concat({0}, tds));
    put("FuzzTDSParse", collection, concat({1}, cTds));

    put("FuzzObjectStream", object, serialForm(types.object(i)));
    put("FuzzObjectStream", collection, serialForm(types.collection(i)));
  }
}

void putUB2(Bytes& out, size_t n) {
  out.push_back(static_cast<uint8_t>(n >> 8));
  out.push_back(static_cast<uint8_t>(n));
}

// The image the tool encodes from the example's value (empty when it refuses it).
Bytes encoded(const kelvor::tools::Commands::TypeOptions& type, const std::string& value) {
  kelvor::tools::Commands::EncodeOptions encode;
  encode.type = type;
  encode.value = value;
  encode.hex = true;
  std::istringstream none;
  std::ostringstream out;
  std::ostringstream err;
  if (kelvor::tools::Commands::encode(encode, {none, out, err}) != 0) return {};
  std::string hex = out.str();
  while (!hex.empty() && hex.back() == '\n') hex.pop_back();
  return bytesOf(*kelvor::tools::ScalarText::parseHex(hex, "image"));
}

void toolSeeds(const fs::path& examples) {
  for (const char* name : {"address", "person", "persons", "numbers"}) {
    const fs::path base = examples / name;
    auto part = [&](const char* suffix) {
      const fs::path path = base.string() + suffix;
      return fs::exists(path) ? readFile(path) : Bytes{};
    };
    const Bytes tds = part(".tds");
    const Bytes layout = part(".layout");
    const Bytes names = part(".names.json");
    const Bytes value = part(".json");
    kelvor::tools::Commands::TypeOptions type;
    type.tds = (base.string() + ".tds");
    if (!layout.empty()) type.layout = base.string() + ".layout";
    const Bytes pickled = encoded(type, "@" + base.string() + ".json");
    for (const auto& [image, flags, suffix] :
         {std::tuple{part(".linear"), 0, "-linear"}, std::tuple{pickled, 8 | 16, "-pickled"}}) {
      Bytes seed{static_cast<uint8_t>(flags)};
      putUB2(seed, tds.size());
      putUB2(seed, layout.size());
      seed.push_back(0);  // the default format descriptor
      putUB2(seed, names.size());
      putUB2(seed, value.size());
      for (const Bytes* piece : {&tds, &layout, &names, &value, &image})
        seed = concat(seed, *piece);
      put("FuzzToolSession", std::string(name) + suffix, seed);
      if (std::string(name) == "numbers")
        put("FuzzImageRead", name + std::string(suffix), concat({0, 1}, image));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kelcore_fuzz_corpus OUT EXAMPLES\n");
    return 2;
  }
  outRoot = argv[1];
  generatedSeeds();
  toolSeeds(argv[2]);
  return 0;
}
