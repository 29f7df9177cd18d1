#include "net/host_port.h"

#include <algorithm>

#include "net/field_reader.h"

namespace velmora::net {

std::optional<THostPort> ParseHostPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of("[]:") != std::string_view::npos) {
    return std::nullopt;
  }
  // Digits only: the field reader would also take blanks, a sign and "$" hexadecimal.
  const bool digits =
      !port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  const std::optional<int32_t> number = digits ? ParseIntegerField(port) : std::nullopt;
  if (host.empty() || !number || *number < 1 || *number > 65535) return std::nullopt;
  return THostPort{std::string(host), static_cast<uint16_t>(*number)};
}

std::string WithoutBrackets(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  return std::string(host);
}

std::string JoinHostPort(std::string_view host, uint16_t port) {
  const std::string name(host);
  const std::string text = name.find(':') != std::string::npos ? "[" + name + "]" : name;
  return text + ":" + std::to_string(port);
}

}  // namespace velmora::net
