#include "net/netsocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// An IPv4 address under its IPv6 name, ::ffff:a.b.c.d; the port is in
// network order.
sockaddr_in6 Mapped(const in_addr &v4, in_port_t port) {
  sockaddr_in6 out{};
  out.sin6_family = AF_INET6;
  out.sin6_port = port;
  out.sin6_addr.s6_addr[10] = out.sin6_addr.s6_addr[11] = 0xFF;
  std::memcpy(&out.sin6_addr.s6_addr[12], &v4, 4);
  return out;
}

} // namespace

TNetSocket::~TNetSocket() {
  Close();
}

bool TNetSocket::OpenFamily(int family) {
  Close();
  Handle = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  V6 = family == AF_INET6;
  if (Handle >= 0 && V6) {
    const int off = 0;
    setsockopt(Handle, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
  }
  return Handle >= 0;
}

bool TNetSocket::Bind(uint16_t port) {
  if (OpenFamily(AF_INET6)) {
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(port);
    any.sin6_addr = in6addr_any;
    if (bind(Handle, reinterpret_cast<sockaddr *>(&any), sizeof any) == 0)
      return true;
  }
  // A machine without IPv6 hosts on IPv4 alone.
  if (OpenFamily(AF_INET)) {
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    if (bind(Handle, reinterpret_cast<sockaddr *>(&any), sizeof any) == 0)
      return true;
  }
  const int error = errno;
  Close();
  errno = error;
  return false;
}

bool TNetSocket::Open() {
  return OpenFamily(AF_INET6) || OpenFamily(AF_INET);
}

void TNetSocket::Close() {
  if (Handle >= 0)
    close(Handle);
  Handle = -1;
}

uint16_t TNetSocket::Port() const {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (Handle < 0 || getsockname(Handle, reinterpret_cast<sockaddr *>(&local), &length) != 0)
    return 0;
  return ntohs(V6 ? reinterpret_cast<sockaddr_in6 &>(local).sin6_port
                  : reinterpret_cast<sockaddr_in &>(local).sin_port);
}

bool TNetSocket::Reaches(const sockaddr_in6 &to) const {
  return V6 || IN6_IS_ADDR_V4MAPPED(&to.sin6_addr);
}

ssize_t TNetSocket::Send(const uint8_t *data, size_t size, const sockaddr_in6 &to) {
  if (Handle < 0)
    return -1;
  if (V6)
    return sendto(Handle, data, size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = to.sin6_port;
  std::memcpy(&v4.sin_addr, &to.sin6_addr.s6_addr[12], 4);
  return sendto(Handle, data, size, 0, reinterpret_cast<const sockaddr *>(&v4), sizeof v4);
}

ssize_t TNetSocket::Receive(uint8_t *buffer, size_t room, sockaddr_in6 &from) {
  while (Handle >= 0) {
    sockaddr_storage source{};
    socklen_t length = sizeof source;
    const ssize_t n =
        recvfrom(Handle, buffer, room, 0, reinterpret_cast<sockaddr *>(&source), &length);
    if (n < 0)
      return -1;
    if (source.ss_family == AF_INET6) {
      from = reinterpret_cast<sockaddr_in6 &>(source);
      return n;
    }
    if (source.ss_family == AF_INET) {
      const sockaddr_in &v4 = reinterpret_cast<sockaddr_in &>(source);
      from = Mapped(v4.sin_addr, v4.sin_port);
      return n;
    }
  }
  return -1;
}

bool TNetSocket::Address(const std::string &text, uint16_t port, sockaddr_in6 &out) {
  in_addr v4;
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    out = Mapped(v4, htons(port));
    return true;
  }
  out = sockaddr_in6{};
  out.sin6_family = AF_INET6;
  out.sin6_port = htons(port);
  return inet_pton(AF_INET6, text.c_str(), &out.sin6_addr) == 1;
}

bool TNetSocket::Same(const sockaddr_in6 &a, const sockaddr_in6 &b) {
  return a.sin6_port == b.sin6_port &&
         std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
}
