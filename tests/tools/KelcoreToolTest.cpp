// The built kelcore binary, run as a user runs it, on the examples under examples/: each
// subcommand's output against what the library makes of the same C++ values (ExampleTypes),
// the exit status of every kind of failure, and the forms of SRC and JSON arguments. Inputs
// cut or spoilt byte by byte, which must fail with status 1 or 2 and never crash, run the same
// command lines in process (one binary start per run would make them the suite's slowest).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "tests/tools/ExampleTypes.h"
#include "tests/tools/ToolRunner.h"

namespace kelvor::tools {
namespace {

using json = nlohmann::json;
using Args = std::vector<std::string>;
using Result = ToolRunner::Result;
using lang::Ref;

std::string hexOf(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string stringOf(const lang::ByteArray& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<size_t>(bytes.length()));
}

std::string hexOf(const lang::ByteArray& bytes) { return hexOf(stringOf(bytes)); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

json readJson(const std::string& path) { return json::parse(readFile(path)); }

// How a run ended, for failure messages.
std::string describeRun(const Result& r) {
  return "status " + std::to_string(r.status) + " signal " + std::to_string(r.signal) +
         "\nstdout: " + r.out.substr(0, 2000) + "\nstderr: " + r.err.substr(0, 2000);
}

// The JSON the tool printed; a failure (and null) when it is not JSON.
json parsed(const Result& r) {
  const json j = json::parse(r.out, nullptr, false);
  EXPECT_FALSE(j.is_discarded()) << "not JSON: " << describeRun(r);
  return j.is_discarded() ? json() : j;
}

// A value keyed by attribute names turned into the positional form the tool uses when it
// knows no names: objects become arrays of their attributes in the order `names` gives.
json positional(const json& value, const json& names) {
  if (value.is_array()) {
    json out = json::array();
    for (const json& e : value) out.push_back(positional(e, names));
    return out;
  }
  if (!value.is_object()) return value;
  json out = json::array();
  for (const json& entry : names) {
    if (entry.is_string()) {
      out.push_back(value.at(entry.get<std::string>()));
    } else {
      out.push_back(positional(value.at(entry.begin().key()), entry.begin().value()));
    }
  }
  return out;
}

// The raw model: arrays (objects and collections) of raw values, null, and every scalar as
// {"bytes": "<lowercase hex>"}.
bool isRaw(const json& v) {
  if (v.is_null()) return true;
  if (v.is_array()) return std::all_of(v.begin(), v.end(), isRaw);
  static const std::regex hex("([0-9a-f]{2})*");
  return v.is_object() && v.size() == 1 && v.contains("bytes") && v["bytes"].is_string() &&
         std::regex_match(v["bytes"].get<std::string>(), hex);
}

// Every node of a describe tree, depth first.
void collectNodes(const json& node, std::vector<json>& into) {
  if (!node.is_object()) return;
  into.push_back(node);
  for (const char* key : {"attributes"}) {
    if (node.contains(key)) {
      for (const json& child : node[key]) collectNodes(child, into);
    }
  }
  for (const char* key : {"element", "object"}) {
    if (node.contains(key)) collectNodes(node[key], into);
  }
}

class KelcoreToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { examples_ = new ExampleTypes(); }
  static void TearDownTestSuite() {
    delete examples_;
    examples_ = nullptr;
  }

  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "kelcore_tool_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static const ExampleTypes& examples() { return *examples_; }
  static std::string path(const std::string& name, const std::string& extension) {
    return ExampleTypes::path(name, extension);
  }
  static bool hasNames(const std::string& name) { return name != "numbers"; }

  // --tds, and --names from the names file when the example has one.
  static Args typeArgs(const std::string& name, bool withNames = true) {
    Args args = {"--tds", path(name, ".tds")};
    if (withNames && hasNames(name)) {
      args.insert(args.end(), {"--names", "@" + path(name, ".names.json")});
    }
    return args;
  }
  // --image of the example's linear file, with --layout for an object type.
  static Args linearArgs(const std::string& name) {
    Args args = {"--image", path(name, ".linear")};
    if (!examples().isCollection(name))
      args.insert(args.end(), {"--layout", path(name, ".layout")});
    return args;
  }
  static std::string pickledHex(const std::string& name) {
    return hexOf(*examples().pickledImage(name));
  }

  static Args commandLine(const std::string& command, const Args& typeArguments,
                          const Args& more) {
    Args args = {command};
    args.insert(args.end(), typeArguments.begin(), typeArguments.end());
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // The binary.
  static Result run(const std::string& command, const Args& typeArguments, const Args& more,
                    const std::string& input = "") {
    return ToolRunner::run(commandLine(command, typeArguments, more), input);
  }
  // The same command line in process.
  static Result runHere(const std::string& command, const Args& typeArguments, const Args& more) {
    return ToolRunner::runInProcess(commandLine(command, typeArguments, more));
  }

  // A file in the test's own directory holding the bytes.
  std::string file(const std::string& name, const std::string& bytes) const {
    const std::string p = dir_ + "/" + name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

  static void expectSuccess(const Result& r) {
    EXPECT_EQ(r.status, 0) << describeRun(r);
    EXPECT_EQ(r.err, "") << describeRun(r);
  }
  // Status 1 with "kelcore: error N: ..." on standard error.
  static void expectDriverError(const Result& r, int code) {
    EXPECT_EQ(r.status, 1) << describeRun(r);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.err, m, std::regex("^kelcore: error ([0-9]+): \\S")))
        << describeRun(r);
    EXPECT_EQ(std::stoi(m[1]), code) << describeRun(r);
    EXPECT_EQ(r.out, "") << describeRun(r);
  }
  // Status 2 with "kelcore: ..." saying what is wrong.
  static void expectUsageError(const Result& r) {
    EXPECT_EQ(r.status, 2) << describeRun(r);
    EXPECT_EQ(r.err.rfind("kelcore: ", 0), 0U) << describeRun(r);
    EXPECT_EQ(r.err.find("kelcore: error"), std::string::npos) << describeRun(r);
  }
  // A clean failure: status 1 or 2, a message, no signal and no sanitizer report.
  static void expectCleanFailure(const Result& r) {
    EXPECT_EQ(r.signal, 0) << describeRun(r);
    EXPECT_TRUE(r.status == 1 || r.status == 2) << describeRun(r);
    EXPECT_EQ(r.err.rfind("kelcore: ", 0), 0U) << describeRun(r);
  }

  static ExampleTypes* examples_;
  std::string dir_;
};

ExampleTypes* KelcoreToolTest::examples_ = nullptr;

// --- each subcommand on each example ---

TEST_F(KelcoreToolTest, DescribePrintsEachExamplesDescriptorTree) {
  std::map<std::string, std::vector<json>> nodes;
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    const Result r = run("describe", typeArgs(name), {});
    expectSuccess(r);
    const json root = parsed(r);
    EXPECT_EQ(root.value("class", ""),
              examples().isCollection(name) ? "KelvorTypeCOLLECTION" : "KelvorTypeADT");
    collectNodes(root, nodes[name]);
  }
  const auto find = [&](const std::string& name, const std::string& cls) {
    std::vector<json> found;
    for (const json& n : nodes[name]) {
      if (n.value("class", "") == cls) found.push_back(n);
    }
    return found;
  };
  // address: VARCHAR(40), VARCHAR(30), CHAR(8) and the lines' VARCHAR(60), bounded to 10;
  // the names given with --names on the attributes' nodes.
  std::vector<int> lengths, typeCodes;
  std::vector<std::string> names;
  for (const json& n : find("address", "KelvorTypeCHAR")) {
    lengths.push_back(n.value("maxLength", -1));
    typeCodes.push_back(n.value("typeCode", -1));
    names.push_back(n.value("name", ""));
  }
  EXPECT_EQ(lengths, (std::vector<int>{40, 30, 8, 60}));
  EXPECT_EQ(typeCodes, (std::vector<int>{12, 12, 1, 12}));
  EXPECT_EQ(names, (std::vector<std::string>{"STREET", "CITY", "POSTCODE", ""}));
  const std::vector<json> lines = find("address", "KelvorTypeCOLLECTION");
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].value("maxElements", -1), 10);
  EXPECT_EQ(lines[0].value("collectionKind", -1), 3);
  // person: HEIGHT NUMBER(5,2), an embedded address of four attributes.
  const std::vector<json> numbers = find("person", "KelvorTypeNUMBER");
  ASSERT_EQ(numbers.size(), 1U);
  EXPECT_EQ(numbers[0].value("precision", -1), 5);
  EXPECT_EQ(numbers[0].value("scale", -1), 2);
  const std::vector<json> objects = find("person", "KelvorTypeADT");
  ASSERT_EQ(objects.size(), 2U);
  EXPECT_EQ(objects[1]["attributes"].size(), 4U);
  // persons: the person object type behind an object UPT (250), its address inside it.
  bool objectUpt = false;
  for (const json& n : nodes["persons"]) objectUpt |= n.value("typeByte", 0) == 250;
  EXPECT_TRUE(objectUpt);
  EXPECT_EQ(find("persons", "KelvorTypeADT").size(), 2U);  // person, address
  // numbers: NUMBER elements, bounded to 100.
  const json& root = nodes["numbers"].at(0);
  EXPECT_EQ(root.value("maxElements", -1), 100);
  EXPECT_EQ(root.value("collectionKind", -1), 3);
  EXPECT_EQ(root["element"].value("class", ""), "KelvorTypeNUMBER");
}

