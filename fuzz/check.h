// Checks that hold in every build type, and that say what the input was when they fail.
#pragma once

#include <string>
#include <string_view>

namespace pixtrel::fuzz {

// Prints the failed condition and the named texts, then aborts so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* condition, const char* file, int line,
                       std::initializer_list<std::pair<const char*, std::string_view>> shown);

// Bytes as a C string literal would write them, cut to a readable length.
std::string Escaped(std::string_view bytes);

}  // namespace pixtrel::fuzz

#define FUZZ_CHECK(condition, ...)                                          \
  do {                                                                      \
    if (!(condition))                                                       \
      ::pixtrel::fuzz::Fail(#condition, __FILE__, __LINE__, {__VA_ARGS__}); \
  } while (false)
