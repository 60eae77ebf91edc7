// The reply code a joiner gives the host when the host's connect code
// reached nothing (the host's router lets nothing in): the joiner's
// addresses and UDP port, so that both can send to each other at once and
// open their NATs and firewalls from inside. It is made under the host's
// secret, and a host refuses one made under another. Written as
//   zr1-<port>-<address>[,<address>...]-<tag, 16 hex digits>
// where an IPv4 address may carry its own port (a.b.c.d:PORT), as in the
// connect code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TReplyCode {
public:
  std::vector<std::string> Addresses;
  uint16_t Port = 0;

  std::string Format(const std::array<uint8_t, 16> &secret) const;
  // Reads a code made under `secret`; on failure says what is wrong with
  // it in `error`.
  static bool Parse(std::string_view text, const std::array<uint8_t, 16> &secret, TReplyCode &code,
                    std::string &error);
};
