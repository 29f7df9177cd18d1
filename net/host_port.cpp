#include "net/host_port.h"

#include <algorithm>

#include "net/option_reader.h"

namespace velmora::net {

namespace {

// A port number lowest..65535 in decimal digits alone, without a sign.
std::optional<uint16_t> ReadPort(std::string_view port, int32_t lowest) {
  const bool digits = port.size() <= 5 && std::all_of(port.begin(), port.end(),
                                                      [](char c) { return c >= '0' && c <= '9'; });
  const std::optional<int64_t> number =
      digits ? ReadWholeNumber(port, lowest, 65535) : std::nullopt;
  if (!number) return std::nullopt;
  return static_cast<uint16_t>(*number);
}

std::optional<THostPort> ReadHostPort(std::string_view text, int32_t lowestPort) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of("[]:") != std::string_view::npos) {
    return std::nullopt;
  }
  const std::optional<uint16_t> port = ReadPort(text.substr(colon + 1), lowestPort);
  if (host.empty() || !port) return std::nullopt;
  return THostPort{std::string(host), *port};
}

}  // namespace

std::optional<THostPort> ParseHostPort(std::string_view text) {
  return ReadHostPort(text, 1);
}

std::optional<THostPort> ParseListenAddress(std::string_view text, std::string_view defaultHost) {
  if (text.find(':') != std::string_view::npos) return ReadHostPort(text, 0);
  const std::optional<uint16_t> port = ReadPort(text, 0);
  if (!port) return std::nullopt;
  return THostPort{std::string(defaultHost), *port};
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
