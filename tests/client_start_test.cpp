#include "client_start.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(clientCommandLine, QuotesThePathOnlyWhenItHoldsABlank) {
    struct Row {
        std::string execDir;
        std::string param;
        std::string commandLine;
    };
    const Row rows[] = {
        {"C:\\Game\\", "DMM viewer_id=123", "C:\\Game\\KEMU_Client.exe DMM viewer_id=123"},
        {"C:\\Game\\", "", "C:\\Game\\KEMU_Client.exe "},
        {"", "a  b", "KEMU_Client.exe a  b"},
        {"C:\\Program Files\\Game\\", "DMM x",
         "\"C:\\Program Files\\Game\\KEMU_Client.exe\" DMM x"},
        {"C:\\Tab\tGame\\", "", "\"C:\\Tab\tGame\\KEMU_Client.exe\" "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.execDir);
        EXPECT_EQ(clientCommandLine(row.execDir, row.param), row.commandLine);
    }
}

}  // namespace
