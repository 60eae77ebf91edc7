// What datagrams from addresses the session does not know yet may cost:
// each source address has a budget of its own, refilled with time, so that
// a noisy source spends only its own and a joiner's hellos still get in.
// The table is small; a new source takes the place of the one heard from
// longest ago, and starts with a full budget.
#pragma once

#include <netinet/in.h>

#include <cstdint>

class TSourceBudget {
public:
  // Datagrams a source may send at once, and a second after that.
  static constexpr double kBurst = 20;
  static constexpr double kPerSecond = 20;
  static constexpr int kSources = 16;

  // True when a datagram from `from` may be looked at now; it is charged.
  bool Take(const sockaddr_in6 &from, int64_t nowMs);
  // Forgets every source.
  void Clear();

private:
  struct TSource {
    sockaddr_in6 Address{};
    double Tokens = 0;
    int64_t At = 0;
    bool Used = false;
  };
  TSource Sources[kSources];
};
