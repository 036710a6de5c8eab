// Exact numbers through the tool's JSON, and the shapes of --names.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/kelcore/JsonText.h"
#include "tools/kelcore/NameTree.h"
#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {
namespace {

TEST(JsonTextTest, NumbersKeepEveryDigitBothWays) {
  // A double would round each of these; integers past 64 bits come through the same path.
  const char* texts[] = {"12345678901234567890123456789012345678", "-0.000000000000000000001",
                         "0.1", "1.5e-130", "123456789012345678901234567890", "-9223372036854775808"};
  for (const char* text : texts) {
    const std::string json = std::string("[") + text + "]";
    const JsonText::Json parsed = JsonText::parse(json, "test");
    ASSERT_TRUE(parsed.is_array());
    EXPECT_EQ(JsonText::numberText(parsed[0]), text);
    EXPECT_EQ(JsonText::write(parsed), std::string("[") + text + "]");
  }
  EXPECT_EQ(JsonText::write(JsonText::number("-12.50")), "-12.50");
  EXPECT_FALSE(JsonText::numberText(JsonText::Json("12")).has_value());
}

TEST(JsonTextTest, WritesNestedValuesAndEscapesStrings) {
  JsonText::Json v = JsonText::parse(R"({"a": [1, {"b": null}], "c": "x\"\u00e9", "d": {}, "e": []})",
                                     "test");
  EXPECT_EQ(JsonText::write(v),
            "{\n  \"a\": [\n    1,\n    {\"b\": null}\n  ],\n"
            "  \"c\": \"x\\\"\u00e9\",\n  \"d\": {},\n  \"e\": []\n}");
  // A container of scalars goes on one line only while it fits in 80 columns.
  JsonText::Json wide = JsonText::Json::array();
  for (int i = 0; i < 30; ++i) wide.push_back(1000 + i);
  const std::string text = JsonText::write(wide);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
  // Bytes that are not UTF-8 never make the writer fail.
  EXPECT_EQ(JsonText::write(JsonText::Json(std::string("a\xff"))), "\"a\xEF\xBF\xBD\"");
}

TEST(JsonTextTest, TextThatIsNotJsonIsAUsageError) {
  EXPECT_THROW(JsonText::parse("[1,", "--value"), UsageError);
  EXPECT_THROW(JsonText::parse("", "--value"), UsageError);
  EXPECT_THROW(JsonText::parse("[1] x", "--value"), UsageError);
}

TEST(NameTreeTest, NamesNestAndUnnamedAttributesGetTheirPosition) {
  NameTree t = NameTree::fromJson(
      JsonText::parse(R"(["NAME", null, {"ADDRESS": ["STREET", {"LINES": []}]}])", "n"));
  EXPECT_EQ(t.size(), 3u);
  EXPECT_EQ(t.label(0), "NAME");
  EXPECT_EQ(t.label(1), "#2");
  EXPECT_EQ(t.label(7), "#8");
  EXPECT_EQ(t.child(2).label(1), "LINES");
  EXPECT_TRUE(t.child(0).empty());
  EXPECT_TRUE(t.child(9).empty());
  for (const char* bad : {R"({"A": 1})", R"([1])", R"([{"A": [], "B": []}])", R"([{"A": "x"}])",
                          R"(["A", {"A": []}])", R"([null, "#1"])"}) {
    EXPECT_THROW(NameTree::fromJson(JsonText::parse(bad, "n")), UsageError) << bad;
  }
}

}  // namespace
}  // namespace kelvor::tools