TEST_F(KelcoreToolTest, EncodeHexIsTheLibrarysPickledImageWithAndWithoutNames) {
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    const std::string expected = pickledHex(name) + "\n";
    const Result keyed =
        run("encode", typeArgs(name), {"--value", "@" + path(name, ".json"), "--hex"});
    expectSuccess(keyed);
    EXPECT_EQ(keyed.out, expected);
    if (!hasNames(name)) continue;
    const json value =
        positional(readJson(path(name, ".json")), readJson(path(name, ".names.json")));
    const Result plain = run("encode", typeArgs(name, false), {"--value", value.dump(), "--hex"});
    expectSuccess(plain);
    EXPECT_EQ(plain.out, expected);
  }
}

TEST_F(KelcoreToolTest, EncodeOutWritesTheBytesThatHexPrints) {
  for (const std::string& name : {std::string("person"), std::string("numbers")}) {
    const std::string out = dir_ + "/" + name + ".image";
    const Result r =
        run("encode", typeArgs(name), {"--value", "@" + path(name, ".json"), "--out", out});
    expectSuccess(r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(out), stringOf(*examples().pickledImage(name))) << name;
  }
}

TEST_F(KelcoreToolTest, DecodeOfPickledAndLinearImagesGivesTheExampleValue) {
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    const json value = readJson(path(name, ".json"));
    const json unnamed =
        hasNames(name) ? positional(value, readJson(path(name, ".names.json"))) : value;
    for (const bool withNames : {true, false}) {
      SCOPED_TRACE(withNames ? "with names" : "without names");
      const json expected = withNames ? value : unnamed;
      const Result pickled =
          run("decode", typeArgs(name, withNames), {"--image", "hex:" + pickledHex(name)});
      expectSuccess(pickled);
      EXPECT_EQ(parsed(pickled), expected);
      const Result linear = run("decode", typeArgs(name, withNames), linearArgs(name));
      expectSuccess(linear);
      EXPECT_EQ(parsed(linear), expected);
    }
  }
}

