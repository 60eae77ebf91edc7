// A UDP relay on loopback that impairs what it carries, for the network
// tests (the kernel here has no netem): seeded loss, duplication,
// reordering, delay and jitter, each direction alike.
//
//   udp_relay --to=PORT [--delay=MS] [--jitter=MS] [--loss=P] [--dup=P]
//             [--reorder=P] [--seed=N] [--cut-after=S] [--max-seconds=S]
//
// Listens on a free port of 127.0.0.1 and prints it ("port N"); the first
// address that sends to it is the client, and everything goes on to
// 127.0.0.1:PORT from a second socket. A datagram is held for delay ±
// jitter ms (uniform); a reordered one another delay on top. After
// --cut-after seconds nothing gets through any more.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace {

int64_t NowUs() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  return duration_cast<microseconds>(steady_clock::now() - start).count();
}

struct THeld {
  int64_t At;
  uint64_t Order;
  bool ToServer;
  std::vector<uint8_t> Data;
  bool operator>(const THeld &o) const { return At != o.At ? At > o.At : Order > o.Order; }
};

int Bound() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    std::perror("udp_relay: bind");
    std::exit(1);
  }
  return fd;
}

} // namespace

int main(int argc, char **argv) {
  int port = 0;
  double delayMs = 0, jitterMs = 0, loss = 0, dup = 0, reorder = 0, cutAfter = -1, maxSeconds = 900;
  unsigned seed = 1;
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    const char *eq = std::strchr(a, '=');
    if (!eq) {
      std::fprintf(stderr, "udp_relay: unknown argument %s\n", a);
      return 2;
    }
    const std::string name(a, eq), v(eq + 1);
    if (name == "--to")
      port = std::atoi(v.c_str());
    else if (name == "--delay")
      delayMs = std::atof(v.c_str());
    else if (name == "--jitter")
      jitterMs = std::atof(v.c_str());
    else if (name == "--loss")
      loss = std::atof(v.c_str());
    else if (name == "--dup")
      dup = std::atof(v.c_str());
    else if (name == "--reorder")
      reorder = std::atof(v.c_str());
    else if (name == "--seed")
      seed = unsigned(std::strtoul(v.c_str(), nullptr, 10));
    else if (name == "--cut-after")
      cutAfter = std::atof(v.c_str());
    else if (name == "--max-seconds")
      maxSeconds = std::atof(v.c_str());
    else {
      std::fprintf(stderr, "udp_relay: unknown argument %s\n", a);
      return 2;
    }
  }
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "udp_relay: --to=PORT\n");
    return 2;
  }
  const int front = Bound(), back = Bound();
  sockaddr_in self{};
  socklen_t length = sizeof self;
  getsockname(front, reinterpret_cast<sockaddr *>(&self), &length);
  std::printf("port %d\n", ntohs(self.sin_port));
  std::fflush(stdout);

  sockaddr_in server{}, client{};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  server.sin_port = htons(uint16_t(port));
  bool haveClient = false;

  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::priority_queue<THeld, std::vector<THeld>, std::greater<>> held;
  uint64_t order = 0, carried = 0, dropped = 0;
  const int64_t end = int64_t(maxSeconds * 1e6);
  for (int64_t now = NowUs(); now < end; now = NowUs()) {
    while (!held.empty() && held.top().At <= now) {
      const THeld &h = held.top();
      if (h.ToServer)
        sendto(back, h.Data.data(), h.Data.size(), 0, reinterpret_cast<sockaddr *>(&server),
               sizeof server);
      else if (haveClient)
        sendto(front, h.Data.data(), h.Data.size(), 0, reinterpret_cast<sockaddr *>(&client),
               sizeof client);
      held.pop();
    }
    // Sleeps to the next release to the microsecond, 5 ms at most.
    const int64_t wait = held.empty() ? 5000 : std::clamp<int64_t>(held.top().At - now, 0, 5000);
    pollfd fds[2] = {{front, POLLIN, 0}, {back, POLLIN, 0}};
    const timespec timeout{0, long(wait * 1000)};
    ppoll(fds, 2, &timeout, nullptr);
    for (int s = 0; s < 2; ++s) {
      uint8_t buffer[65536];
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      ssize_t n;
      while ((n = recvfrom(fds[s].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from),
                           &fromLength)) >= 0) {
        if (s == 0 && !haveClient) {
          client = from;
          haveClient = true;
        }
        if (s == 1 && (from.sin_port != server.sin_port))
          continue;
        const bool cut = cutAfter >= 0 && NowUs() > cutAfter * 1e6;
        if (cut || unit(rng) < loss) {
          ++dropped;
          continue;
        }
        const int copies = unit(rng) < dup ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
          double d = delayMs + (2 * unit(rng) - 1) * jitterMs;
          if (unit(rng) < reorder)
            d += delayMs;
          held.push({NowUs() + int64_t(std::max(0.0, d) * 1000), order++, s == 0,
                     std::vector<uint8_t>(buffer, buffer + n)});
        }
        ++carried;
        fromLength = sizeof from;
      }
    }
  }
  std::fprintf(stderr, "udp_relay: carried %llu, dropped %llu\n",
               static_cast<unsigned long long>(carried), static_cast<unsigned long long>(dropped));
  return 0;
}
