#include "platform/command_line.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    size_t i = 0;
    const size_t n = commandLine.size();

    // The program's name can hold no quote, so quotes only group.
    std::string program;
    bool inQuotes = false;
    for (; i < n && (inQuotes || !isBlank(commandLine[i])); ++i) {
        if (commandLine[i] == '"') {
            inQuotes = !inQuotes;
        } else {
            program += commandLine[i];
        }
    }
    words.push_back(program);

    while (true) {
        while (i < n && isBlank(commandLine[i])) ++i;
        if (i >= n) break;
        std::string word;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(commandLine[i]))) {
            size_t backslashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                word.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    word += '"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    // "" inside quotes is one literal quote.
                    word += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(backslashes, '\\');
                if (i < n && (quoted || !isBlank(commandLine[i]))) word += commandLine[i++];
            }
        }
        words.push_back(word);
    }
    return words;
}