// Parsed JSON compares numbers as doubles; the text must carry every digit, in plain decimals.
TEST_F(KelcoreToolTest, NumbersAndDatesPrintExactlyAndReadBack) {
  const Result r = run("decode", typeArgs("numbers"), {"--image", "hex:" + pickledHex("numbers")});
  expectSuccess(r);
  for (const char* text :
       {"12345678901234567890123456789012345678", "0.000125", "-0.0625", "1.5", "100", "-42"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << " in " << r.out;
  }
  EXPECT_EQ(r.out.find_first_of("eE"), std::string::npos) << r.out;
  // Numbers far outside a double's range print as plain digits that read back to their bytes.
  json raw = json::array();
  for (const char* n : {"1e400", "-2.5e-400", "-9.75e300"}) {
    raw.push_back({{"bytes", hexOf(*jdbc::NumberValue::fromString(n)->shareBytes())}});
  }
  const Result image =
      run("encode", typeArgs("numbers"), {"--value", raw.dump(), "--raw", "--hex"});
  expectSuccess(image);
  const Result printed = run("decode", typeArgs("numbers"), {"--image", "hex:" + image.out});
  expectSuccess(printed);
  EXPECT_EQ(printed.out.find_first_of("eE"), std::string::npos) << printed.out;
  const Result again = run("encode", typeArgs("numbers"), {"--value", printed.out, "--hex"});
  expectSuccess(again);
  EXPECT_EQ(again.out, image.out);
  // A year before the common era and a height with trailing fraction digits.
  json person = readJson(path("person", ".json"));
  person["BORN"] = "-0044-03-15T12:00:00";
  person["HEIGHT"] = 180.5;
  const Result encoded = run("encode", typeArgs("person"), {"--value", person.dump(), "--hex"});
  expectSuccess(encoded);
  const Result decoded = run("decode", typeArgs("person"), {"--image", "hex:" + encoded.out});
  expectSuccess(decoded);
  EXPECT_EQ(parsed(decoded), person);
  EXPECT_NE(decoded.out.find("\"-0044-03-15T12:00:00\""), std::string::npos) << decoded.out;
}

// A number or a date whose bytes are no form of its type travels as the bytes it is: it is
// encoded from {"bytes": ...}, and decode prints it in that form beside the values it can
// convert.
TEST_F(KelcoreToolTest, MalformedNumbersAndDatesDecodeAsTheirBytes) {
  const json raw = json::array({json{{"bytes", "4000"}}, json{{"bytes", "400032"}}});
  const Result image = run("encode", typeArgs("numbers"), {"--value", raw.dump(), "--raw", "--hex"});
  expectSuccess(image);
  const Result friendly = run("decode", typeArgs("numbers"), {"--image", "hex:" + image.out});
  expectSuccess(friendly);
  EXPECT_EQ(parsed(friendly), json::parse(R"([{"bytes": "4000"}, 5])"));
  const Result asRaw = run("decode", typeArgs("numbers"), {"--image", "hex:" + image.out, "--raw"});
  expectSuccess(asRaw);
  EXPECT_EQ(parsed(asRaw), raw);
  // person's BORN in month 13
  const Result person = run("decode", typeArgs("person"), {"--image", "hex:" + pickledHex("person"), "--raw"});
  expectSuccess(person);
  json rawPerson = parsed(person);
  rawPerson[1] = json{{"bytes", "787e0d05010101"}};
  const Result badDate = run("encode", typeArgs("person"), {"--value", rawPerson.dump(), "--raw", "--hex"});
  expectSuccess(badDate);
  const Result born = run("decode", typeArgs("person"), {"--image", "hex:" + badDate.out});
  expectSuccess(born);
  EXPECT_EQ(parsed(born)["BORN"], json({{"bytes", "787e0d05010101"}}));
}

TEST_F(KelcoreToolTest, RawModelRoundTripsThroughEncode) {
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    const Result pickled =
        run("decode", typeArgs(name), {"--image", "hex:" + pickledHex(name), "--raw"});
    expectSuccess(pickled);
    const json raw = parsed(pickled);
    ASSERT_TRUE(raw.is_array());
    EXPECT_TRUE(isRaw(raw)) << raw.dump();
    if (name == "person") {
      EXPECT_EQ(raw[0], json({{"bytes", "4d617261205175656c6c"}}));  // "Mara Quell"
    }
    Args linearRaw = linearArgs(name);
    linearRaw.push_back("--raw");
    const Result fromLinear = run("decode", typeArgs(name), linearRaw);
    expectSuccess(fromLinear);
    EXPECT_EQ(parsed(fromLinear), raw);
    const Result encoded = run("encode", typeArgs(name), {"--value", raw.dump(), "--raw", "--hex"});
    expectSuccess(encoded);
    EXPECT_EQ(encoded.out, pickledHex(name) + "\n");
  }
}

