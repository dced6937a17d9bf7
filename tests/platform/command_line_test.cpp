#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(splitCommandLine, WindowsRules) {
    struct Row {
        std::string commandLine;
        std::vector<std::string> words;
    };
    const Row rows[] = {
        {"C:\\Game\\KEMU_Client.exe ", {"C:\\Game\\KEMU_Client.exe"}},
        {"KEMU_Client.exe DMM viewer_id=123", {"KEMU_Client.exe", "DMM", "viewer_id=123"}},
        {"a.exe  x\t\ty ", {"a.exe", "x", "y"}},
        {"\"C:\\My Game\\KEMU_Client.exe\" a b", {"C:\\My Game\\KEMU_Client.exe", "a", "b"}},
        {"\"C:\\dir\\\\\"x y", {"C:\\dir\\\\x", "y"}},
        {"a.exe \"two words\" x\"y z\"w", {"a.exe", "two words", "xy zw"}},
        {"a.exe \"\" b", {"a.exe", "", "b"}},
        {"a.exe \\\"q\\\"", {"a.exe", "\"q\""}},
        {"a.exe \\\\\"q z\"", {"a.exe", "\\q z"}},
        {"a.exe \\\\\\\"q", {"a.exe", "\\\"q"}},
        {"a.exe C:\\path\\ end\\\\", {"a.exe", "C:\\path\\", "end\\\\"}},
        {"a.exe \"say \"\"hi\"\"\"", {"a.exe", "say \"hi\""}},
        {"a.exe \"unterminated arg", {"a.exe", "unterminated arg"}},
        {"", {""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.commandLine);
        EXPECT_EQ(splitCommandLine(row.commandLine), row.words);
    }
}

}  // namespace
