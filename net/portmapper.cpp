#include "net/portmapper.h"

#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#include <natpmp.h>
#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kLeaseS = 3600;
// UPnP routers answer the search within a few ms; this is all it waits
// (the library's least).
constexpr int kDiscoverMs = 1000;
constexpr int kNatPmpMs = 1500;
constexpr int64_t kRetryMs = 60000;
constexpr const char *kDescription = "Zoftrel network game";

int64_t Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One NAT-PMP answer by `deadline`; false when none came.
bool NatPmpAnswer(natpmp_t &n, int64_t deadline, natpmpresp_t &answer) {
  for (;;) {
    const int64_t left = deadline - Now();
    if (left <= 0)
      return false;
    timeval wait{};
    getnatpmprequesttimeout(&n, &wait);
    const int64_t waitMs = std::min<int64_t>(left, wait.tv_sec * 1000 + wait.tv_usec / 1000);
    wait.tv_sec = waitMs / 1000;
    wait.tv_usec = (waitMs % 1000) * 1000;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(n.s, &readable);
    select(n.s + 1, &readable, nullptr, nullptr, &wait);
    const int r = readnatpmpresponseorretry(&n, &answer);
    if (r >= 0)
      return true;
    if (r != NATPMP_TRYAGAIN)
      return false;
  }
}

// The router's outside address by `deadline`; empty when it gave none.
std::string NatPmpPublicAddress(natpmp_t &n, int64_t deadline) {
  natpmpresp_t answer{};
  if (sendpublicaddressrequest(&n) < 0 || !NatPmpAnswer(n, deadline, answer) ||
      answer.type != NATPMP_RESPTYPE_PUBLICADDRESS)
    return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &answer.pnu.publicaddress.addr, text, sizeof text);
  return text;
}

} // namespace

void TMappingSchedule::Mapped(int64_t nowMs, uint32_t leaseS) {
  Ends = leaseS == 0 ? -1 : nowMs + int64_t(leaseS) * 1000;
  Renew = leaseS == 0 ? -1 : nowMs + int64_t(leaseS) * 500;
}

void TMappingSchedule::Failed(int64_t nowMs) {
  Renew = Ends >= 0 && nowMs + kRetryMs < Ends ? nowMs + kRetryMs : -1;
}

TPortMapper::~TPortMapper() {
  Stop();
}

bool TPortMapper::Enabled() {
  const char *v = std::getenv("ZOFTREL_PORT_MAPPING");
  return !v || std::strcmp(v, "0") != 0;
}

bool TPortMapper::PrivateIPv4(const std::string &address) {
  in_addr a;
  if (inet_pton(AF_INET, address.c_str(), &a) != 1)
    return false;
  const uint32_t ip = ntohl(a.s_addr);
  auto in = [ip](uint32_t net, int bits) { return (ip >> (32 - bits)) == (net >> (32 - bits)); };
  return in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0x64400000, 10) ||
         in(0x7F000000, 8) || in(0xA9FE0000, 16) || ip == 0;
}

std::vector<std::string> TPortMapper::CodeAddresses(const TMapping &mapping, uint16_t localPort,
                                                    const std::vector<std::string> &local,
                                                    bool &secondNat) {
  secondNat = false;
  std::vector<std::string> first, v6, v4;
  std::string outside;
  if (!mapping.External.empty()) {
    outside = mapping.External;
    if (mapping.ExternalPort != 0 && mapping.ExternalPort != localPort)
      outside += ':' + std::to_string(mapping.ExternalPort);
    secondNat = PrivateIPv4(mapping.External);
    if (!secondNat)
      first.push_back(outside);
  }
  for (const std::string &a : local)
    if (a != mapping.External)
      (a.find(':') != std::string::npos ? v6 : v4).push_back(a);
  std::vector<std::string> all = first;
  all.insert(all.end(), v6.begin(), v6.end());
  all.insert(all.end(), v4.begin(), v4.end());
  if (secondNat)
    all.push_back(outside);
  if (all.size() > 8)
    all.resize(8);
  return all;
}

