// The one error type: every failure the user sees carries the program's own message.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pixtrel {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// The text the error box shows: a full stop is added when the last byte sorts
// after '.', so "...fichier" gets one and "...Permission denied." does not.
std::string ErrorBoxText(std::string_view message);

// Replaces each "%s" in `format` by the next argument, in order.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace pixtrel
