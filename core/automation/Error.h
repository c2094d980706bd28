// Error: the one error type of the system. It carries a VB-style error number, the
// source that raised it and a German description as a German system shows it.
// Every operation of the core reports failures by throwing it; the COM boundary turns it
// into an HRESULT 0x800A0000 + number with IErrorInfo, the CLI and the window into a
// message that names the number. Nothing else is thrown across a boundary.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "automation/ErrorNumbers.h"

namespace tarvesk {

// The source named by errors that the component raises itself.
inline constexpr const char* kErrorSource = "TarveskLogManager";

// German standard text for an error number; a generic text for numbers without one.
std::string StandardErrorText(int32_t number);

class Error : public std::exception {
 public:
  // An empty description takes the standard text of the number.
  explicit Error(int32_t number, std::string description = {}, std::string source = kErrorSource);

  int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// "Laufzeitfehler 53: Datei nicht gefunden" - the form the CLI and the window show.
std::string DescribeError(const Error& error);

}  // namespace tarvesk
