#include "base/text.h"

#include <gtest/gtest.h>

namespace pq::text {
namespace {

// Every accented letter the program shows, with its Windows-1252 byte.
TEST(Text, AccentedLettersRoundTripThroughAnsi) {
    const struct {
        const char* utf8;
        unsigned char ansi;
    } letters[] = {{"á", 0xE1}, {"à", 0xE0}, {"â", 0xE2}, {"ã", 0xE3}, {"é", 0xE9}, {"ê", 0xEA},
                   {"í", 0xED}, {"ó", 0xF3}, {"ô", 0xF4}, {"õ", 0xF5}, {"ú", 0xFA}, {"ç", 0xE7},
                   {"Á", 0xC1}, {"É", 0xC9}, {"Í", 0xCD}, {"Ó", 0xD3}, {"Ú", 0xDA}, {"Ç", 0xC7},
                   {"Ã", 0xC3}, {"Õ", 0xD5}, {"Â", 0xC2}, {"Ê", 0xCA}, {"Ô", 0xD4}, {"ü", 0xFC}};
    for (const auto& l : letters) {
        const std::string ansi = Utf8ToAnsi(l.utf8);
        ASSERT_EQ(ansi.size(), 1u) << l.utf8;
        EXPECT_EQ(static_cast<unsigned char>(ansi[0]), l.ansi) << l.utf8;
        EXPECT_EQ(AnsiToUtf8(ansi), l.utf8);
    }
    EXPECT_EQ(Utf8ToAnsi("Não Registrado"), "N\xE3o Registrado");
    EXPECT_EQ(Utf8ToAnsi("Física"), "F\xEDsica");
}

TEST(Text, UnmappableAndMalformedBecomeQuestionMarks) {
    bool lossless = true;
    EXPECT_EQ(FromUtf8("a\xE2\x82\xAC b", 1252, &lossless), "a\x80 b");  // euro sign exists
    EXPECT_TRUE(lossless);
    EXPECT_EQ(FromUtf8("\xE4\xB8\xAD", 1252, &lossless), "?");  // a CJK letter
    EXPECT_FALSE(lossless);
    lossless = true;
    EXPECT_EQ(FromUtf8("x\xC3", 1252, &lossless), "x?");  // cut sequence
    EXPECT_FALSE(lossless);
    // One byte in the code page for each character or malformed byte: a field's length is
    // checked by counting, without converting.
    for (const char* s : {"", "abc", "Questões é", "\xE4\xB8\xAD!", "x\xC3", "\xFF\xFE\x80",
                          "\xED\xA0\x80", "\xF0\x9F\x98\x80z", "\xC0\xAF", "\xE2\x82"})
        for (int cp : {1252, 850, 437})
            EXPECT_EQ(FromUtf8(s, cp).size(), CodePointCount(s)) << s << " " << cp;
}

// ASCII is taken eight bytes at a time and two-byte letters on the spot: the edges of both.
TEST(Text, AsciiRunsAndTwoByteLettersAtEveryEdge) {
    bool lossless = true;
    EXPECT_EQ(FromUtf8("abcdefgh\xC3\xA9", 1252, &lossless), "abcdefgh\xE9");
    EXPECT_TRUE(lossless);
    EXPECT_EQ(FromUtf8("abcdefgh\xC3", 1252, &lossless), "abcdefgh?");  // cut at the end
    EXPECT_FALSE(lossless);
    EXPECT_EQ(FromUtf8("\xC3(", 1252), "?(");         // no continuation byte
    EXPECT_EQ(FromUtf8("\xC1\x81", 1252), "??");      // overlong
    EXPECT_EQ(FromUtf8("\xDF\xBF", 1252), "?");       // U+07FF, not in the code page
    EXPECT_EQ(FromUtf8("\xC2\xA0x", 1252), "\xA0x");  // the lowest two-byte letter
    const std::string latin = "0123456789\xE9\xE7\xE3 abcdefghijklmnop\xC7";
    const std::string utf8 = ToUtf8(latin, 1252);
    EXPECT_EQ(utf8, "0123456789\xC3\xA9\xC3\xA7\xC3\xA3 abcdefghijklmnop\xC3\x87");
    EXPECT_EQ(FromUtf8(utf8, 1252), latin);
    EXPECT_EQ(CodePointCount(utf8), latin.size());
    for (size_t cut = 0; cut <= utf8.size(); ++cut) {
        const std::string part = utf8.substr(0, cut);
        EXPECT_EQ(FromUtf8(part, 1252).size(), CodePointCount(part)) << cut;
    }
    EXPECT_EQ(ToUtf8("", 1252), "");
    EXPECT_EQ(ToUtf8(std::string(17, 'a'), 850), std::string(17, 'a'));
    // One letter at every place of texts around the eight-byte steps, and a run of them.
    for (size_t length = 1; length <= 26; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (size_t letters : {size_t{1}, size_t{3}}) {
                std::string text(length, 'x');
                std::string expected;
                for (size_t k = 0; k < length; ++k) {
                    const bool letter = k >= at && k < at + letters;
                    if (letter) text[k] = '\xE7';
                    expected += letter ? "\xC3\xA7" : "x";
                }
                ASSERT_EQ(ToUtf8(text, 1252), expected) << length << " " << at;
                ASSERT_EQ(FromUtf8(expected, 1252), text) << length << " " << at;
            }
        }
    }
}

TEST(Text, DosCodePages) {
    EXPECT_EQ(ToUtf8("\x87\x82", 437), "çé");
    EXPECT_EQ(FromUtf8("çé", 850), "\x87\x82");
    EXPECT_EQ(ToUtf8("\xC6", 850), "ã");
    EXPECT_TRUE(IsSupportedCodePage(437));
    EXPECT_FALSE(IsSupportedCodePage(866));
}

// Every byte of each code page comes back from UTF-8, alone and inside longer text, and a long
// text converts exactly as its characters do one by one (ASCII runs are copied whole).
TEST(Text, EveryCodePageByteRoundTripsAloneAndInLongText) {
    for (int cp : {437, 850, 1252}) {
        std::string all, expected;
        for (int b = 1; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            const std::string utf8 = ToUtf8(byte, cp);
            bool lossless = true;
            EXPECT_EQ(FromUtf8(utf8, cp, &lossless), byte) << cp << " byte " << b;
            EXPECT_TRUE(lossless);
            all += utf8 + "ab" + std::string(static_cast<size_t>(b % 7), 'x');
            expected += byte + "ab" + std::string(static_cast<size_t>(b % 7), 'x');
        }
        EXPECT_EQ(FromUtf8(all, cp), expected) << cp;
        EXPECT_EQ(ToUtf8(expected, cp), all) << cp;
    }
    bool lossless = true;
    EXPECT_EQ(FromUtf8("Quest\xC3\xB5"
                       "es \xE4\xB8\xAD fim \xC3",
                       1252, &lossless),
              "Quest\xF5"
              "es ? fim ?");
    EXPECT_FALSE(lossless);
}

TEST(Text, Utf16RoundTrip) {
    const std::string s = "Química \xF0\x9F\x98\x80";
    const std::u16string w = Utf8ToUtf16(s);
    EXPECT_EQ(w.size(), 10u);  // eight characters, then a surrogate pair
    EXPECT_EQ(Utf16ToUtf8(w), s);
    EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\xFFFD");
    EXPECT_EQ(CodePointCount("Questões"), 8u);
}

}  // namespace
}  // namespace pq::text