void TPortMapper::Start(uint16_t port, TDone done, bool map) {
  Stop();
  Stopping = false;
  Map = map;
  LocalPort = port;
  Worker = std::thread([this, port, done = std::move(done)] { Run(port, done); });
}

void TPortMapper::Stop() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stopping = true;
  }
  Wakeup.notify_all();
  if (Worker.joinable())
    Worker.join();
}

void TPortMapper::Run(uint16_t port, TDone done) {
  TMapping m = MapUpnp(port, false);
  if (!m.Mapped && (Map || m.External.empty())) {
    const std::string upnp = m.Failure;
    const std::string external = m.External;
    m = MapNatPmp(port, kLeaseS, kNatPmpMs);
    if (!m.Mapped)
      m.Failure = upnp + "; " + m.Failure;
    if (m.External.empty())
      m.External = external;
  }
  std::unique_lock<std::mutex> hold(Lock);
  Current = m;
  if (!Stopping)
    done(m);
  TMappingSchedule schedule;
  if (m.Mapped)
    schedule.Mapped(Now(), m.LeaseS);
  while (m.Mapped && !Stopping) {
    const int64_t next = schedule.Next();
    if (next < 0)
      Wakeup.wait(hold, [this] { return Stopping; });
    else
      Wakeup.wait_for(hold, std::chrono::milliseconds(std::max<int64_t>(next - Now(), 0)),
                      [this] { return Stopping; });
    if (Stopping || next < 0 || Now() < next)
      continue;
    hold.unlock();
    const TMapping again =
        m.Method == "UPnP" ? MapUpnp(port, true) : MapNatPmp(port, kLeaseS, kNatPmpMs);
    hold.lock();
    if (again.Mapped) {
      schedule.Mapped(Now(), again.LeaseS);
    } else {
      std::fprintf(stderr, "zoftrel: the router did not renew the port mapping: %s\n",
                   again.Failure.c_str());
      schedule.Failed(Now());
    }
  }
  hold.unlock();
  if (m.Mapped)
    Unmap();
}

