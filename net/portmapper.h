// Opens a host's UDP port on the home router, so that a player outside
// can reach it: UPnP IGD first (libminiupnpc), NAT-PMP when no UPnP
// router answers (libnatpmp). It all runs on a worker thread of its own,
// which hands its first result to a callback and then sleeps until the
// lease is half over, renews the mapping, and deletes it when the mapper
// stops. A crashed program leaves a mapping that ends with its lease.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TMapping {
  bool Mapped = false;
  // "UPnP" or "NAT-PMP".
  std::string Method;
  // The router's outside IPv4 address, and the port mapped on it.
  std::string External;
  uint16_t ExternalPort = 0;
  // Seconds the router keeps the mapping; 0 until it restarts.
  uint32_t LeaseS = 0;
  // Why nothing was mapped.
  std::string Failure;
};

// When the mapping is made again: half its lease after it was made; after
// a failed try, a minute later, while the lease lasts.
class TMappingSchedule {
public:
  void Mapped(int64_t nowMs, uint32_t leaseS);
  void Failed(int64_t nowMs);
  // When to renew; -1 for never (a lease without end, or one run out).
  int64_t Next() const { return Renew; }

private:
  int64_t Renew = -1, Ends = -1;
};

class TPortMapper {
public:
  using TDone = std::function<void(const TMapping &)>;
  TPortMapper() = default;
  ~TPortMapper();
  TPortMapper(const TPortMapper &) = delete;
  TPortMapper &operator=(const TPortMapper &) = delete;

  // Maps UDP `port` of this machine, the same port outside when the
  // router has it free. `done` runs once, on the worker thread, within
  // about 3 s; not after Stop.
  // With `map` false it only asks the router for its outside address
  // (a joiner's, for its reply code): Mapped stays false.
  void Start(uint16_t port, TDone done, bool map = true);
  // Deletes what was mapped and ends the worker; waits for it.
  void Stop();

  // Mapping is on unless ZOFTREL_PORT_MAPPING=0.
  static bool Enabled();
  // A private, shared (100.64/10), loopback or link-local IPv4 address:
  // an outside address like that means another NAT beyond the router.
  static bool PrivateIPv4(const std::string &address);
  // The connect code's addresses: the router's outside address with its
  // port (":PORT" when it differs from the local one) when it is public
  // (also when nothing was mapped: a NAT that keeps the port opens it to
  // a reply code),
  // then the global IPv6 addresses, then the LAN's; an outside address
  // that is not public goes last, and `secondNat` says so.
  static std::vector<std::string> CodeAddresses(const TMapping &mapping, uint16_t localPort,
                                                const std::vector<std::string> &local,
                                                bool &secondNat);

private:
  void Run(uint16_t port, TDone done);
  TMapping MapUpnp(uint16_t port, bool renew);
  TMapping MapNatPmp(uint16_t port, uint32_t lifetime, int deadlineMs);
  bool Map = true;
  void Unmap();

  std::thread Worker;
  std::mutex Lock;
  std::condition_variable Wakeup;
  bool Stopping = false;
  // What is mapped, for the renewals and the end.
  TMapping Current;
  uint16_t LocalPort = 0;
  std::string ControlUrl, ServiceType, LanAddress;
};
