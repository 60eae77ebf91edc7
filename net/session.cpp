#include "net/session.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t kSilenceMs = 5000;
constexpr int64_t kReplyAfterMs = 3000;
constexpr int64_t kJoinTimeoutMs = 10000;
constexpr int64_t kGiveUpMs = 180000;
constexpr int64_t kPunchMs = 10000;
constexpr int64_t kHelloEveryMs = 200;
constexpr size_t kMaxQueue = 256;
// While the frames rest, the host sends a keep-alive every 2 s and the
// joiner answers it; without an answer the host asks again 300 ms later.
// The joiner sends on its own only when it has not sent for 3 s (the
// host's keep-alives are all lost).
constexpr int64_t kKeepAliveMs = 2000;
constexpr int64_t kKeepAliveAgainMs = 300;
constexpr int64_t kJoinerKeepAliveMs = 3000;

} // namespace

TNetSession::TNetSession() : States(kRing) {
  if (sodium_init() < 0)
    std::fprintf(stderr, "zoftrel: libsodium could not start\n");
#ifdef ZOFTREL_BUILD_ID
  Build = ZOFTREL_BUILD_ID;
#else
  Build = "zoftrel";
#endif
}

TNetSession::~TNetSession() = default;

int TNetSession::DelayFor(int roundTripMs, int tickMs) {
  if (roundTripMs < 0 || tickMs <= 0)
    return 2;
  const double frames = (roundTripMs / 2.0 + 0.4 * tickMs) / tickMs;
  return std::clamp(static_cast<int>(std::ceil(frames)), 1, 8);
}

void TNetSession::UpdateDelay() {
  if (SmoothedRtt >= 0)
    Delay = DelayFor(static_cast<int>(std::lround(SmoothedRtt)), TickMs);
}

bool TNetSession::Host(uint16_t port) {
  if (!Udp.Bind(port)) {
    Message = "Cannot open UDP port " + std::to_string(port) + ": " + std::strerror(errno);
    return false;
  }
  Code.Port = Udp.Port();
  randombytes_buf(Code.Secret.data(), Code.Secret.size());
  Code.Addresses = TConnectCode::LocalAddresses();
  Seed = randombytes_random();
  Attach(true, Code.Secret, 0);
  return true;
}

bool TNetSession::Join(const TConnectCode &code) {
  if (!Udp.Open()) {
    Message = std::string("Cannot open a UDP socket: ") + std::strerror(errno);
    return false;
  }
  Code = code;
  Targets.clear();
  for (const std::string &address : code.Addresses) {
    sockaddr_in6 to;
    std::string host;
    uint16_t port = 0;
    if (TConnectCode::Split(address, code.Port, host, port) &&
        TNetSocket::Address(host, port, to) && Udp.Reaches(to))
      Targets.push_back(to);
  }
  Attach(false, code.Secret, 0);
  return true;
}

void TNetSession::Attach(bool host, const std::array<uint8_t, 16> &secret, int64_t nowMs) {
  Key = DeriveKey(secret);
  LocalSide = host ? 1 : 2;
  State = host ? TNetState::Waiting : TNetState::Joining;
  randombytes_buf(&Instance, sizeof Instance);
  Sequence = 0;
  Started = LastHeard = nowMs;
  Clocked = nowMs != 0;
}

void TNetSession::Close() {
  if (State == TNetState::Connected)
    SendBye(TByeReason::Left);
  Udp.Close();
  State = TNetState::Closed;
}

void TNetSession::SendBye(TByeReason reason) {
  TMessage bye;
  bye.Type = TMessageType::Bye;
  bye.Reason = reason;
  // Three times: one of them gets through a lossy line.
  for (int i = 0; i < 3; ++i)
    SendMessage(bye, Peer);
}

