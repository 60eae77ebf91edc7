// Sends junk to a UDP port at a steady rate: random bytes, 0 to 600 long,
// from each of the given source addresses in turn.
//
//   udp_flood --to=ADDRESS:PORT --rate=PER_SECOND --seconds=S
//             [--from=ADDRESS,ADDRESS,...]
//   udp_flood --to=ADDRESS:PORT --seconds=S --replay=NETNS:INTERFACE
//
// With --replay it watches the interface (a bridge's port, in the named
// network namespace) for the datagrams to the port, and sends each one
// again from this namespace under its own source address and port: once
// as it was, once with one bit changed (a different bit each time).
//
// Prints "sent N" at the end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Replays what reaches `port` through the interface, for `seconds`.
int Replay(const std::string &where, const sockaddr_in &target, double seconds) {
  const size_t colon = where.find(':');
  if (colon == std::string::npos) {
    std::fprintf(stderr, "udp_flood: --replay=NETNS:INTERFACE\n");
    return 2;
  }
  // The watching socket lives in the bridge's namespace, the sending one
  // in this one.
  const int here = open("/proc/self/ns/net", O_RDONLY);
  const int there = open(("/run/netns/" + where.substr(0, colon)).c_str(), O_RDONLY);
  if (here < 0 || there < 0 || setns(there, CLONE_NEWNET) != 0) {
    std::perror("udp_flood: namespace");
    return 1;
  }
  // All protocols: a bridge takes its ports' frames before the handlers
  // of one protocol would see them.
  const int watch = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ALL));
  sockaddr_ll link{};
  link.sll_family = AF_PACKET;
  link.sll_protocol = htons(ETH_P_ALL);
  link.sll_ifindex = int(if_nametoindex(where.substr(colon + 1).c_str()));
  if (watch < 0 || link.sll_ifindex == 0 ||
      bind(watch, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0 ||
      setns(here, CLONE_NEWNET) != 0) {
    std::perror("udp_flood: watching");
    return 1;
  }
  const int send = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
  if (send < 0) {
    std::perror("udp_flood: raw socket");
    return 1;
  }
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + std::chrono::duration<double>(seconds);
  long sent = 0, bit = 0;
  uint8_t packet[2048];
  while (clock::now() < end) {
    pollfd fd{watch, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0)
      continue;
    sockaddr_ll got{};
    socklen_t gotSize = sizeof got;
    const ssize_t n =
        recvfrom(watch, packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&got), &gotSize);
    ip *iph = reinterpret_cast<ip *>(packet);
    if (n < 28 || got.sll_pkttype == PACKET_OUTGOING || got.sll_protocol != htons(ETH_P_IP) ||
        iph->ip_v != 4 || iph->ip_p != IPPROTO_UDP)
      continue;
    const size_t header = size_t(iph->ip_hl) * 4;
    udphdr *udp = reinterpret_cast<udphdr *>(packet + header);
    if (size_t(n) < header + sizeof(udphdr) || iph->ip_dst.s_addr != target.sin_addr.s_addr ||
        udp->uh_dport != target.sin_port)
      continue;
    // The same IP header and source: the kernel sets the checksum, and
    // the UDP checksum is left out.
    const size_t size = std::min<size_t>(size_t(n), ntohs(iph->ip_len));
    udp->uh_sum = 0;
    iph->ip_sum = 0;
    const size_t payload = size - header - sizeof(udphdr);
    for (int copy = 0; copy < 2; ++copy) {
      if (copy == 1 && payload > 0) {
        const long b = bit++;
        packet[header + sizeof(udphdr) + size_t(b) % payload] ^= uint8_t(1u << (b % 8));
      }
      sent += sendto(send, packet, size, 0, reinterpret_cast<const sockaddr *>(&target),
                     sizeof target) >= 0;
    }
  }
  std::printf("sent %ld\n", sent);
  close(watch);
  close(send);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  std::string to, from, replay;
  double rate = 1000, seconds = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--to=", 0) == 0)
      to = a.substr(5);
    else if (a.rfind("--replay=", 0) == 0)
      replay = a.substr(9);
    else if (a.rfind("--from=", 0) == 0)
      from = a.substr(7);
    else if (a.rfind("--rate=", 0) == 0)
      rate = std::atof(a.c_str() + 7);
    else if (a.rfind("--seconds=", 0) == 0)
      seconds = std::atof(a.c_str() + 10);
    else {
      std::fprintf(stderr, "udp_flood: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  const size_t colon = to.rfind(':');
  sockaddr_in target{};
  target.sin_family = AF_INET;
  if (colon == std::string::npos || rate <= 0 ||
      inet_pton(AF_INET, to.substr(0, colon).c_str(), &target.sin_addr) != 1) {
    std::fprintf(stderr, "udp_flood: --to=ADDRESS:PORT and a rate above 0\n");
    return 2;
  }
  target.sin_port = htons(uint16_t(std::atoi(to.c_str() + colon + 1)));
  if (!replay.empty())
    return Replay(replay, target, seconds);
  // One socket per source address, or one on any address.
  std::vector<int> sockets;
  std::stringstream list(from);
  for (std::string address; std::getline(list, address, ',');) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
      std::fprintf(stderr, "udp_flood: cannot send from %s\n", address.c_str());
      return 1;
    }
    sockets.push_back(fd);
  }
  if (sockets.empty())
    sockets.push_back(socket(AF_INET, SOCK_DGRAM, 0));

  std::mt19937 random(7);
  uint8_t junk[600];
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  const long total = long(rate * seconds);
  long sent = 0;
  for (long n = 0; n < total; ++n) {
    // Paced by the clock, in bursts of a millisecond at most.
    const auto due = start + std::chrono::duration<double>(double(n) / rate);
    if (due > clock::now())
      std::this_thread::sleep_until(due);
    const size_t size = random() % 601;
    for (size_t i = 0; i < size; ++i)
      junk[i] = uint8_t(random());
    sent += sendto(sockets[size_t(n) % sockets.size()], junk, size, 0,
                   reinterpret_cast<sockaddr *>(&target), sizeof target) >= 0;
  }
  std::printf("sent %ld\n", sent);
  for (int fd : sockets)
    close(fd);
  return 0;
}
