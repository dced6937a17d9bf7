#include "pattern.h"

#include <string_view>

namespace {

constexpr std::string_view digitRun = "(\\d+)";
constexpr std::string_view anyRun = ".*";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

PatternMatch searchDigitRun(const std::string& text, const Pattern& pattern, size_t from) {
    for (size_t at = text.find(pattern.head, from); at != std::string::npos;
         at = text.find(pattern.head, at + 1)) {
        const size_t digits = at + pattern.head.size();
        if (digits < text.size() && isDigit(text[digits])) {
            size_t end = digits;
            while (end < text.size() && isDigit(text[end])) ++end;
            return {true, at, end, digits, end};
        }
    }
    return {};
}

// "." stops at CR and LF, so a match lies within one run of text between them:
// from the first head in that run to the last tail after it. When the first
// head of a run has no tail after it, no later head of that run has one
// either, and the search moves on to the next run; each run is read once.
PatternMatch searchAnyRun(const std::string& text, const Pattern& pattern, size_t from) {
    const std::string_view view = text;
    size_t at = text.find(pattern.head, from);
    while (at != std::string::npos) {
        const size_t body = at + pattern.head.size();
        const size_t runEnd = std::min(text.find_first_of("\r\n", body), text.size());
        const size_t tail = view.substr(body, runEnd - body).rfind(pattern.tail);
        if (tail != std::string_view::npos) {
            return {true, at, body + tail + pattern.tail.size(), 0, 0};
        }
        at = text.find(pattern.head, runEnd);
    }
    return {};
}

}  // namespace

Pattern makePattern(const std::string& text) {
    if (endsWith(text, digitRun)) {
        return {Pattern::Shape::DigitRun, text.substr(0, text.size() - digitRun.size()), {}};
    }
    const size_t any = text.find(anyRun);
    if (any != std::string::npos) {
        return {Pattern::Shape::AnyRun, text.substr(0, any), text.substr(any + anyRun.size())};
    }
    return {Pattern::Shape::Literal, text, {}};
}

PatternMatch searchPattern(const std::string& text, const Pattern& pattern, size_t from) {
    switch (pattern.shape) {
        case Pattern::Shape::DigitRun:
            return searchDigitRun(text, pattern, from);
        case Pattern::Shape::AnyRun:
            return searchAnyRun(text, pattern, from);
        case Pattern::Shape::Literal:
            break;
    }
    const size_t at = text.find(pattern.head, from);
    if (at == std::string::npos) return {};
    return {true, at, at + pattern.head.size(), 0, 0};
}

bool replaceMatches(std::string& text, const Pattern& pattern, const std::string& replacement) {
    PatternMatch match = searchPattern(text, pattern);
    if (!match.found) return false;
    std::string result;
    result.reserve(text.size() + replacement.size());
    size_t kept = 0;
    while (match.found) {
        result.append(text, kept, match.begin - kept);
        result += replacement;
        kept = match.end;
        // An empty match moves on by one character, as std::regex_replace does.
        if (match.end == match.begin) {
            if (kept == text.size()) break;
            result += text[kept++];
        }
        match = searchPattern(text, pattern, kept);
    }
    result.append(text, kept, std::string::npos);
    text.swap(result);
    return true;
}