TEST_F(KelcoreToolTest, DecodeBeginCountPrintsOnlyTheSlice) {
  struct Slice {
    std::string begin, count;
    size_t from, n;
  };
  for (const std::string name : {"persons", "numbers"}) {
    const json all = readJson(path(name, ".json"));
    const size_t size = all.size();
    for (const Slice& s :
         {Slice{"2", "2", 1, 2}, Slice{"1", "1", 0, 1}, Slice{"3", "-1", 2, size - 2},
          Slice{"2", "100", 1, size - 1}, Slice{"2", "0", 1, 0}}) {
      SCOPED_TRACE(name + " begin " + s.begin + " count " + s.count);
      const json expected(all.begin() + static_cast<std::ptrdiff_t>(s.from),
                          all.begin() + static_cast<std::ptrdiff_t>(s.from + s.n));
      const Args slice = {"--begin", s.begin, "--count", s.count};
      Args pickled = {"--image", "hex:" + pickledHex(name)};
      pickled.insert(pickled.end(), slice.begin(), slice.end());
      const Result p = run("decode", typeArgs(name), pickled);
      expectSuccess(p);
      EXPECT_EQ(parsed(p), expected);
      Args linear = linearArgs(name);
      linear.insert(linear.end(), slice.begin(), slice.end());
      const Result l = run("decode", typeArgs(name), linear);
      expectSuccess(l);
      EXPECT_EQ(parsed(l), expected);
    }
  }
}

