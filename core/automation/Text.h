// Text helpers: ANSI (Windows-1252) decoding and encoding, UTF-8/UTF-16 conversion, UTF-8
// character counting, and the line splitting of log files: a line ends at CR or at CR LF; a
// lone LF stays in the line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvesk {

// Appends the UTF-8 form of 8-bit ANSI text. Bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number, as
// Windows does, so that no byte is lost.
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
std::string AnsiToUtf8(std::string_view ansi);

// The Windows-1252 byte of a code point, if it has one.
std::optional<unsigned char> AnsiByteOf(char32_t codePoint);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
// Reads the code point at text[pos] and advances pos; a malformed byte reads as itself.
char32_t NextCodePoint(std::string_view text, size_t& pos);

// The one UTF-8/UTF-16 pair (UTF-16 is the text of COM and Win32). What is malformed (a
// stray byte, a lone surrogate) becomes U+FFFD, as the system's own conversions do.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Number of characters (code points) of UTF-8 text.
size_t CharCount(std::string_view text);
// Characters first..first+count-1 (0-based, in characters) of UTF-8 text, clipped.
std::string_view CharSubstr(std::string_view text, size_t first, size_t count);

// The lines of a text: split at CR and CR LF. A break at the very end opens no new line.
std::vector<std::string> SplitLines(std::string_view text);

// Removes leading and trailing blanks (U+0020 only; tabs stay).
std::string_view TrimBlanks(std::string_view text);

}  // namespace tarvesk