void TNetSession::SendMessage(const TMessage &m, const sockaddr_in6 &to) {
  uint8_t plain[kMaxDatagram], datagram[kMaxDatagram];
  const size_t n = EncodeMessage(m, plain, kMaxDatagram - kHeaderSize - kTagSize);
  if (n == 0)
    return;
  // Frames go only to a peer that knows this side's instance: the short
  // header leaves it out.
  const size_t size =
      m.Type == TMessageType::Frames
          ? SealShortDatagram(Key, uint8_t(LocalSide - 1), Instance, ++Sequence, plain, n, datagram)
          : SealDatagram(Key, uint8_t(LocalSide - 1), Instance, ++Sequence, plain, n, datagram);
  if (size == 0)
    return;
  if (const ssize_t sent = Udp.Send(datagram, size, to); sent > 0) {
    BytesSent += size_t(sent);
    ++DatagramsSent;
  }
}

void TNetSession::Stamp(TMessage &m, int64_t nowMs) const {
  m.Time = uint16_t(nowMs);
  if (PeerTimeKnown) {
    m.Echo = PeerTime;
    m.EchoAge = uint16_t(std::min<int64_t>(nowMs - PeerTimeAt, 65535));
  }
}

void TNetSession::Heard(const TMessage &m, int64_t nowMs) {
  LastHeard = nowMs;
  if (!m.Timed)
    return;
  // The round trip, from our own clock value coming back; a reply with
  // nothing to echo yet says 0 and 0, which is skipped.
  if (m.Echo != 0 || m.EchoAge != 0) {
    const int rtt = uint16_t(uint16_t(nowMs) - m.Echo - m.EchoAge);
    if (rtt < 10000)
      SmoothedRtt = SmoothedRtt < 0 ? rtt : SmoothedRtt * 0.875 + rtt * 0.125;
    if (SmoothedRtt >= 0)
      RoundTripMs = static_cast<int>(std::lround(SmoothedRtt));
  }
  PeerTime = m.Time;
  PeerTimeAt = nowMs;
  PeerTimeKnown = true;
}

void TNetSession::Greet(int64_t nowMs) {
  TMessage hello;
  hello.Type = TMessageType::Hello;
  hello.Version = kProtocolVersion;
  hello.Build = Build.substr(0, kMaxBuildId);
  Stamp(hello, nowMs);
  for (const sockaddr_in6 &to : Targets)
    SendMessage(hello, to);
  LastHello = nowMs;
}

void TNetSession::Poll(int64_t nowMs) {
  if (!Clocked) {
    Started = LastHeard = nowMs;
    Clocked = true;
  }
  uint8_t buffer[kMaxDatagram + 1];
  sockaddr_in6 source;
  for (ssize_t n; (n = Udp.Receive(buffer, sizeof buffer, source)) >= 0;)
    Receive(buffer, size_t(n), source, nowMs);
  switch (State) {
  case TNetState::Waiting:
    if (nowMs < PunchUntil && nowMs - LastHello >= kHelloEveryMs)
      Greet(nowMs);
    break;
  case TNetState::Joining:
    if (nowMs - Started > kReplyAfterMs)
      ReplyWanted = true;
    if (nowMs - Started > kGiveUpMs) {
      Fail(TNetState::Lost, "No answer from the host within 3 minutes: the game is off");
    } else {
      if (nowMs - Started > kJoinTimeoutMs && !Advised) {
        // Still trying: the host may yet paste the reply code.
        Advised = true;
        Message = "No answer from the host within 10 s: check the connect code. If it is right, "
                  "the host's port cannot be reached from here: the host can forward UDP port " +
                  std::to_string(Code.Port) +
                  " on their router to their machine, or you play over IPv6, or both join one "
                  "VPN; or the host pastes your reply code";
      }
      if (nowMs - LastHello >= kHelloEveryMs)
        Greet(nowMs);
    }
    break;
  case TNetState::Connected:
    if (nowMs - LastHeard > kSilenceMs) {
      Fail(TNetState::Lost, "Connection lost: nothing heard from the other player for 5 s");
      break;
    }
    Wake();
    // Frames go out as they are made, one a frame, and again half a frame
    // later in a datagram without clocks and hashes: a lost one is made
    // good before the frame it carries is due. When none was made for a
    // frame and a half (this side waits, or the game is paused), the
    // unacknowledged ones go again; while the frames rest, the keep-alive.
    if (Dirty || nowMs >= SendDue())
      SendFrames(nowMs, true);
    else if (CopyDue && 2 * (nowMs - LastSent) >= TickMs)
      SendFrames(nowMs, false);
    break;
  default:
    break;
  }
}