// The listing's layout belongs to the dump; only that it runs and names the paths is checked.
TEST_F(KelcoreToolTest, DumpListsTheFieldsOfPickledAndLinearImagesByPath) {
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    for (const bool linear : {false, true}) {
      const Result r = run("dump", typeArgs(name),
                           linear ? linearArgs(name) : Args{"--image", "hex:" + pickledHex(name)});
      expectSuccess(r);
      EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 5) << r.out;
      EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "colour on a pipe";
      if (name == "person") {
        for (const char* attribute : {"NAME", "BORN", "HEIGHT", "STREET", "POSTCODE"}) {
          EXPECT_NE(r.out.find(attribute), std::string::npos) << attribute << "\n" << r.out;
        }
        // The third address line, under its object's path.
        EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(ADDRESS\.LINES\[3\])"))) << r.out;
        EXPECT_NE(r.out.find("Ring the second bell"), std::string::npos) << r.out;
      }
      if (name == "numbers") {
        EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\[8\])"))) << r.out;
        EXPECT_NE(r.out.find("12345678901234567890123456789012345678"), std::string::npos) << r.out;
      }
    }
  }
}

// --- exit statuses ---

TEST_F(KelcoreToolTest, DriverErrorsExitWithStatusOneAndTheirCode) {
  // An attribute entry whose opcode the parser does not know.
  std::string tds = readFile(path("person", ".tds"));
  tds[18] = static_cast<char>(99);
  expectDriverError(run("describe", {"--tds", file("bad.tds", tds)}, {}), 48);
  json person = readJson(path("person", ".json"));
  // CITY is VARCHAR(30).
  json tooLong = person;
  tooLong["ADDRESS"]["CITY"] = std::string(31, 'x');
  expectDriverError(run("encode", typeArgs("person"), {"--value", tooLong.dump(), "--hex"}), 72);
  // Lines are bounded to 10, numbers to 100.
  json elevenLines = person;
  elevenLines["ADDRESS"]["LINES"] = json(std::vector<std::string>(11, "line"));
  expectDriverError(run("encode", typeArgs("person"), {"--value", elevenLines.dump(), "--hex"}),
                    71);
  expectDriverError(run("encode", typeArgs("numbers"),
                        {"--value", json(std::vector<int>(101, 7)).dump(), "--hex"}),
                    71);
  // A date that is no date (February 30th).
  json noDate = person;
  noDate["BORN"] = "1987-02-30T00:00:00";
  expectDriverError(run("encode", typeArgs("person"), {"--value", noDate.dump(), "--hex"}), 59);
}

TEST_F(KelcoreToolTest, UsageAndInputErrorsExitWithStatusTwo) {
  const std::string tds = path("person", ".tds");
  const std::string value = "@" + path("person", ".json");
  const std::string names = "@" + path("person", ".names.json");
  const std::vector<Args> cases = {
      {},                                                   // no subcommand
      {"describe"},                                         // no --tds
      {"describe", "--tds", dir_ + "/missing.tds"},         // no such file
      {"describe", "--tds", tds, "--bogus"},                // unknown option
      {"frobnicate", "--tds", tds},                         // unknown subcommand
      {"describe", "--tds", "hex:0g"},                      // not a hex digit
      {"describe", "--tds", "hex:123"},                     // odd digit count
      {"decode", "--tds", tds},                             // no --image
      {"encode", "--tds", tds, "--value", value},           // neither --hex nor --out
      {"encode", "--tds", tds, "--value", "[1,", "--hex"},  // malformed JSON
      {"encode", "--tds", tds, "--value", "@" + dir_ + "/missing.json", "--hex"},
      {"encode", "--tds", tds, "--names", names, "--value", "\"Mara\"", "--hex"},  // not an object
      {"encode", "--tds", tds, "--value", "[\"Mara\", null]", "--hex"},  // two of four attributes
      {"encode", "--tds", tds, "--names", names, "--value", "{\"NAMES\": \"Mara\"}", "--hex"},
      {"encode", "--tds", tds, "--names", "{\"NAME\": 1}", "--value", value, "--hex"},
      {"encode", "--tds", path("numbers", ".tds"), "--value", "[{\"n\": 1}]", "--hex"},
      {"encode", "--tds", tds, "--value", "[\"a\", null, null, null]", "--raw", "--hex"},
      {"decode", "--tds", tds, "--image", "hex:" + pickledHex("person"), "--offset", "-1"},
      {"decode", "--tds", tds, "--image", "hex:" + pickledHex("person"), "--offset", "4000"},
      {"decode", "--tds", tds, "--image", path("person", ".linear")},  // linear without --layout
      {"decode", "--tds", path("numbers", ".tds"), "--image", path("numbers", ".linear"),
       "--count", "-2"},
      {"describe", "--tds", dir_},                          // a directory
      {"describe", "--tds", tds, "--names", "[\"NAME\"]"},  // one name for four attributes
      {"describe", "--tds", tds, "--names", "[{\"NAME\": [\"X\"]}, null, null, null]"},
  };
  for (const Args& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    expectUsageError(ToolRunner::run(args));
  }
}

