#include "net/replycode.h"

#include "net/connectcode.h"

#include <sodium.h>

namespace {

constexpr std::string_view kPrefix = "zr1-";
constexpr size_t kTagBytes = 8;

// The tag of the code's text before it, keyed with the host's secret.
std::array<uint8_t, kTagBytes> Tag(std::string_view text, const std::array<uint8_t, 16> &secret) {
  static const char context[] = "zoftrel reply code 1";
  uint8_t key[32];
  crypto_generichash(key, sizeof key, reinterpret_cast<const uint8_t *>(context),
                     sizeof context - 1, secret.data(), secret.size());
  std::array<uint8_t, kTagBytes> tag;
  crypto_generichash(tag.data(), tag.size(), reinterpret_cast<const uint8_t *>(text.data()),
                     text.size(), key, sizeof key);
  return tag;
}

} // namespace

std::string TReplyCode::Format(const std::array<uint8_t, 16> &secret) const {
  std::string s = std::string(kPrefix) + std::to_string(Port) + '-';
  for (size_t i = 0; i < Addresses.size(); ++i)
    s += (i ? "," : "") + Addresses[i];
  s += '-';
  TConnectCode::AppendHex(s, Tag(s, secret));
  return s;
}

bool TReplyCode::Parse(std::string_view text, const std::array<uint8_t, 16> &secret,
                       TReplyCode &code, std::string &error) {
  text = TConnectCode::Trimmed(text);
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    error = "a reply code begins with \"zr1-\"";
    return false;
  }
  const size_t tagAt = text.rfind('-');
  if (tagAt == std::string_view::npos || text.size() - tagAt - 1 != 2 * kTagBytes) {
    error = "the reply code is cut short";
    return false;
  }
  std::array<uint8_t, kTagBytes> tag;
  for (size_t i = 0; i < kTagBytes; ++i) {
    const int hi = TConnectCode::HexDigit(text[tagAt + 1 + 2 * i]),
              lo = TConnectCode::HexDigit(text[tagAt + 2 + 2 * i]);
    if (hi < 0 || lo < 0) {
      error = "the reply code is damaged";
      return false;
    }
    tag[i] = uint8_t(hi * 16 + lo);
  }
  const std::string_view signedPart = text.substr(0, tagAt + 1);
  if (sodium_memcmp(tag.data(), Tag(signedPart, secret).data(), kTagBytes) != 0) {
    error = "the reply code is damaged, or not made for this game";
    return false;
  }
  // The rest reads as a connect code's port and addresses.
  TConnectCode c;
  std::string inner = "zt1-00000000000000000000000000000000-";
  inner += signedPart.substr(kPrefix.size(), signedPart.size() - kPrefix.size() - 1);
  if (!TConnectCode::Parse(inner, c, error)) {
    error = "the reply code is damaged";
    return false;
  }
  code.Port = c.Port;
  code.Addresses = c.Addresses;
  return true;
}
