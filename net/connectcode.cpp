#include "net/connectcode.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace {

constexpr std::string_view kPrefix = "zt1-";
constexpr size_t kMaxAddresses = 8;

bool NumericAddress(const std::string &text) {
  in_addr v4;
  in6_addr v6;
  std::string host;
  uint16_t port = 0;
  return inet_pton(AF_INET, text.c_str(), &v4) == 1 ||
         inet_pton(AF_INET6, text.c_str(), &v6) == 1 || TConnectCode::Split(text, 1, host, port);
}

} // namespace

int TConnectCode::HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

void TConnectCode::AppendHex(std::string &s, std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
}

std::string_view TConnectCode::Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

std::string TConnectCode::Format() const {
  std::string s(kPrefix);
  AppendHex(s, Secret);
  s += '-' + std::to_string(Port) + '-';
  for (size_t i = 0; i < Addresses.size(); ++i)
    s += (i ? "," : "") + Addresses[i];
  return s;
}

bool TConnectCode::Parse(std::string_view text, TConnectCode &code, std::string &error) {
  text = Trimmed(text);
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    error = "a connect code begins with \"zt1-\"";
    return false;
  }
  text.remove_prefix(kPrefix.size());
  TConnectCode c;
  if (text.size() < 33 || text[32] != '-') {
    error = "the connect code's secret is not 32 hexadecimal digits";
    return false;
  }
  for (size_t i = 0; i < 16; ++i) {
    const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      error = "the connect code's secret is not 32 hexadecimal digits";
      return false;
    }
    c.Secret[i] = uint8_t(hi * 16 + lo);
  }
  text.remove_prefix(33);
  const size_t dash = text.find('-');
  uint32_t port = 0;
  if (dash == 0 || dash > 5 || dash == std::string_view::npos) {
    error = "the connect code has no port";
    return false;
  }
  for (char ch : text.substr(0, dash)) {
    if (ch < '0' || ch > '9') {
      error = "the connect code's port is not a number";
      return false;
    }
    port = port * 10 + uint32_t(ch - '0');
  }
  if (port == 0 || port > 65535) {
    error = "the connect code's port is not between 1 and 65535";
    return false;
  }
  c.Port = uint16_t(port);
  text.remove_prefix(dash + 1);
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string address(text.substr(0, comma));
    if (address.empty() || address.size() > 45 || !NumericAddress(address)) {
      error = "\"" + address.substr(0, 45) + "\" in the connect code is not an IP address";
      return false;
    }
    if (c.Addresses.size() == kMaxAddresses) {
      error = "the connect code has more than 8 addresses";
      return false;
    }
    c.Addresses.push_back(address);
    if (comma == std::string_view::npos)
      break;
    text.remove_prefix(comma + 1);
  }
  if (c.Addresses.empty()) {
    error = "the connect code has no address";
    return false;
  }
  code = c;
  return true;
}

bool TConnectCode::Split(const std::string &address, uint16_t port, std::string &host,
                         uint16_t &hostPort) {
  in_addr v4;
  in6_addr v6;
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
      inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
    host = address;
    hostPort = port;
    return true;
  }
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon + 1 == address.size() || address.size() - colon > 6)
    return false;
  uint32_t p = 0;
  for (char ch : address.substr(colon + 1)) {
    if (ch < '0' || ch > '9')
      return false;
    p = p * 10 + uint32_t(ch - '0');
  }
  if (p == 0 || p > 65535 || inet_pton(AF_INET, address.substr(0, colon).c_str(), &v4) != 1)
    return false;
  host = address.substr(0, colon);
  hostPort = uint16_t(p);
  return true;
}

std::vector<std::string> TConnectCode::LocalAddresses() {
  std::vector<std::string> v4, v6;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs *a = list; a; a = a->ifa_next) {
      if (!a->ifa_addr || !(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK))
        continue;
      char text[INET6_ADDRSTRLEN] = {};
      if (a->ifa_addr->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(a->ifa_addr)->sin_addr, text,
                  sizeof text);
        v4.push_back(text);
      } else if (a->ifa_addr->sa_family == AF_INET6) {
        const in6_addr &addr = reinterpret_cast<sockaddr_in6 *>(a->ifa_addr)->sin6_addr;
        // Link-local addresses need an interface name, which the other
        // machine's differs from.
        if (IN6_IS_ADDR_LINKLOCAL(&addr))
          continue;
        inet_ntop(AF_INET6, &addr, text, sizeof text);
        v6.push_back(text);
      }
    }
    freeifaddrs(list);
  }
  std::vector<std::string> all = v4;
  all.insert(all.end(), v6.begin(), v6.end());
  if (all.size() > kMaxAddresses)
    all.resize(kMaxAddresses);
  if (all.empty())
    all.push_back("127.0.0.1");
  return all;
}
