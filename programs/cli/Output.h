// Output of the command line: values as a terminal may safely show them, and as JSON
// exactly as the log holds them.
//
// Text output never hands a value's control characters to the terminal: an escape
// sequence inside a logged value could rewrite the screen or the window title. Control
// characters (C0, DEL, C1), the bidirectional overrides and bytes that are not UTF-8 are
// shown as \xHH or \uHHHH; a line break inside a value starts an indented continuation
// line. JSON carries the exact text; a value that is not UTF-8 gets its bytes beside it.
// Free functions, no state.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tarvesk::cli {

bool IsUtf8(std::string_view text);

// One line of a value for the terminal: every character that could act on the terminal
// escaped, line breaks (CR LF, CR, LF) included.
std::string Escaped(std::string_view text);

// Writes prefix + value; each further line of the value (after CR LF, CR or LF) starts
// on a new line indented by the width of prefix.
void WriteValue(std::ostream& out, std::string_view prefix, std::string_view value);

// The JSON string of a text; invalid UTF-8 shows as U+FFFD, so callers that need the
// exact bytes use PutText.
nlohmann::json JsonText(std::string_view text);
// object[key] = the text; when it is not UTF-8 also object[key + "Bytes"] = its bytes in
// hexadecimal, so the value stays exact.
void PutText(nlohmann::json& object, const std::string& key, std::string_view text);
// A logged value typed: a whole or decimal number whose text JSON writes back exactly
// becomes a number, anything else stays text (with its bytes when not UTF-8).
void PutValue(nlohmann::json& object, const std::string& key, std::string_view text);

// A date as the log writes it (T.M.JJJJ [hh:mm[:ss]]) in ISO 8601 (2026-12-01 or
// 2026-12-01T08:30:12); nullopt for any other text.
std::optional<std::string> IsoDate(std::string_view text);
// object[key] = text, and object[key + "Iso"] = its ISO 8601 form when it is a date.
void PutDate(nlohmann::json& object, const std::string& key, std::string_view text);

}  // namespace tarvesk::cli
