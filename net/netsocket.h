// The UDP socket of a network session: one dual-stack IPv6 socket, which
// also reaches IPv4 peers under their mapped addresses (::ffff:a.b.c.d),
// or an IPv4 socket alone on a machine without IPv6. Every address that
// goes in or comes out is an IPv6 socket address, whatever the socket.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

class TNetSocket {
public:
  TNetSocket() = default;
  ~TNetSocket();
  TNetSocket(const TNetSocket &) = delete;
  TNetSocket &operator=(const TNetSocket &) = delete;

  // Opens a socket on `port` of every address (0: any free one); false,
  // with errno, when neither family can have it.
  bool Bind(uint16_t port);
  // Opens a socket on a port the system chooses when it first sends.
  bool Open();
  void Close();

  // The descriptor, for a caller that waits on it; -1 when closed.
  int Fd() const { return Handle; }
  // The local port.
  uint16_t Port() const;
  // The socket can reach this address: any, on a dual-stack socket.
  bool Reaches(const sockaddr_in6 &to) const;

  // Sends one datagram; the bytes sent, or -1.
  ssize_t Send(const uint8_t *data, size_t size, const sockaddr_in6 &to);
  // The next datagram waiting and where it came from; -1 when none is.
  ssize_t Receive(uint8_t *buffer, size_t room, sockaddr_in6 &from);

  // A numeric address (IPv4 or IPv6) with a port; false when it is not
  // one.
  static bool Address(const std::string &text, uint16_t port, sockaddr_in6 &out);
  // The same address and port.
  static bool Same(const sockaddr_in6 &a, const sockaddr_in6 &b);

private:
  bool OpenFamily(int family);

  int Handle = -1;
  bool V6 = false;
};