// --- forms of SRC and JSON ---

TEST_F(KelcoreToolTest, SourcesAreFilesStandardInputOrSpacedHex) {
  const std::string tdsBytes = readFile(path("person", ".tds"));
  const Result fromFile = run("describe", {"--tds", path("person", ".tds")}, {});
  expectSuccess(fromFile);
  ASSERT_FALSE(fromFile.out.empty());
  EXPECT_EQ(run("describe", {"--tds", "-"}, {}, tdsBytes).out, fromFile.out);
  // Hex in groups, across lines, upper case.
  std::string spaced = "hex:";
  const std::string digits = hexOf(*examples().tds("person"));
  for (size_t i = 0; i < digits.size(); i += 2) {
    spaced += static_cast<char>(std::toupper(digits[i]));
    spaced += digits[i + 1];
    spaced += i % 16 == 14 ? "\n" : " ";
  }
  EXPECT_EQ(run("describe", {"--tds", spaced}, {}).out, fromFile.out);
  // The image from standard input; the TDS from a file.
  const std::string image = stringOf(*examples().pickledImage("person"));
  const Result decoded = run("decode", typeArgs("person"), {"--image", "-"}, image);
  expectSuccess(decoded);
  EXPECT_EQ(parsed(decoded), readJson(path("person", ".json")));
  // The image inside a larger input, from --offset on.
  const Result offset = run("decode", typeArgs("person"),
                            {"--image", file("padded", "abc" + image), "--offset", "3"});
  expectSuccess(offset);
  EXPECT_EQ(parsed(offset), readJson(path("person", ".json")));
}

TEST_F(KelcoreToolTest, JsonArgumentsAreInlineOrFromAFile) {
  const std::string names = readFile(path("person", ".names.json"));
  const std::string value = readFile(path("person", ".json"));
  const std::string expected = pickledHex("person") + "\n";
  const Result inlined = run("encode", {"--tds", path("person", ".tds"), "--names", names},
                             {"--value", value, "--hex"});
  expectSuccess(inlined);
  EXPECT_EQ(inlined.out, expected);
  const Result fromFiles =
      run("encode", {"--tds", path("person", ".tds"), "--names", "@" + file("n.json", names)},
          {"--value", "@" + file("v.json", value), "--hex"});
  expectSuccess(fromFiles);
  EXPECT_EQ(fromFiles.out, expected);
}

// --- malformed input never crashes ---

// The sweeps below run in process; the binary must give the same answer to the same line.
TEST_F(KelcoreToolTest, InProcessRunsAnswerAsTheBinaryDoes) {
  const std::string cut = file("cut", stringOf(*examples().pickledImage("person")).substr(0, 9));
  const std::vector<Args> cases = {
      {"--help"},
      {"dump", "--help"},
      {"describe", "--tds", path("persons", ".tds")},
      {"dump", "--tds", path("person", ".tds"), "--image", "hex:" + pickledHex("person")},
      {"dump", "--tds", path("person", ".tds"), "--image", cut},
      {"decode", "--tds", path("person", ".tds"), "--image", cut},
      {"decode", "--tds", path("person", ".tds")},
      {"frobnicate"},
  };
  for (const Args& args : cases) {
    SCOPED_TRACE(args.at(0) + " " + (args.size() > 1 ? args[1] : ""));
    const Result binary = ToolRunner::run(args);
    const Result here = ToolRunner::runInProcess(args);
    EXPECT_EQ(here.status, binary.status) << describeRun(binary);
    EXPECT_EQ(here.out, binary.out);
    EXPECT_EQ(here.err, binary.err);
  }
}

