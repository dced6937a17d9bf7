#pragma once

#include <string>

// The launcher's regular expressions, searched in linear time with the
// ECMAScript rules: the leftmost match wins and a repetition takes the longest
// run it can. std::regex recurses once per character it matches and overflows
// the stack on a long argument or descriptor line, so the program matches its
// three shapes of pattern itself:
//   literal         "DMM"              the text itself
//   digit run       "sid=(\d+)"        a literal, then one or more digits, captured
//   any run         "<id>.*</id>"      a literal, any characters but CR and LF, a literal
struct Pattern {
    enum class Shape { Literal, DigitRun, AnyRun };
    Shape shape = Shape::Literal;
    std::string head;  // the literal the match starts with
    std::string tail;  // the literal an any run ends with
};

// Reads the pattern text. Text not of the digit-run or any-run shape is taken
// as a literal: the program's patterns hold no other special characters.
Pattern makePattern(const std::string& text);

// Where a match lies in the text, and its capture (digit runs only).
struct PatternMatch {
    bool found = false;
    size_t begin = 0;
    size_t end = 0;
    size_t captureBegin = 0;
    size_t captureEnd = 0;
};

// The leftmost match of the pattern in text that begins at from or later.
PatternMatch searchPattern(const std::string& text, const Pattern& pattern, size_t from = 0);

// Replaces every match, left to right and without overlap, by replacement
// taken literally. Returns whether anything was replaced.
bool replaceMatches(std::string& text, const Pattern& pattern, const std::string& replacement);