int64_t TNetSession::NextDeadline(int64_t nowMs) const {
  switch (State) {
  case TNetState::Waiting:
    return nowMs < PunchUntil ? std::max(LastHello + kHelloEveryMs, nowMs) : -1;
  case TNetState::Joining:
    return std::min(LastHello + kHelloEveryMs, Started + kGiveUpMs + 1);
  case TNetState::Connected: {
    // As Poll decides: silence, the resend after a frame and a half (or
    // the keep-alive), the copy after half a frame.
    if (Dirty || !Clocked || (Idle && !Queue.empty() && !FrameReady()))
      return nowMs;
    int64_t at = std::min(LastHeard + kSilenceMs + 1, SendDue());
    if (CopyDue)
      at = std::min(at, LastSent + (TickMs + 1) / 2);
    return at;
  }
  default:
    return -1;
  }
}

void TNetSession::Receive(const uint8_t *data, size_t size, const sockaddr_in6 &from,
                          int64_t nowMs) {
  if (State != TNetState::Waiting && State != TNetState::Joining && State != TNetState::Connected) {
    ++DatagramsDropped;
    return;
  }
  // Once the other player is known, only its address counts: anything else
  // goes before it costs more than this test. Its own datagrams are opened
  // however many come: a forged one costs a failed authentication, about a
  // microsecond, and no budget stands in the way of the real ones. Until
  // then every unknown source spends a budget of its own before its
  // datagrams are opened.
  if (PeerKnown ? !TNetSocket::Same(from, Peer) : !Strangers.Take(from, nowMs)) {
    ++DatagramsDropped;
    return;
  }
  if (State == TNetState::Waiting && size > 4 && size <= 200 && std::memcmp(data, "zr1-", 4) == 0 &&
      (IN6_IS_ADDR_LOOPBACK(&from.sin6_addr) ||
       (IN6_IS_ADDR_V4MAPPED(&from.sin6_addr) && from.sin6_addr.s6_addr[12] == 127))) {
    // The reply code from this machine's own --reply; its tag is checked
    // with the secret before anything is sent.
    HandedReply.assign(reinterpret_cast<const char *>(data), size);
    return;
  }
  uint8_t plain[kMaxDatagram];
  size_t plainSize = 0;
  uint64_t instance = 0, sequence = 0;
  TMessage m;
  const bool opened =
      IsShortDatagram(data, size)
          ? PeerKnown && OpenShortDatagram(Key, uint8_t(2 - LocalSide), PeerInstance, Sequences.Top,
                                           data, size, sequence, plain, plainSize)
          : OpenDatagram(Key, uint8_t(2 - LocalSide), data, size, instance, sequence, plain,
                         plainSize) &&
                (!PeerKnown || instance == PeerInstance);
  // The short header is for frames alone.
  if (!opened || !DecodeMessage(plain, plainSize, m) ||
      IsShortDatagram(data, size) != (m.Type == TMessageType::Frames)) {
    ++DatagramsDropped;
    return;
  }
  if (!PeerKnown) {
    // A joiner takes the first welcome from any of the host's addresses;
    // a host the first hello with the right program.
    const bool joinerWelcomed = State == TNetState::Joining && m.Type == TMessageType::Welcome;
    const bool hostGreeted = State == TNetState::Waiting && m.Type == TMessageType::Hello &&
                             m.Version == kProtocolVersion && m.Build == Build;
    if (joinerWelcomed || hostGreeted) {
      Peer = from;
      PeerKnown = true;
      PeerInstance = instance;
    }
  }
  if (PeerKnown && Sequences.Replayed(sequence)) {
    ++DatagramsDropped;
    return;
  }
  ++DatagramsReceived;
  BytesReceived += size;
  if (State == TNetState::Waiting && m.Type == TMessageType::Hello && !PeerKnown) {
    // A different program: tell it, once per hello, and keep waiting.
    TMessage refuse;
    refuse.Type = TMessageType::Refuse;
    refuse.Version = kProtocolVersion;
    refuse.Build = Build.substr(0, kMaxBuildId);
    refuse.Refusal = m.Version != kProtocolVersion ? TRefusal::Version : TRefusal::Build;
    Stamp(refuse, nowMs);
    SendMessage(refuse, from);
    Message = m.Version != kProtocolVersion
                  ? "The other player's program speaks protocol " + std::to_string(m.Version) +
                        ", this one " + std::to_string(kProtocolVersion) + ": refused"
                  : "The other player runs a different build (" + m.Build + ", this is " + Build +
                        "): refused; both need the same program";
    return;
  }
  if (State == TNetState::Joining && m.Type == TMessageType::Hello) {
    // The host answers a reply code from an address of its own: greet it
    // there too, at once.
    if (std::none_of(Targets.begin(), Targets.end(),
                     [&](const sockaddr_in6 &t) { return TNetSocket::Same(t, from); }) &&
        Targets.size() < 16)
      Targets.push_back(from);
    LastHello = nowMs - kHelloEveryMs;
    return;
  }
  HandleMessage(m, nowMs);
}

