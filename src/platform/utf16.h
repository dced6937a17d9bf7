#pragma once

#include <optional>
#include <string>

// UTF-8 to UTF-16 and back, for the names and arguments that Windows gives
// and takes in UTF-16. Windows allows an unpaired surrogate in a name; it is
// carried through UTF-8 in its three-byte form (as WTF-8 does), so that every
// name comes back to the very same UTF-16 and never names another file.

std::string utf8FromUtf16(const std::u16string& text);

// Nothing when text holds bytes that are not UTF-8 in that sense.
std::optional<std::u16string> utf16FromUtf8(const std::string& text);
