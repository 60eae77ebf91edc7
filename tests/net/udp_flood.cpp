// Sends junk to a UDP port at a steady rate: random bytes, 0 to 600 long,
// from each of the given source addresses in turn.
//
//   udp_flood --to=ADDRESS:PORT --rate=PER_SECOND --seconds=S
//             [--from=ADDRESS,ADDRESS,...]
//
// Prints "sent N" at the end.
#include <arpa/inet.h>
#include <netinet/in.h>
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

int main(int argc, char **argv) {
  std::string to, from;
  double rate = 1000, seconds = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--to=", 0) == 0)
      to = a.substr(5);
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