void TNetSession::Punch(const TReplyCode &reply, int64_t nowMs) {
  if (State != TNetState::Waiting)
    return;
  Targets.clear();
  for (const std::string &address : reply.Addresses) {
    sockaddr_in6 to;
    std::string host;
    uint16_t port = 0;
    if (TConnectCode::Split(address, reply.Port, host, port) &&
        TNetSocket::Address(host, port, to) && Udp.Reaches(to))
      Targets.push_back(to);
  }
  PunchUntil = nowMs + kPunchMs;
  LastHello = nowMs - kHelloEveryMs;
}

void TNetSession::Connect(const sockaddr_in6 &peer, uint64_t instance, int64_t nowMs) {
  Peer = peer;
  PeerKnown = true;
  PeerInstance = instance;
  State = TNetState::Connected;
  Message.clear();
  UpdateDelay();
  Next = 0;
  // The first Delay frames of each side hold no events.
  for (TFrameEvents &f : LocalFrames)
    f = TFrameEvents{};
  for (TFrameEvents &f : RemoteFrames)
    f = TFrameEvents{};
  LocalFinal = Delay - 1;
  RemoteFinal = -1;
  PeerAck = 0;
  Dirty = true;
  LastHeard = nowMs;
}

void TNetSession::HandleMessage(const TMessage &m, int64_t nowMs) {
  switch (m.Type) {
  case TMessageType::Hello:
    if (State == TNetState::Waiting && m.Version == kProtocolVersion && m.Build == Build) {
      Heard(m, nowMs);
      Connect(Peer, PeerInstance, nowMs);
    }
    if (State == TNetState::Connected && LocalSide == 1 && !PeerFramesHeard) {
      // The joiner has not had our welcome yet, or it was lost.
      Heard(m, nowMs);
      TMessage welcome;
      welcome.Type = TMessageType::Welcome;
      welcome.Version = kProtocolVersion;
      welcome.Build = Build.substr(0, kMaxBuildId);
      welcome.Seed = Seed;
      for (int i = 0; i < 5; ++i)
        welcome.Field[i] = std::max<uint16_t>(Field[i], 1);
      Stamp(welcome, nowMs);
      SendMessage(welcome, Peer);
    }
    break;
  case TMessageType::Welcome:
    if (State == TNetState::Joining) {
      Heard(m, nowMs);
      Seed = m.Seed;
      std::copy(std::begin(m.Field), std::end(m.Field), Field);
      Connect(Peer, PeerInstance, nowMs);
    }
    break;
  case TMessageType::Refuse:
    if (State == TNetState::Joining)
      Fail(TNetState::Refused, m.Refusal == TRefusal::Version
                                   ? "The host's program speaks protocol " +
                                         std::to_string(m.Version) + ", this one " +
                                         std::to_string(kProtocolVersion) + ": refused"
                                   : "The host runs a different build (" + m.Build + ", this is " +
                                         Build + "): refused; both need the same program");
    break;
  case TMessageType::Bye:
    if (State == TNetState::Connected) {
      if (m.Reason == TByeReason::Apart)
        Fail(TNetState::Desync, "The other player's game went apart from this one");
      else
        Fail(TNetState::Left, "The other player left");
    }
    break;
  case TMessageType::Frames: {
    if (State != TNetState::Connected)
      break;
    const bool rested = Resting();
    const int64_t ack = Near(m.Ack), first = Near(m.First);
    // An acknowledgement of frames never sent is a lie: drop it all.
    if (ack < 0 || first < 0 || ack > LocalFinal + 1 || first > RemoteFinal + 1 + kRing)
      break;
    Heard(m, nowMs);
    PeerFramesHeard = true;
    PeerAck = std::max(PeerAck, uint32_t(ack));
    for (int i = 0; i < m.FrameCount; ++i) {
      const int64_t f = first + i;
      if (f <= RemoteFinal)
        continue;
      // Frames are taken in order only, and no further ahead than the ring.
      if (f != RemoteFinal + 1 || f >= int64_t(Next) + kRing)
        break;
      RemoteFrames[f % kRing] = m.Frames[i];
      RemoteFinal = f;
    }
    for (int i = 0; i < m.HashCount; ++i) {
      const int64_t f = Near(m.HashFrame[i]);
      if (f < 0 || f + kRing <= Next || f > Next + kRing)
        continue;
      if (f < Next)
        Compare(uint32_t(f), m.Hash[i]);
      else
        RemoteHashes[f % kRing] = {f, m.Hash[i]};
    }
    if (rested && !Resting())
      UpdateDelay(); // the round trip of the keep-alives, for the game to come
    Wake();
    // Frames resent mean our acknowledgement was lost: it goes again. The
    // joiner answers every keep-alive of the host.
    if (Resting() && (m.FrameCount > 0 || (LocalSide == 2 && m.Timed)))
      Dirty = true;
    break;
  }
  }
}

