// Server addresses on command lines: "HOST:PORT", with an IPv6 address in
// brackets ("[::1]:64000"), and the same form for messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::net {

struct THostPort {
  std::string Host;   // a name or an address, without brackets
  uint16_t Port = 0;  // 1..65535; 0 too for an address to listen on
};

// "host:port" or "[ipv6]:port"; nothing when the host is empty, the port is
// not a decimal number 1..65535, or an IPv6 address lacks its brackets (its
// colons would leave the port in doubt).
std::optional<THostPort> ParseHostPort(std::string_view text);

// An address to listen on: "port", "host:port" or "[ipv6]:port", the port
// 0..65535 (0: any free one); a port alone listens on `defaultHost`. Nothing
// on the faults ParseHostPort refuses.
std::optional<THostPort> ParseListenAddress(std::string_view text, std::string_view defaultHost);

// A host as given on a command line: "[::1]" is the address ::1.
std::string WithoutBrackets(std::string_view host);

// "host:port", an IPv6 address in brackets, as ParseHostPort reads it back.
std::string JoinHostPort(std::string_view host, uint16_t port);

}  // namespace velmora::net