TMapping TPortMapper::MapUpnp(uint16_t port, bool renew) {
  TMapping m;
  m.Method = "UPnP";
  const std::string inPort = std::to_string(port);
  if (renew) {
    // The router found before, the same ports again.
    const std::string ext = std::to_string(Current.ExternalPort);
    const int r = UPNP_AddPortMapping(ControlUrl.c_str(), ServiceType.c_str(), ext.c_str(),
                                      inPort.c_str(), LanAddress.c_str(), kDescription, "UDP",
                                      nullptr, Current.LeaseS ? "3600" : "0");
    m = Current;
    m.Mapped = r == UPNPCOMMAND_SUCCESS;
    if (!m.Mapped)
      m.Failure = strupnperror(r);
    return m;
  }
  int error = 0;
  // One search, for gateways of every version (a version 2 answers a
  // search for version 1): each kind searched for costs a second more
  // where no router answers.
  static const char *const kinds[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                      nullptr};
  UPNPDev *devices = upnpDiscoverDevices(kinds, kDiscoverMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY,
                                         0, 2, &error, 0);
  if (!devices) {
    m.Failure = "no UPnP router answered";
    return m;
  }
  UPNPUrls urls{};
  IGDdatas data{};
  char lan[64] = {};
  const int igd = UPNP_GetValidIGD(devices, &urls, &data, lan, sizeof lan);
  freeUPNPDevlist(devices);
  if (igd != 1 && igd != 2) {
    if (igd != 0)
      FreeUPNPUrls(&urls);
    m.Failure = "no UPnP router answered";
    return m;
  }
  ControlUrl = urls.controlURL ? urls.controlURL : "";
  ServiceType = data.first.servicetype;
  LanAddress = lan;
  FreeUPNPUrls(&urls);
  char external[40] = {};
  if (UPNP_GetExternalIPAddress(ControlUrl.c_str(), ServiceType.c_str(), external) ==
      UPNPCOMMAND_SUCCESS) {
    in_addr check;
    if (inet_pton(AF_INET, external, &check) == 1)
      m.External = external;
  }
  if (!Map) {
    m.Failure = "nothing asked";
    return m;
  }
  // The same port outside if it is free there, else one of the next few.
  int r = -1;
  for (int k = 0; k < 4; ++k) {
    const uint32_t ext = port + uint32_t(k) <= 65535 ? port + uint32_t(k) : port - uint32_t(k);
    const std::string extPort = std::to_string(ext);
    m.LeaseS = kLeaseS;
    r = UPNP_AddPortMapping(ControlUrl.c_str(), ServiceType.c_str(), extPort.c_str(),
                            inPort.c_str(), lan, kDescription, "UDP", nullptr, "3600");
    if (r == 725) {
      // OnlyPermanentLeasesSupported
      m.LeaseS = 0;
      r = UPNP_AddPortMapping(ControlUrl.c_str(), ServiceType.c_str(), extPort.c_str(),
                              inPort.c_str(), lan, kDescription, "UDP", nullptr, "0");
    }
    if (r == UPNPCOMMAND_SUCCESS) {
      m.ExternalPort = uint16_t(ext);
      break;
    }
    // 718: ConflictInMappingEntry, another machine has that port.
    if (r != 718)
      break;
  }
  if (r != UPNPCOMMAND_SUCCESS) {
    m.Failure = std::string("the UPnP router refused the mapping (") + strupnperror(r) + ")";
    return m;
  }
  m.Mapped = true;
  return m;
}

TMapping TPortMapper::MapNatPmp(uint16_t port, uint32_t lifetime, int deadlineMs) {
  TMapping m;
  m.Method = "NAT-PMP";
  natpmp_t n;
  if (initnatpmp(&n, 0, 0) < 0) {
    m.Failure = "no router for NAT-PMP";
    return m;
  }
  const int64_t deadline = Now() + deadlineMs;
  natpmpresp_t answer{};
  if (!Map) {
    m.Failure = "nothing asked";
    m.External = NatPmpPublicAddress(n, deadline);
    closenatpmp(&n);
    return m;
  }
  const uint16_t wanted = Current.Mapped ? Current.ExternalPort : port;
  if (sendnewportmappingrequest(&n, NATPMP_PROTOCOL_UDP, port, wanted, lifetime) < 0 ||
      !NatPmpAnswer(n, deadline, answer) || answer.type != NATPMP_RESPTYPE_UDPPORTMAPPING) {
    m.Failure = "no NAT-PMP router answered";
    closenatpmp(&n);
    return m;
  }
  m.Mapped = true;
  m.ExternalPort = answer.pnu.newportmapping.mappedpublicport;
  m.LeaseS = answer.pnu.newportmapping.lifetime;
  m.External = NatPmpPublicAddress(n, deadline + 500);
  closenatpmp(&n);
  return m;
}

void TPortMapper::Unmap() {
  if (Current.Method == "UPnP") {
    const std::string ext = std::to_string(Current.ExternalPort);
    UPNP_DeletePortMapping(ControlUrl.c_str(), ServiceType.c_str(), ext.c_str(), "UDP", nullptr);
  } else {
    natpmp_t n;
    if (initnatpmp(&n, 0, 0) < 0)
      return;
    natpmpresp_t answer{};
    // A lifetime of 0 deletes the mapping.
    if (sendnewportmappingrequest(&n, NATPMP_PROTOCOL_UDP, LocalPort, 0, 0) >= 0)
      NatPmpAnswer(n, Now() + 500, answer);
    closenatpmp(&n);
  }
  Current = TMapping{};
}
