#include "platform/utf16.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(utf16, RoundTripsEveryKindOfCharacter) {
    struct Row {
        const char* name;
        std::u16string utf16;
        std::string utf8;
    };
    const Row rows[] = {
        {"empty", u"", ""},
        {"ASCII", u"C:\\Game\\DIVU.exe", "C:\\Game\\DIVU.exe"},
        {"two bytes", u"\u00E9", "\xC3\xA9"},
        {"three bytes", u"\u65E5\u672C", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"four bytes, a surrogate pair", u"\U0001F3AE", "\xF0\x9F\x8E\xAE"},
        {"NUL inside", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
        // Windows allows these in names; each keeps its own three-byte form.
        {"unpaired high surrogate", std::u16string(1, char16_t(0xD800)) + u"x", "\xED\xA0\x80x"},
        {"unpaired low surrogate", std::u16string(1, char16_t(0xDFFF)), "\xED\xBF\xBF"},
        {"low before high", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
         "\xED\xB0\x80\xED\xA0\x80"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(utf8FromUtf16(row.utf16), row.utf8);
        EXPECT_EQ(utf16FromUtf8(row.utf8), std::optional<std::u16string>(row.utf16));
    }
}

// Text that no UTF-16 name gives would otherwise reach the file system as some
// other name; it names none.
TEST(utf16, RefusesWhatNoNameGives) {
    const char* const rows[] = {
        "\x80",                      // a continuation byte alone
        "\xC3",                      // a sequence cut short
        "\xC3x",                     // a sequence broken off
        "\xC0\xAF",                  // an overlong "/"
        "\xE0\x80\xAF",              // another
        "\xF4\x90\x80\x80",          // beyond U+10FFFF
        "\xFF",                      // never in UTF-8
        "\xED\xA0\xBD\xED\xBE\xAE",  // a pair as two three-byte forms: U+1F3AE's own is four
    };
    for (const char* row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row)));
        EXPECT_EQ(utf16FromUtf8(row), std::nullopt);
    }
}

}  // namespace
