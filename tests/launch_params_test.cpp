#include "launch_params.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

// Holds an argument vector the way the runtime hands it to main.
struct Args {
    explicit Args(std::vector<std::string> words) : strings(std::move(words)) {
        for (std::string& s : strings) pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings.size()); }
    char** argv() { return pointers.data(); }

    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

ParamSource run(std::vector<std::string> words, std::string* log = nullptr) {
    Args args(std::move(words));
    test::LogCapture capture;
    ParamSource result = processParam(args.argc(), args.argv());
    if (log) *log = capture.out();
    EXPECT_EQ(capture.err(), "");
    return result;
}

TEST(processParam, DirectoryPrefix) {
    struct Row {
        std::string programPath;
        std::string execDir;
        std::string logLine;
    };
    const Row rows[] = {
        {"C:\\Games\\DIVU.exe", "C:\\Games\\", "Now excu Directory:C:\\Games\\\n"},
        {"DIVU.exe", "", "Now excu Directory:\n"},
        {"C:\\Games\\divu.exe", "", "Execu Directory parse failed\n"},
        {"C:\\Games\\DIVU.EXE", "", "Execu Directory parse failed\n"},
        {"C:\\Games\\DIVU", "", "Execu Directory parse failed\n"},
        // The last occurrence is the launcher's own name.
        {"C:\\DIVU.exe.d\\DIVU.exe", "C:\\DIVU.exe.d\\", "Now excu Directory:C:\\DIVU.exe.d\\\n"},
        {"C:\\DIVU.exe\\DIVU.exe", "C:\\DIVU.exe\\", "Now excu Directory:C:\\DIVU.exe\\\n"},
        {"C:\\DIVU.exe.d\\run", "C:\\.d\\run", "Now excu Directory:C:\\.d\\run\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.programPath);
        std::string log;
        EXPECT_EQ(run({row.programPath}, &log).execDir, row.execDir);
        EXPECT_EQ(log.substr(0, log.find("input param: ")),
                  "Pre excu Directory:" + row.programPath + "\n" + row.logLine);
    }
}

TEST(processParam, JoinsArgumentsWithSingleBlanks) {
    struct Row {
        std::vector<std::string> arguments;
        std::string param;
    };
    const Row rows[] = {
        {{}, ""},        {{"DMM"}, "DMM"},        {{"a", "", "b"}, "a  b"},
        {{"", ""}, " "}, {{"a b", "c"}, "a b c"}, {{" lead", "trail "}, " lead trail "},
    };
    for (const Row& row : rows) {
        std::vector<std::string> words = {"C:\\Games\\DIVU.exe"};
        words.insert(words.end(), row.arguments.begin(), row.arguments.end());
        SCOPED_TRACE("param \"" + row.param + "\"");
        std::string log;
        EXPECT_EQ(run(words, &log).param, row.param);
        EXPECT_NE(log.find("\ninput param: " + row.param + "\n"), std::string::npos) << log;
    }
}

TEST(judgePlatform, FirstArgumentAlone) {
    struct Row {
        std::vector<std::string> words;
        Platform platform;
    };
    const Row rows[] = {
        {{"DIVU.exe"}, Platform::NONE},
        {{"DIVU.exe", ""}, Platform::NONE},
        {{"DIVU.exe", "kemumclient"}, Platform::JP},
        {{"DIVU.exe", "x-kemumclient://launch"}, Platform::JP},
        {{"DIVU.exe", "DMM"}, Platform::DMM},
        {{"DIVU.exe", "fromDMMgames"}, Platform::DMM},
        {{"DIVU.exe", "DMM+kemumclient"}, Platform::JP},
        {{"DIVU.exe", "kemumclient+DMM"}, Platform::JP},
        {{"DIVU.exe", "dmm"}, Platform::NONE},
        {{"DIVU.exe", "Dmm"}, Platform::NONE},
        {{"DIVU.exe", "KemumClient"}, Platform::NONE},
        {{"DIVU.exe", "DM"}, Platform::NONE},
        {{"DIVU.exe", "kemumclien"}, Platform::NONE},
        {{"DIVU.exe", "other", "DMM"}, Platform::NONE},
        {{"DIVU.exe", "other", "kemumclient"}, Platform::NONE},
        {{"C:\\DMM\\kemumclient\\DIVU.exe", "other"}, Platform::NONE},
    };
    for (const Row& row : rows) {
        Args args(row.words);
        SCOPED_TRACE(args.argc() > 1 ? row.words[1] : "(no argument)");
        EXPECT_EQ(judgePlatform(args.argc(), args.argv()), row.platform);
    }
}

TEST(matchId, LeftmostMatchWithTheWholeDigitRun) {
    struct Row {
        std::string content;
        std::string pattern;
        std::string id;
    };
    const Row rows[] = {
        {"account=abc account=12", "account=(\\d+)", "12"},
        {"xsid=5", "sid=(\\d+)", "5"},
        {"xsid=5 sid=7", "sid=(\\d+)", "5"},
        {"account=0123x", "account=(\\d+)", "0123"},
        {"account=1 account=2", "account=(\\d+)", "1"},
        {"Account=7", "account=(\\d+)", ""},
        {"SID=5", "sid=(\\d+)", ""},
        {"account= 12", "account=(\\d+)", ""},
        {"a=1&account=12&sid=34", "account=(\\d+)", "12"},
        {"a=1&account=12&sid=34", "sid=(\\d+)", "34"},
        {"viewer_id=123", "viewer_id=(\\d+)", "123"},
        {"", "viewer_id=(\\d+)", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern + " in \"" + row.content + "\"");
        test::LogCapture capture;
        EXPECT_EQ(matchId(row.content, makePattern(row.pattern)), row.id);
        EXPECT_EQ(capture.out(),
                  row.id.empty() ? "match faild\n" : "match account success:" + row.id + "\n");
    }
}

// A Windows command line holds up to 32,767 characters; natively an argument
// may be far longer.
TEST(matchId, VeryLongDigitRun) {
    const size_t length = test::windowsBuild ? 32000 : 100000;
    const std::string digits(length, '7');
    test::LogCapture capture;
    EXPECT_EQ(matchId("x account=" + digits + "&", makePattern("account=(\\d+)")), digits);
    EXPECT_EQ(matchId(std::string(length, '9'), makePattern("sid=(\\d+)")), "");
}

TEST(processParam, WholeLogPerPlatform) {
    struct Row {
        const char* name;
        std::vector<std::string> words;
        std::string id;
        std::string sid;
        std::string log;
    };
    const Row rows[] = {
        {"DMM",
         {"C:\\Game\\DIVU.exe", "DMM", "viewer_id=123", "sid=5"},
         "123",
         "",
         "Pre excu Directory:C:\\Game\\DIVU.exe\n"
         "Now excu Directory:C:\\Game\\\n"
         "input param: DMM viewer_id=123 sid=5\n"
         "match account success:123\n"
         "id: 123\n"
         "sid:\n"},
        {"JP",
         {"C:\\Game\\DIVU.exe", "kemumclient", "account=42", "viewer_id=9", "sid=0815"},
         "42",
         "0815",
         "Pre excu Directory:C:\\Game\\DIVU.exe\n"
         "Now excu Directory:C:\\Game\\\n"
         "input param: kemumclient account=42 viewer_id=9 sid=0815\n"
         "match account success:42\n"
         "match account success:0815\n"
         "id: 42\n"
         "sid:0815\n"},
        {"JP with the sid alone",
         {"C:\\Game\\DIVU.exe", "kemumclient", "sid=7"},
         "",
         "7",
         "Pre excu Directory:C:\\Game\\DIVU.exe\n"
         "Now excu Directory:C:\\Game\\\n"
         "input param: kemumclient sid=7\n"
         "match faild\n"
         "match account success:7\n"
         "id: \n"
         "sid:7\n"},
        {"NONE",
         {"launcher.exe", "other", "account=1", "viewer_id=2", "sid=3"},
         "",
         "",
         "Pre excu Directory:launcher.exe\n"
         "Execu Directory parse failed\n"
         "input param: other account=1 viewer_id=2 sid=3\n"
         "id: \n"
         "sid:\n"},
        {"no arguments",
         {"C:\\Game\\DIVU.exe"},
         "",
         "",
         "Pre excu Directory:C:\\Game\\DIVU.exe\n"
         "Now excu Directory:C:\\Game\\\n"
         "input param: \n"
         "id: \n"
         "sid:\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string log;
        const ParamSource source = run(row.words, &log);
        EXPECT_EQ(log, row.log);
        EXPECT_EQ(source.id, row.id);
        EXPECT_EQ(source.sid, row.sid);
    }
}

}  // namespace
