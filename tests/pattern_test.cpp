#include "pattern.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

// Short texts built from pieces that matter to the patterns, so that keys,
// near-keys, digits and line ends meet in every order.
std::string randomText(std::mt19937& random, const std::vector<std::string>& pieces) {
    std::uniform_int_distribution<size_t> count(0, 8);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (size_t n = count(random); n > 0; --n) text += pieces[pick(random)];
    return text;
}

const std::vector<std::string> idPieces = {
    "account=", "sid=", "viewer_id=", "xsid=", "Account=", "SID=", "account", "=",
    "0",        "12",   "7",          "a",     " ",        "&",    "id=",     "x"};

const std::vector<std::string> elementPieces = {
    "<id>", "</id>",    "<ID>", "</ID>", "<id",
    "id>",  "</",       "<",    ">",     "\r",
    "\n",   "x",        " ",    "DIVU1", std::string(1, '\0'),
    "\t",   "<id></id>"};

TEST(searchPattern, DigitRunsAgreeWithStdRegex) {
    std::mt19937 random(1234);
    for (const char* text : {"account=(\\d+)", "sid=(\\d+)", "viewer_id=(\\d+)"}) {
        const Pattern pattern = makePattern(text);
        const std::regex reference(text);
        for (int i = 0; i < 20000; ++i) {
            const std::string content = randomText(random, idPieces);
            SCOPED_TRACE(std::string(text) + " in \"" + content + "\"");
            std::smatch expected;
            const bool found = std::regex_search(content, expected, reference);
            const PatternMatch match = searchPattern(content, pattern);
            ASSERT_EQ(match.found, found);
            if (!found) continue;
            ASSERT_EQ(match.begin, static_cast<size_t>(expected.position(0)));
            ASSERT_EQ(match.end, static_cast<size_t>(expected.position(0) + expected.length(0)));
            ASSERT_EQ(content.substr(match.captureBegin, match.captureEnd - match.captureBegin),
                      expected.str(1));
        }
    }
}

TEST(replaceMatches, IdElementAgreesWithStdRegex) {
    std::mt19937 random(5678);
    const Pattern pattern = makePattern("<id>.*</id>");
    const std::regex reference("<id>.*</id>");
    const std::string replacement = "<id>DIVU123</id>";
    for (int i = 0; i < 50000; ++i) {
        const std::string line = randomText(random, elementPieces);
        SCOPED_TRACE("\"" + line + "\"");
        std::string actual = line;
        const bool replaced = replaceMatches(actual, pattern, replacement);
        ASSERT_EQ(actual, std::regex_replace(line, reference, replacement));
        ASSERT_EQ(replaced, std::regex_search(line, reference));
    }
}

TEST(searchPattern, KeywordsAgreeWithStdRegex) {
    std::mt19937 random(91011);
    const std::vector<std::string> pieces = {"DMM",        "DM",          "M", "dmm", "kemumclient",
                                             "kemumclien", "KEMUMCLIENT", "t", " ",   "x"};
    for (const char* text : {"kemumclient", "DMM"}) {
        const Pattern pattern = makePattern(text);
        const std::regex reference(text);
        for (int i = 0; i < 5000; ++i) {
            const std::string content = randomText(random, pieces);
            SCOPED_TRACE(std::string(text) + " in \"" + content + "\"");
            ASSERT_EQ(searchPattern(content, pattern).found, std::regex_search(content, reference));
        }
    }
}

// Both searches must stay linear: a quadratic or recursive one takes minutes
// or overflows the stack on these.
TEST(replaceMatches, LongLines) {
    const Pattern pattern = makePattern("<id>.*</id>");
    struct Row {
        const char* name;
        std::string line;
        std::string expected;
    };
    const size_t mebibyte = size_t{1} << 20;
    std::string manyOpenings;
    while (manyOpenings.size() < mebibyte) manyOpenings += "<id>";
    std::string runsBehindAClose = "</id>";
    while (runsBehindAClose.size() < mebibyte) runsBehindAClose += "<id>\r";
    const std::string filler(32 * mebibyte, 'x');
    const Row rows[] = {
        {"1 MiB of openings without a close", manyOpenings, manyOpenings},
        {"1 MiB of CR-separated openings after a close", runsBehindAClose, runsBehindAClose},
        {"64 MiB line with one element", filler + "<id>old</id>" + filler,
         filler + "<id>DIVU1</id>" + filler},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string line = row.line;
        replaceMatches(line, pattern, "<id>DIVU1</id>");
        EXPECT_TRUE(line == row.expected);
    }
}

}  // namespace
