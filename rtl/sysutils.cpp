#include "rtl/sysutils.h"

#include <chrono>
#include <cmath>
#include <ctime>

Exception::Exception(std::string message)
    : Message(std::move(message)), ExceptAddr(__builtin_return_address(0)) {}

Exception::Exception(std::string message, const void *address)
    : Message(std::move(message)), ExceptAddr(address) {}

std::string HandlerErrorText(const std::string &message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
    return message + ".";
  return message;
}

std::string ApplicationErrorText(const char *className, const std::string &module,
                                 const void *address, const std::string &message) {
  char addr[32];
  std::snprintf(addr, sizeof addr, "%p", address);
  std::string dot = (!message.empty() && message.back() == '.') ? "" : ".";
  return std::string("Exception ") + className + " in module " + module + " at " + addr + ".\n" +
         message + dot;
}

int32_t Round(double value) {
  return static_cast<int32_t>(std::nearbyint(value));
}

namespace {
// A 32-bit linear congruential generator: small, fast and reproducible.
uint32_t gSeed = 0;
bool gSeedFixed = false;
bool gTimeOverridden = false;
bool gNowOverridden = false;
double gNowOverride = 0;
const auto gStart = std::chrono::steady_clock::now();
double gTimeOverride = 0;
} // namespace

int32_t Random(int32_t n) {
  gSeed = gSeed * 134775813u + 1u;
  if (n <= 0)
    return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(gSeed) * static_cast<uint32_t>(n)) >> 32);
}

void Randomize() {
  if (gSeedFixed)
    return;
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  gSeed = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

void SetRandSeed(uint32_t seed) {
  gSeed = seed;
  gSeedFixed = true;
}

uint32_t RandSeed() {
  return gSeed;
}

double Time() {
  if (gTimeOverridden)
    return gTimeOverride;
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0;
  return seconds / 86400.0;
}

void SetTimeOverride(double fraction) {
  gTimeOverridden = true;
  gTimeOverride = fraction;
}

void ClearTimeOverride() {
  gTimeOverridden = false;
}

double Now() {
  if (gNowOverridden)
    return gNowOverride;
  const std::chrono::duration<double> since = std::chrono::steady_clock::now() - gStart;
  return since.count() / 86400.0;
}

void SetNowOverride(double days) {
  gNowOverridden = true;
  gNowOverride = days;
}

void ClearNowOverride() {
  gNowOverridden = false;
}