void TNetSession::Compare(uint32_t frame, uint64_t remote) {
  const THashSlot &own = OwnHashes[frame % kRing];
  if (own.Frame != int64_t(frame) || State != TNetState::Connected)
    return;
  ++HashesCompared;
  if (own.Hash == remote)
    return;
  DesyncFrame = frame;
  std::fprintf(stderr,
               "zoftrel: the two games went apart at tick %u (hash here %016llx, there %016llx)\n"
               "zoftrel: the battlefield here after tick %u:\n%s",
               frame, static_cast<unsigned long long>(own.Hash),
               static_cast<unsigned long long>(remote), frame,
               States[frame % kRing].Dump().c_str());
  SendBye(TByeReason::Apart);
  Fail(TNetState::Desync, "The two games went apart at tick " + std::to_string(frame) +
                              "; the game stops (details on standard error)");
}

void TNetSession::Fail(TNetState state, std::string message) {
  State = state;
  Message = std::move(message);
}

void TNetSession::LocalEvent(uint8_t event) {
  if (ValidEvent(event) && Queue.size() < kMaxQueue)
    Queue.push_back(event);
}

void TNetSession::Finalize(uint32_t upTo) {
  // The ring must still hold every frame the other side has not
  // acknowledged.
  const int64_t target = std::min<int64_t>(upTo, int64_t(PeerAck) + kRing - 1);
  if (LocalFinal >= target)
    return;
  for (int64_t f = LocalFinal + 1; f <= target; ++f)
    LocalFrames[f % kRing] = TFrameEvents{};
  TFrameEvents &last = LocalFrames[target % kRing];
  while (!Queue.empty() && last.Count < kMaxEventsPerFrame) {
    last.Events[last.Count++] = Queue.front();
    Queue.pop_front();
  }
  LocalFinal = target;
  Dirty = true;
}

void TNetSession::Flush(int64_t nowMs) {
  if (State != TNetState::Connected)
    return;
  if (Resting())
    UpdateDelay();
  // Frames resting with this side ahead (a delay that has since become
  // shorter) take the events in the next frame after its last.
  int64_t target = Next + Delay;
  if (!Queue.empty() && target <= LocalFinal)
    target = LocalFinal + 1;
  Finalize(uint32_t(target));
  SendFrames(nowMs, true);
}

