#include "live_client/skin/TextFormat.h"

#include <algorithm>
#include <cstdio>
#include <vector>

std::string FormatText(std::string_view format, std::initializer_list<TextArgument> arguments) {
  const std::vector<TextArgument> args(arguments);
  std::size_t next = 0;
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    std::size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      out.push_back('%');
      i = j;
      continue;
    }
    // Flags, width, precision and length modifiers; '*' is not accepted. A width or precision
    // beyond kMaxFieldWidth is no text a window can show: a damaged language file asking for
    // a billion spaces would cost the client seconds and a gigabyte per message.
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos) ++j;
    auto number = [&] {
      std::size_t value = 0;
      for (; j < format.size() && format[j] >= '0' && format[j] <= '9'; ++j)
        value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(format[j] - '0'), kMaxFieldWidth + 1);
      return value;
    };
    bool fits = number() <= kMaxFieldWidth;
    if (j < format.size() && format[j] == '.') {
      ++j;
      fits = number() <= kMaxFieldWidth && fits;
    }
    const std::size_t lengthStart = j;
    while (j < format.size() && (format[j] == 'l' || format[j] == 'h')) ++j;
    if (j >= format.size() || std::string_view("diuxXsc").find(format[j]) == std::string_view::npos ||
        j - i > 16 || !fits) {
      out.append(format.substr(i, j < format.size() ? j - i + 1 : j - i));
      i = j < format.size() ? j : format.size();
      continue;
    }
    const char conversion = format[j];
    std::string spec(format.substr(i, lengthStart - i));
    const TextArgument* arg = next < args.size() ? &args[next] : nullptr;
    ++next;
    i = j;
    if (!arg) continue;
    char buffer[128];
    if (conversion == 's') {
      const std::string text = std::holds_alternative<std::string>(*arg)
                                   ? std::get<std::string>(*arg)
                                   : std::to_string(std::get<long long>(*arg));
      const int length = std::snprintf(nullptr, 0, (spec + "s").c_str(), text.c_str());
      std::string formatted(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
      std::snprintf(formatted.data(), formatted.size() + 1, (spec + "s").c_str(), text.c_str());
      out += formatted;
    } else {
      const long long value =
          std::holds_alternative<long long>(*arg) ? std::get<long long>(*arg) : 0;
      if (conversion == 'c') {
        out.push_back(static_cast<char>(value));
        continue;
      }
      std::snprintf(buffer, sizeof buffer, (spec + "ll" + conversion).c_str(), value);
      out += buffer;
    }
  }
  return out;
}
