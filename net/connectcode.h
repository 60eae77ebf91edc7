// The connect code a host gives the other player: the host's addresses,
// its UDP port and a random secret from which both derive the key that
// authenticates every datagram. Written as
//   zt1-<secret, 32 hex digits>-<port>-<address>[,<address>...]
// with numeric IPv4 and IPv6 addresses. An IPv4 address may carry a port
// of its own (a.b.c.d:PORT): a router's outside address, where the port
// mapped to the host's is another one.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The port a host listens on unless told otherwise.
constexpr uint16_t kDefaultPort = 38517;

class TConnectCode {
public:
  std::vector<std::string> Addresses;
  uint16_t Port = 0;
  // 128 random bits.
  std::array<uint8_t, 16> Secret{};

  std::string Format() const;
  // Reads a code; on failure says what is wrong with it in `error`.
  static bool Parse(std::string_view text, TConnectCode &code, std::string &error);
  // The machine's addresses another machine could reach: IPv4 and global
  // IPv6 of the interfaces that are up, loopback only when there is
  // nothing else.
  static std::vector<std::string> LocalAddresses();
  // A hexadecimal digit's value, -1 for none.
  static int HexDigit(char c);
  // Appends `bytes` in lower-case hexadecimal.
  static void AppendHex(std::string &s, std::span<const uint8_t> bytes);
  // A code as pasted, without the spaces and line ends a chat window's
  // copy puts around it.
  static std::string_view Trimmed(std::string_view text);
  // An address of the code and the port to send to: its own, or `port`;
  // false when it is not one.
  static bool Split(const std::string &address, uint16_t port, std::string &host,
                    uint16_t &hostPort);
};
