#include "core/error.h"

namespace pixtrel {

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
    text += '.';
  }
  return text;
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string text;
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && arg != args.end()) {
      text += *arg++;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

}  // namespace pixtrel