bool TNetSession::Pending() const {
  if (!Queue.empty())
    return true;
  for (int64_t f = Next; f <= LocalFinal; ++f)
    if (LocalFrames[f % kRing].Count > 0)
      return true;
  for (int64_t f = Next; f <= RemoteFinal; ++f)
    if (RemoteFrames[f % kRing].Count > 0)
      return true;
  return false;
}

bool TNetSession::Resting() const {
  return State == TNetState::Connected && Idle && !FrameReady() && !Pending();
}

void TNetSession::Wake() {
  if (State != TNetState::Connected || !Idle || !Pending())
    return;
  // As far ahead as frames run during a game, so that the frames of both
  // sides keep coming until the event has been run; events queued while
  // the frames rest go in the next frame after this side's last.
  int64_t target = int64_t(Next) + Delay - 1;
  if (!Queue.empty() && target <= LocalFinal && !FrameReady())
    target = LocalFinal + 1;
  if (target > LocalFinal)
    Finalize(uint32_t(target));
}

int64_t TNetSession::SendDue() const {
  const int64_t resend = LastSent + (3 * TickMs + 1) / 2;
  if (!Resting() || int64_t(PeerAck) <= LocalFinal)
    return resend;
  if (LocalSide == 2)
    return LastSent + kJoinerKeepAliveMs;
  return LastSent + (LastHeard >= LastSent ? kKeepAliveMs : kKeepAliveAgainMs);
}

bool TNetSession::FrameReady() const {
  return State == TNetState::Connected && int64_t(Next) <= RemoteFinal &&
         int64_t(Next) <= LocalFinal;
}

TNetFrame TNetSession::TakeFrame(int64_t nowMs) {
  TNetFrame frame;
  frame.Number = Next;
  frame.Side[LocalSide] = LocalFrames[Next % kRing];
  frame.Side[3 - LocalSide] = RemoteFrames[Next % kRing];
  // What was pressed before this frame takes effect Delay frames on.
  // Between games no frame is made while nothing is in flight.
  if (!Idle || Pending())
    Finalize(Next + Delay);
  ++Next;
  SendFrames(nowMs, true);
  return frame;
}

void TNetSession::FrameDone(const TStateHash &state) {
  const uint32_t f = Next - 1;
  OwnHashes[f % kRing] = {f, state.Hash()};
  States[f % kRing] = state;
  const THashSlot &remote = RemoteHashes[f % kRing];
  if (remote.Frame == int64_t(f))
    Compare(f, remote.Hash);
}

int64_t TNetSession::Near(uint16_t low) const {
  return int64_t(Next) + int16_t(uint16_t(low - uint16_t(Next)));
}

void TNetSession::SendFrames(int64_t nowMs, bool full) {
  if (State != TNetState::Connected || !PeerKnown)
    return;
  TMessage m;
  m.Type = TMessageType::Frames;
  m.Timed = full;
  if (full)
    Stamp(m, nowMs);
  m.Ack = uint16_t(RemoteFinal + 1);
  m.First = uint16_t(PeerAck);
  const int64_t count = std::min<int64_t>(LocalFinal + 1 - PeerAck, kMaxFramesPerMessage);
  m.FrameCount = uint8_t(std::max<int64_t>(count, 0));
  for (int i = 0; i < m.FrameCount; ++i)
    m.Frames[i] = LocalFrames[(PeerAck + i) % kRing];
  // The frame just taken has no hash yet when it is sent from TakeFrame.
  for (uint32_t back = 1; full && back <= kMaxHashesPerMessage + 1 && back <= Next &&
                          m.HashCount < kMaxHashesPerMessage;
       ++back) {
    const THashSlot &own = OwnHashes[(Next - back) % kRing];
    if (own.Frame != int64_t(Next - back))
      continue;
    m.HashFrame[m.HashCount] = uint16_t(Next - back);
    m.Hash[m.HashCount++] = own.Hash;
  }
  SendMessage(m, Peer);
  if (full)
    LastSent = nowMs;
  CopyDue = full && Copies && !Resting();
  Dirty = false;
}