// Every cut is tried and the runs that misbehave are listed together: status 0 (a cut image
// taken for a whole one), any other status, a signal or a sanitizer report.
TEST_F(KelcoreToolTest, EveryPrefixOfAnImageFailsCleanlyInDecodeAndDump) {
  for (const std::string name : {"person", "numbers"}) {
    for (const bool linear : {false, true}) {
      const Ref<lang::ByteArray> image =
          linear ? examples().linearImage(name) : examples().pickledImage(name);
      const std::string whole = stringOf(*image);
      Args args = linear ? linearArgs(name) : Args{"--image", ""};
      std::string misbehaved;
      for (size_t cut = 0; cut < whole.size(); ++cut) {
        args[1] = file("cut", whole.substr(0, cut));
        for (const char* command : {"decode", "dump"}) {
          const Result r = runHere(command, typeArgs(name), args);
          if (r.signal != 0 || (r.status != 1 && r.status != 2) ||
              r.err.rfind("kelcore: ", 0) != 0) {
            misbehaved += std::string(command) + " of the first " + std::to_string(cut) +
                          " bytes: status " + std::to_string(r.status) + " signal " +
                          std::to_string(r.signal) + " " + r.err.substr(0, 200) + "\n";
          }
        }
      }
      EXPECT_EQ(misbehaved, "") << name << (linear ? " linear" : " pickled") << " image of "
                                << whole.size() << " bytes";
    }
  }
}

TEST_F(KelcoreToolTest, SpoiltImagesAndGarbageTypesNeverCrashTheTool) {
  const auto noCrash = [](const Result& r) {
    EXPECT_EQ(r.signal, 0) << describeRun(r);
    EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << describeRun(r);
  };
  // Each byte of an image set to FF, and to its value + 1: decode and dump of a pickled image,
  // dump of a linear one (the dump reads with the library's linear readers, which have a fuzz
  // target of their own).
  for (const bool linear : {false, true}) {
    const std::string name = linear ? "person" : "persons";
    const std::string image =
        stringOf(linear ? *examples().linearImage(name) : *examples().pickledImage(name));
    Args args = linear ? linearArgs(name) : Args{"--image", ""};
    for (size_t i = 0; i < image.size() && !HasFailure(); ++i) {
      for (const int edit : {0xFF, 1}) {
        std::string spoilt = image;
        spoilt[i] = static_cast<char>(edit == 0xFF ? 0xFF : spoilt[i] + 1);
        SCOPED_TRACE(name + (linear ? " linear" : " pickled") + ", byte " + std::to_string(i) +
                     (edit == 0xFF ? " set to ff" : " plus 1"));
        args[1] = file("spoilt", spoilt);
        if (!linear) noCrash(runHere("decode", typeArgs(name), args));
        noCrash(runHere("dump", typeArgs(name), args));
      }
    }
  }
  // Every proper prefix of a TDS, and random bytes.
  const std::string tds = readFile(path("persons", ".tds"));
  for (size_t cut = 0; cut < tds.size() && !HasFailure(); ++cut) {
    SCOPED_TRACE("TDS cut at " + std::to_string(cut));
    expectCleanFailure(runHere("describe", {"--tds", file("cut.tds", tds.substr(0, cut))}, {}));
  }
  uint64_t state = 0x4B454C434F5245;  // SplitMix64
  const auto next = [&state] {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  };
  for (int i = 0; i < 40 && !HasFailure(); ++i) {
    std::string garbage = tds.substr(0, 18);  // a real header, then noise
    for (uint64_t n = next() % 48; n > 0; --n) garbage += static_cast<char>(next() & 0xFF);
    SCOPED_TRACE("garbage TDS " + hexOf(garbage));
    noCrash(runHere("describe", {"--tds", file("garbage.tds", garbage)}, {}));
    noCrash(runHere("decode", {"--tds", file("garbage.tds", garbage)},
                {"--image", "hex:" + pickledHex("person")}));
  }
}

}  // namespace
}  // namespace kelvor::tools
