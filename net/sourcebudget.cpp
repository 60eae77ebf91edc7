#include "net/sourcebudget.h"

#include "net/netsocket.h"

#include <algorithm>

bool TSourceBudget::Take(const sockaddr_in6 &from, int64_t nowMs) {
  TSource *source = nullptr, *oldest = &Sources[0];
  for (TSource &s : Sources) {
    if (s.Used && TNetSocket::Same(s.Address, from)) {
      source = &s;
      break;
    }
    if (!s.Used || (oldest->Used && s.At < oldest->At))
      oldest = &s;
  }
  if (!source) {
    source = oldest;
    *source = {from, kBurst, nowMs, true};
  }
  source->Tokens =
      std::min(kBurst, source->Tokens + double(nowMs - source->At) * kPerSecond / 1000);
  source->At = nowMs;
  if (source->Tokens < 1)
    return false;
  source->Tokens -= 1;
  return true;
}

void TSourceBudget::Clear() {
  for (TSource &s : Sources)
    s = TSource{};
}
