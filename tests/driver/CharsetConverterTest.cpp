#include "driver/CharsetConverter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "driver/DriverException.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc {
namespace {

using kelcore::typetest::bytesOf;
using kelcore::typetest::codeOf;

// "Zoë ß" in each set that can hold it.
struct Encoded {
  int32_t id;
  std::vector<int> bytes;
};
const std::vector<Encoded> ZOE = {
    {CharsetConverter::ISO_8859_1, {'Z', 'o', 0xEB, ' ', 0xDF}},
    {CharsetConverter::UTF_8, {'Z', 'o', 0xC3, 0xAB, ' ', 0xC3, 0x9F}},
    {CharsetConverter::UTF_16BE, {0, 'Z', 0, 'o', 0, 0xEB, 0, ' ', 0, 0xDF}},
};

TEST(CharsetConverterTest, EncodeDecodeAndConvertRoundTripBetweenSets) {
  const std::string text = "Zo\xC3\xAB \xC3\x9F";
  for (const Encoded& to : ZOE) {
    const auto target = CharsetConverter::forId(to.id);
    const auto expected = bytesOf(to.bytes);
    EXPECT_TRUE(target->encode(text)->sameContents(*expected)) << to.id;
    EXPECT_EQ(target->decode(*expected), text) << to.id;
    for (const Encoded& from : ZOE) {
      const auto source = bytesOf(from.bytes);
      const auto out = target->convert(*CharsetConverter::forId(from.id), *source, 0,
                                       source->length());
      EXPECT_TRUE(out->sameContents(*expected)) << from.id << " -> " << to.id;
    }
  }
  // A range of the input only: "o\xEB" of the ISO-8859-1 bytes.
  const auto iso = bytesOf(ZOE[0].bytes);
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  EXPECT_TRUE(utf8->convert(*CharsetConverter::forId(4), *iso, 1, 2)
                  ->sameContents(*bytesOf({'o', 0xC3, 0xAB})));
  EXPECT_THROW(utf8->convert(*utf8, *iso, 4, 2), lang::IndexOutOfBoundsException);
  EXPECT_THROW(utf8->convert(*utf8, *iso, -1, 1), lang::IndexOutOfBoundsException);
  EXPECT_EQ(utf8->encode("")->length(), 0);
  EXPECT_EQ(CharsetConverter::forId(106), utf8);  // one instance per id
}

TEST(CharsetConverterTest, FailuresAreConversionErrorsNeverSubstitutes) {
  const auto ascii = CharsetConverter::forId(CharsetConverter::US_ASCII);
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  const auto utf16 = CharsetConverter::forId(CharsetConverter::UTF_16BE);
  const auto e = bytesOf({0xC3, 0xA9});  // UTF-8 "é"
  const std::vector<std::function<void()>> failures = {
      [&] { iso->encode("\xE2\x82\xAC"); },                    // no euro sign in Latin-1
      [&] { ascii->convert(*utf8, *e, 0, 2); },                // no é in ASCII
      [&] { utf8->decode(*bytesOf({0xC3})); },                 // ends inside a character
      [&] { utf8->decode(*bytesOf({0xFF, 'a'})); },            // not UTF-8 at all
      [&] { utf16->decode(*bytesOf({0, 'a', 0})); },           // odd byte count
      [&] { utf16->decode(*bytesOf({0xDC, 0x00, 0, 'a'})); },  // lone low surrogate
  };
  for (size_t i = 0; i < failures.size(); ++i) {
    EXPECT_EQ(codeOf(failures[i]), DriverException::ERR_CONVERSION) << i;
  }
}

// UTF-8 into UTF-8 and text below 0x80 between the ASCII-compatible sets are copies that skip
// iconv; they must accept exactly what iconv accepts and give the same bytes. UTF-8 into
// UTF-16BE still runs through iconv, so it judges every sequence of up to 4 bytes that the
// table reaches (all pairs; lead bytes E0..FF with every second byte and edge third and
// fourth bytes), each behind 9 ASCII bytes so that the word-wise scan hands over mid-word.
TEST(CharsetConverterTest, CopiedConversionsAcceptWhatIconvAccepts) {
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  const auto utf16 = CharsetConverter::forId(CharsetConverter::UTF_16BE);
  std::vector<std::vector<int>> tails;
  for (int a = 0x80; a < 0x100; ++a) {
    for (int b = 0; b < 0x100; ++b) {
      tails.push_back({a, b});
      if (a < 0xE0) continue;
      for (const int c : {0x7F, 0x80, 0xBF, 0xC0}) {
        tails.push_back({a, b, c});
        if (a >= 0xF0) tails.push_back({a, b, c, 0x80});
      }
    }
  }
  int differences = 0;
  for (const auto& tail : tails) {
    std::vector<int> input = {'s', 'e', 'v', 'e', 'n', ' ', 'a', 'n', 'd'};
    input.insert(input.end(), tail.begin(), tail.end());
    const auto bytes = bytesOf(input);
    const bool iconvTakes = codeOf([&] { utf16->convert(*utf8, *bytes, 0, bytes->length()); }) ==
                            testsupport::NOTHING_RAISED;
    std::string decoded;
    const int32_t code = codeOf([&] { decoded = utf8->decode(*bytes); });
    const bool copied = code == testsupport::NOTHING_RAISED;
    if (!copied) {
      EXPECT_EQ(code, DriverException::ERR_CONVERSION);
    }
    if (copied && decoded != std::string(reinterpret_cast<const char*>(bytes->data()),
                                         static_cast<size_t>(bytes->length()))) {
      ++differences;
    }
    if (copied != iconvTakes) ++differences;
    if (copied) {
      EXPECT_TRUE(utf8->encode(decoded)->sameContents(*bytes));
    }
  }
  EXPECT_EQ(differences, 0);
  // Above U+10FFFF is no character: refused into UTF-8 as into any other set.
  EXPECT_EQ(codeOf([&] { utf8->decode(*bytesOf({0xF4, 0x90, 0x80, 0x80})); }),
            DriverException::ERR_CONVERSION);

  // Text below 0x80 is the same bytes in US-ASCII, ISO-8859-1 and UTF-8; a byte above it after
  // a run of them is still converted, or refused where the target cannot hold it.
  const std::string ascii = "plain text, long enough for whole words";
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  for (const int32_t id : {CharsetConverter::US_ASCII, CharsetConverter::ISO_8859_1}) {
    const auto set = CharsetConverter::forId(id);
    EXPECT_EQ(set->decode(*set->encode(ascii)), ascii) << id;
    EXPECT_EQ(utf8->convert(*set, *set->encode(ascii), 0, 6)->length(), 6) << id;
  }
  EXPECT_EQ(iso->decode(*iso->encode(ascii + "\xC3\xA9")), ascii + "\xC3\xA9");
  EXPECT_EQ(codeOf([&] { CharsetConverter::forId(CharsetConverter::US_ASCII)->encode(ascii + "\xC3\xA9"); }),
            DriverException::ERR_CONVERSION);
}

// Texts above 2 KiB are scanned and copied a piece at a time: a byte above 0x7F in any piece
// (first or last byte of one included) must still be copied (UTF-8), refused (malformed UTF-8)
// or converted (ISO-8859-1), with the pieces before it kept.
TEST(CharsetConverterTest, LargeTextsDecodeAlikeWhereverTheFirstHighByteStands) {
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  const auto ascii = CharsetConverter::forId(CharsetConverter::US_ASCII);
  constexpr int32_t N = 5000;
  const std::string plain(N, 'k');
  for (const int32_t n : {2047, 2048, 2049, N}) {
    const std::string text = plain.substr(0, static_cast<size_t>(n));
    EXPECT_EQ(utf8->decode(*utf8->encode(text)), text) << n;
  }
  for (const int32_t at : {0, 2047, 2048, 4095, 4096, N - 2}) {
    SCOPED_TRACE(at);
    auto bytes = lang::ByteArray::make(N);
    std::memset(bytes->data(), 'k', N);
    (*bytes)[at] = static_cast<int8_t>(0xC3);  // é in UTF-8
    (*bytes)[at + 1] = static_cast<int8_t>(0xA9);
    const std::string text(reinterpret_cast<const char*>(bytes->data()), N);
    EXPECT_EQ(utf8->decode(*bytes), text);
    // Latin-1 reads the two bytes as two characters, each two bytes long in UTF-8.
    EXPECT_EQ(iso->decode(*bytes), text.substr(0, static_cast<size_t>(at)) + "\xC3\x83\xC2\xA9" +
                                       text.substr(static_cast<size_t>(at) + 2));
    EXPECT_EQ(codeOf([&] { ascii->decode(*bytes); }), DriverException::ERR_CONVERSION);
    (*bytes)[at + 1] = 'k';  // a lead byte without its continuation
    EXPECT_EQ(codeOf([&] { utf8->decode(*bytes); }), DriverException::ERR_CONVERSION);
  }
}

// The factory answers for every id, -1 (a database set nobody named) included, with one
// instance per id. A set we cannot convert keeps its own bytes as they are, but any conversion
// into or out of it raises ERR_CONVERSION.
TEST(CharsetConverterTest, EveryIdHasAConverterThatRefusesWhatItCannotConvert) {
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  const auto e = bytesOf({0xC3, 0xA9});
  for (const int32_t id : {-1, 0, 2000, 9999}) {
    const auto unknown = CharsetConverter::forId(id);
    ASSERT_TRUE(unknown) << id;
    EXPECT_EQ(unknown->id(), id);
    EXPECT_EQ(CharsetConverter::forId(id), unknown);
    EXPECT_TRUE(unknown->convert(*unknown, *e, 0, 2)->sameContents(*e));
    for (const auto& refused : std::vector<std::function<void()>>{
             [&] { unknown->convert(*utf8, *e, 0, 2); }, [&] { utf8->convert(*unknown, *e, 0, 2); },
             [&] { unknown->encode("a"); }, [&] { unknown->decode(*e); }}) {
      EXPECT_EQ(codeOf(refused), DriverException::ERR_CONVERSION) << id;
    }
  }
}

// One converter serves every thread at once; each conversion gets the whole answer.
TEST(CharsetConverterTest, ConvertersAreSharedByConcurrentThreads) {
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  const auto utf16 = CharsetConverter::forId(CharsetConverter::UTF_16BE);
  const auto source = bytesOf(ZOE[1].bytes);
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const auto& to = (i + t) % 2 == 0 ? ZOE[0] : ZOE[2];
        const auto out = (to.id == iso->id() ? iso : utf16)->convert(*utf8, *source, 0, source->length());
        wrong[t] += out->sameContents(*bytesOf(to.bytes)) ? 0 : 1;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace kelvor::jdbc
