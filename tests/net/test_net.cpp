// The network session's pieces: connect codes, the battlefield's own
// sines and cosines, datagrams and their decoding, the lockstep.
#include "game/common.h"
#include "net/connectcode.h"
#include "net/datagram.h"
#include "net/netsocket.h"
#include "net/portmapper.h"
#include "net/replycode.h"
#include "net/session.h"
#include "net/sourcebudget.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <vector>

TEST(ExactMaths, KnownValuesAndTheLibraryWithinTwoUnitsInTheLastPlace) {
  // Values to 16 digits, worked out in high precision.
  EXPECT_NEAR(ExactSin(1.0), 0.8414709848078965, 2e-16);
  EXPECT_NEAR(ExactCos(1.0), 0.5403023058681398, 2e-16);
  EXPECT_NEAR(ExactSin(100.0), -0.5063656411097588, 2e-16);
  EXPECT_NEAR(ExactCos(-3.0), -0.9899924966004454, 2e-16);
  EXPECT_EQ(ExactSin(0.0), 0.0);
  EXPECT_EQ(ExactCos(0.0), 1.0);
  int beyond = 0;
  for (int i = -200000; i <= 200000; ++i) {
    // Float angles as a tank holds them, over a few hundred turns.
    const double a = double(float(i * 0.0137));
    const double s = std::sin(a), c = std::cos(a);
    beyond += std::fabs(ExactSin(a) - s) > 2 * (std::nextafter(std::fabs(s), 9) - std::fabs(s));
    beyond += std::fabs(ExactCos(a) - c) > 2 * (std::nextafter(std::fabs(c), 9) - std::fabs(c));
  }
  EXPECT_EQ(beyond, 0);
}

namespace {

TConnectCode SampleCode() {
  TConnectCode c;
  for (int i = 0; i < 16; ++i)
    c.Secret[i] = uint8_t(i);
  c.Port = 38517;
  c.Addresses = {"192.0.2.7", "2001:db8::1"};
  return c;
}

} // namespace

TEST(ConnectCode, WrittenAndReadBackAndFaultsNamed) {
  const std::string text = "zt1-000102030405060708090a0b0c0d0e0f-38517-192.0.2.7,2001:db8::1";
  EXPECT_EQ(SampleCode().Format(), text);
  TConnectCode read;
  std::string error;
  // Pasted from a chat, with a line end.
  ASSERT_TRUE(TConnectCode::Parse(" " + text + "\r\n", read, error)) << error;
  EXPECT_EQ(read.Port, 38517);
  EXPECT_EQ(read.Secret, SampleCode().Secret);
  EXPECT_EQ(read.Addresses, SampleCode().Addresses);

  const struct {
    const char *code, *says;
  } bad[] = {
      {"zt2-000102030405060708090a0b0c0d0e0f-38517-192.0.2.7", "begins with"},
      {"zt1-000102030405060708090a0b0c0d0e-38517-192.0.2.7", "secret"},
      {"zt1-000102030405060708090a0b0c0d0e0g-38517-192.0.2.7", "secret"},
      {"zt1-000102030405060708090a0b0c0d0e0f-0-192.0.2.7", "between 1 and 65535"},
      {"zt1-000102030405060708090a0b0c0d0e0f-65536-192.0.2.7", "between 1 and 65535"},
      {"zt1-000102030405060708090a0b0c0d0e0f-38517-192.0.2.256", "not an IP address"},
      {"zt1-000102030405060708090a0b0c0d0e0f-38517-", "no address"},
      {"zt1-000102030405060708090a0b0c0d0e0f-38517-a,b", "not an IP address"},
      {"zt1-000102030405060708090a0b0c0d0e0f-38517-1.1.1.1,1.1.1.2,1.1.1.3,1.1.1.4,1.1.1.5,"
       "1.1.1.6,1.1.1.7,1.1.1.8,1.1.1.9",
       "more than 8"},
  };
  for (const auto &b : bad) {
    error.clear();
    EXPECT_FALSE(TConnectCode::Parse(b.code, read, error)) << b.code;
    EXPECT_NE(error.find(b.says), std::string::npos) << b.code << ": " << error;
  }
  // A failed read leaves the code as it was.
  EXPECT_EQ(read.Port, 38517);
}

TEST(ConnectCode, RouterAddressWithItsOwnPort) {
  TConnectCode read;
  std::string error, host;
  uint16_t port = 0;
  ASSERT_TRUE(TConnectCode::Parse(
      "zt1-000102030405060708090a0b0c0d0e0f-38517-81.2.69.1:40001,2001:db8::1,10.0.0.2", read,
      error))
      << error;
  ASSERT_TRUE(TConnectCode::Split(read.Addresses[0], read.Port, host, port));
  EXPECT_EQ(host, "81.2.69.1");
  EXPECT_EQ(port, 40001);
  ASSERT_TRUE(TConnectCode::Split(read.Addresses[1], read.Port, host, port));
  EXPECT_EQ(host, "2001:db8::1");
  EXPECT_EQ(port, 38517);
  // A port only after IPv4, and a real one.
  for (const char *bad : {"2001:db8::1:x", "81.2.69.1:0", "81.2.69.1:65536", "81.2.69.1:", "a:1"})
    EXPECT_FALSE(TConnectCode::Parse(
        std::string("zt1-000102030405060708090a0b0c0d0e0f-38517-") + bad, read, error))
        << bad;
}

TEST(ReplyCode, MadeUnderTheHostsSecretAndRefusedUnderAnother) {
  std::array<uint8_t, 16> secret{};
  secret[0] = 7;
  TReplyCode reply;
  reply.Port = 40001;
  reply.Addresses = {"81.2.69.2:40002", "2001:db8::5", "192.168.2.2"};
  // The tag worked out with BLAKE2b apart from this program.
  const std::string text = "zr1-40001-81.2.69.2:40002,2001:db8::5,192.168.2.2-39cf1c7a0aaaf64e";
  EXPECT_EQ(reply.Format(secret), text);
  TReplyCode read;
  std::string error;
  ASSERT_TRUE(TReplyCode::Parse(" " + text + "\r\n", secret, read, error)) << error;
  EXPECT_EQ(read.Port, 40001);
  EXPECT_EQ(read.Addresses, reply.Addresses);

  std::array<uint8_t, 16> other = secret;
  other[15] = 1;
  EXPECT_FALSE(TReplyCode::Parse(text, other, read, error));
  EXPECT_NE(error.find("not made for this game"), std::string::npos) << error;
  // Damage anywhere: an address, the port, the tag, cut short.
  std::vector<std::string> bad(5, text);
  bad[0][12] = '3';
  bad[1][5] = '5';
  bad[2].back() = 'f';
  bad[3].pop_back();
  bad[4][1] = 't';
  for (const std::string &b : bad) {
    EXPECT_FALSE(TReplyCode::Parse(b, secret, read, error)) << b;
  }
}

TEST(PortMapper, CodeAddressesOutsideFirstUnlessBehindASecondNat) {
  const std::vector<std::string> local = {"192.168.1.20", "2001:db8:5::20", "10.8.0.3"};
  TMapping m;
  m.Mapped = true;
  m.External = "81.2.69.1";
  m.ExternalPort = 38517;
  bool second = true;
  EXPECT_EQ(TPortMapper::CodeAddresses(m, 38517, local, second),
            (std::vector<std::string>{"81.2.69.1", "2001:db8:5::20", "192.168.1.20", "10.8.0.3"}));
  EXPECT_FALSE(second);
  m.ExternalPort = 38518;
  EXPECT_EQ(TPortMapper::CodeAddresses(m, 38517, local, second)[0], "81.2.69.1:38518");
  // A carrier's shared address: reachable from nobody outside.
  m.External = "100.71.3.9";
  m.ExternalPort = 38517;
  EXPECT_EQ(TPortMapper::CodeAddresses(m, 38517, local, second),
            (std::vector<std::string>{"2001:db8:5::20", "192.168.1.20", "10.8.0.3", "100.71.3.9"}));
  EXPECT_TRUE(second);
  // Nothing mapped: the outside address still first, for a reply code.
  m.Mapped = false;
  m.External = "81.2.69.1";
  EXPECT_EQ(TPortMapper::CodeAddresses(m, 38517, local, second).size(), 4u);
  EXPECT_FALSE(second);
  m.External.clear();
  EXPECT_EQ(TPortMapper::CodeAddresses(m, 38517, local, second),
            (std::vector<std::string>{"2001:db8:5::20", "192.168.1.20", "10.8.0.3"}));
  for (const char *a : {"10.1.2.3", "172.31.0.1", "192.168.0.1", "100.64.0.1", "100.127.255.255",
                        "169.254.1.1", "127.0.0.1"})
    EXPECT_TRUE(TPortMapper::PrivateIPv4(a)) << a;
  for (const char *a : {"81.2.69.1", "172.32.0.1", "100.128.0.1", "11.0.0.1", "2001:db8::1"})
    EXPECT_FALSE(TPortMapper::PrivateIPv4(a)) << a;
}

TEST(PortMapper, RenewedAtHalfTheLeaseAndRetriedWhileItLasts) {
  TMappingSchedule s;
  EXPECT_EQ(s.Next(), -1);
  s.Mapped(1000, 3600);
  EXPECT_EQ(s.Next(), 1801000);
  // The renewal fails: again a minute later, until the lease runs out.
  s.Failed(1801000);
  EXPECT_EQ(s.Next(), 1861000);
  s.Failed(3541000);
  EXPECT_EQ(s.Next(), -1);
  // A router that grants less than asked for.
  s.Mapped(5000, 120);
  EXPECT_EQ(s.Next(), 65000);
  // A permanent mapping (error 725) is never renewed.
  s.Mapped(7000, 0);
  EXPECT_EQ(s.Next(), -1);
  s.Failed(8000);
  EXPECT_EQ(s.Next(), -1);
}

TEST(Datagram, FramesMessageBytesAndEveryFaultRejected) {
  TMessage m;
  m.Type = TMessageType::Frames;
  m.Ack = 7;
  m.First = 5;
  m.FrameCount = 2;
  m.Frames[1].Count = 1;
  m.Frames[1].Events[0] = evKeyUp | 2;
  m.HashCount = 1;
  m.HashFrame[0] = 4;
  m.Hash[0] = 0x0102030405060708ull;
  uint8_t bytes[kMaxDatagram];
  // Type, flags, three clocks, ack, first, count; frames of 0 and 1
  // events; one hash of frame and value: 1 + 1 + 6 + 4 + 1 + 1 + 2 + 10.
  const size_t n = EncodeMessage(m, bytes, sizeof bytes);
  ASSERT_EQ(n, 26u);
  EXPECT_EQ(bytes[1], 0x81);
  EXPECT_EQ(bytes[15], 0x12);
  TMessage back;
  ASSERT_TRUE(DecodeMessage(bytes, n, back));
  EXPECT_EQ(back.Ack, 7u);
  EXPECT_EQ(back.Frames[1].Events[0], evKeyUp | 2);
  EXPECT_EQ(back.Hash[0], 0x0102030405060708ull);
  // Cut short anywhere, or a byte too many: nothing.
  for (size_t k = 0; k < n; ++k)
    EXPECT_FALSE(DecodeMessage(bytes, k, back)) << k;
  bytes[n] = 0;
  EXPECT_FALSE(DecodeMessage(bytes, n + 1, back));
  // An event that does not exist, nine events in a frame, 33 frames,
  // three hashes.
  uint8_t changed[kMaxDatagram];
  std::copy(bytes, bytes + n, changed);
  changed[15] = 0x14;
  EXPECT_FALSE(DecodeMessage(changed, n, back));
  std::copy(bytes, bytes + n, changed);
  changed[14] = 9;
  EXPECT_FALSE(DecodeMessage(changed, n, back));
  std::copy(bytes, bytes + n, changed);
  changed[12] = 33;
  EXPECT_FALSE(DecodeMessage(changed, n, back));
  std::copy(bytes, bytes + n, changed);
  changed[1] = 0x83;
  EXPECT_FALSE(DecodeMessage(changed, n, back));
  // The copy between two frames: no clocks, no hashes, 26 - 6 - 10 bytes.
  m.Timed = false;
  m.HashCount = 0;
  const size_t copy = EncodeMessage(m, bytes, sizeof bytes);
  ASSERT_EQ(copy, 10u);
  ASSERT_TRUE(DecodeMessage(bytes, copy, back));
  EXPECT_FALSE(back.Timed);
  EXPECT_EQ(back.First, 5u);
  EXPECT_EQ(back.Frames[1].Events[0], evKeyUp | 2);
  // A build name longer than any the program sends, or with a control
  // character.
  TMessage hello;
  hello.Type = TMessageType::Hello;
  hello.Build = "zoftrel";
  const size_t h = EncodeMessage(hello, bytes, sizeof bytes);
  ASSERT_EQ(h, 1 + 2 + 1 + 7 + 6u);
  bytes[3] = 65;
  EXPECT_FALSE(DecodeMessage(bytes, h, back));
  bytes[3] = 7;
  bytes[5] = '\n';
  EXPECT_FALSE(DecodeMessage(bytes, h, back));
}

TEST(Datagram, SealedForOneSideOpensOnlyThereAndUnchanged) {
  const TKey key = DeriveKey(SampleCode().Secret);
  TConnectCode other = SampleCode();
  other.Secret[15] ^= 1;
  const uint8_t plain[3] = {5, 0, 0};
  uint8_t d[kMaxDatagram], out[kMaxDatagram];
  const size_t n = SealDatagram(key, 1, 0xAABB, 42, plain, 2, d);
  ASSERT_EQ(n, kHeaderSize + 2 + kTagSize);
  uint64_t instance, sequence;
  size_t size;
  ASSERT_TRUE(OpenDatagram(key, 1, d, n, instance, sequence, out, size));
  EXPECT_EQ(instance, 0xAABBu);
  EXPECT_EQ(sequence, 42u);
  EXPECT_EQ(size, 2u);
  // The other role's nonces, another code's key, any bit changed.
  EXPECT_FALSE(OpenDatagram(key, 0, d, n, instance, sequence, out, size));
  EXPECT_FALSE(OpenDatagram(DeriveKey(other.Secret), 1, d, n, instance, sequence, out, size));
  for (size_t i = 0; i < n; ++i) {
    d[i] ^= 0x40;
    EXPECT_FALSE(OpenDatagram(key, 1, d, n, instance, sequence, out, size)) << i;
    d[i] ^= 0x40;
  }
  // Nothing over 512 bytes is sealed.
  uint8_t big[kMaxDatagram] = {};
  EXPECT_EQ(SealDatagram(key, 1, 1, 1, big, kMaxDatagram - kHeaderSize - kTagSize + 1, d), 0u);

  // The short header: sequence 70000 is 0x11170 and carries 0x1170.
  const size_t s = SealShortDatagram(key, 1, 0xAABB, 70000, plain, 2, d);
  ASSERT_EQ(s, 3 + 2 + kTagSize);
  EXPECT_TRUE(IsShortDatagram(d, s));
  EXPECT_EQ(d[1], 0x11);
  EXPECT_EQ(d[2], 0x70);
  // Opened beside the highest sequence accepted, below or above it.
  for (uint64_t top : {69990u, 70000u, 70001u, 100000u}) {
    sequence = 0;
    ASSERT_TRUE(OpenShortDatagram(key, 1, 0xAABB, top, d, s, sequence, out, size)) << top;
    EXPECT_EQ(sequence, 70000u);
  }
  // 40000 on, the nearest 0x1170 is 135536: a wrong nonce. Another
  // instance, the other role, any bit changed: nothing opens.
  EXPECT_FALSE(OpenShortDatagram(key, 1, 0xAABB, 110000, d, s, sequence, out, size));
  EXPECT_FALSE(OpenShortDatagram(key, 1, 0xAABC, 70000, d, s, sequence, out, size));
  EXPECT_FALSE(OpenShortDatagram(key, 0, 0xAABB, 70000, d, s, sequence, out, size));
  for (size_t i = 0; i < s; ++i) {
    d[i] ^= 0x40;
    EXPECT_FALSE(OpenShortDatagram(key, 1, 0xAABB, 70000, d, s, sequence, out, size)) << i;
    d[i] ^= 0x40;
  }
  // The long and the short header do not stand in for each other.
  EXPECT_FALSE(OpenDatagram(key, 1, d, s, instance, sequence, out, size));
  const size_t l = SealDatagram(key, 1, 0xAABB, 70000, plain, 2, d);
  EXPECT_FALSE(OpenShortDatagram(key, 1, 0xAABB, 70000, d, l, sequence, out, size));
}

TEST(Datagram, ReplayWindowTakesEachSequenceOnceAndForgetsBeyondSixtyFour) {
  TReplayWindow w;
  EXPECT_FALSE(w.Replayed(5));
  EXPECT_TRUE(w.Replayed(5));
  // Late but new, then not again.
  EXPECT_FALSE(w.Replayed(3));
  EXPECT_TRUE(w.Replayed(3));
  EXPECT_FALSE(w.Replayed(70));
  // 70 - 6 = 64 back: too old to tell, so refused; 63 back still counts.
  EXPECT_TRUE(w.Replayed(6));
  EXPECT_FALSE(w.Replayed(7));
  EXPECT_TRUE(w.Replayed(7));
  EXPECT_EQ(w.Top, 70u);
}

TEST(Delay, FromTheRoundTrip) {
  // Half the round trip and 20 ms, in 50 ms frames, rounded up.
  EXPECT_EQ(TNetSession::DelayFor(0, 50), 1);
  EXPECT_EQ(TNetSession::DelayFor(60, 50), 1);
  EXPECT_EQ(TNetSession::DelayFor(62, 50), 2);
  EXPECT_EQ(TNetSession::DelayFor(100, 50), 2);
  EXPECT_EQ(TNetSession::DelayFor(150, 50), 2);
  EXPECT_EQ(TNetSession::DelayFor(161, 50), 3);
  EXPECT_EQ(TNetSession::DelayFor(5000, 50), 8);
  EXPECT_EQ(TNetSession::DelayFor(-1, 50), 2);
}

namespace {

// A UDP socket of the test on 127.0.0.1.
struct TTestSocket {
  int Fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  uint16_t Port = 0;
  TTestSocket() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(Fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(Fd, reinterpret_cast<sockaddr *>(&a), &n);
    Port = ntohs(a.sin_port);
  }
  ~TTestSocket() { close(Fd); }
  void SendTo(uint16_t port, const void *data, size_t size) const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    sendto(Fd, data, size, 0, reinterpret_cast<sockaddr *>(&a), sizeof a);
  }
  // One datagram and the port it came from, or an empty one.
  std::vector<uint8_t> Read(uint16_t &from) const {
    uint8_t buffer[2048];
    sockaddr_in a{};
    socklen_t n = sizeof a;
    const ssize_t got =
        recvfrom(Fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&a), &n);
    from = ntohs(a.sin_port);
    return got < 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>(buffer, buffer + got);
  }
};

// A host and a joiner that reaches it through the test's socket, which
// keeps a copy of everything the joiner sent.
struct TPair {
  TNetSession Host, Joiner;
  TTestSocket Middle;
  uint16_t JoinerPort = 0;
  std::vector<std::vector<uint8_t>> FromJoiner;
  int64_t Clock = 1000;
  // The host's next datagrams the middle loses.
  int DropFromHost = 0;

  TPair() {
    Host.TickMs = Joiner.TickMs = 50;
    Host.Field[0] = 1020;
    EXPECT_TRUE(Host.Host(0)) << Host.Message;
    TConnectCode code = Host.Code;
    code.Addresses = {"127.0.0.1"};
    code.Port = Middle.Port;
    Joiner.Join(code);
  }
  // Both sessions and the middle, for `ms` of the sessions' clocks.
  void Run(int ms) {
    for (int i = 0; i < ms; ++i) {
      ++Clock;
      Host.Poll(Clock);
      Joiner.Poll(Clock);
      uint16_t from;
      for (auto d = Middle.Read(from); !d.empty(); d = Middle.Read(from)) {
        if (from == Host.Code.Port) {
          if (DropFromHost > 0)
            --DropFromHost;
          else
            Middle.SendTo(JoinerPort, d.data(), d.size());
        } else {
          JoinerPort = from;
          FromJoiner.push_back(d);
          Middle.SendTo(Host.Code.Port, d.data(), d.size());
        }
      }
      usleep(200);
    }
  }
};

} // namespace

TEST(NetSocket, IPv4PeersUnderTheirMappedNamesBothWays) {
  sockaddr_in6 a;
  ASSERT_TRUE(TNetSocket::Address("192.0.2.7", 38517, a));
  char text[INET6_ADDRSTRLEN];
  EXPECT_STREQ(inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text), "::ffff:192.0.2.7");
  EXPECT_EQ(ntohs(a.sin6_port), 38517);
  ASSERT_TRUE(TNetSocket::Address("2001:db8::1", 1, a));
  EXPECT_FALSE(TNetSocket::Address("host.example", 1, a));

  // A datagram to 127.0.0.1 reaches the bound socket, which names its
  // source ::ffff:127.0.0.1 and the sender's port; the answer goes back.
  TNetSocket host, joiner;
  ASSERT_TRUE(host.Bind(0));
  ASSERT_TRUE(joiner.Open());
  sockaddr_in6 to, from, back;
  ASSERT_TRUE(TNetSocket::Address("127.0.0.1", host.Port(), to));
  ASSERT_TRUE(joiner.Reaches(to));
  const uint8_t ping[3] = {1, 2, 3};
  ASSERT_EQ(joiner.Send(ping, 3, to), 3);
  uint8_t got[8];
  ssize_t n = -1;
  for (int i = 0; i < 1000 && n < 0; ++i, usleep(100))
    n = host.Receive(got, sizeof got, from);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(got[2], 3);
  EXPECT_STREQ(inet_ntop(AF_INET6, &from.sin6_addr, text, sizeof text), "::ffff:127.0.0.1");
  EXPECT_EQ(ntohs(from.sin6_port), joiner.Port());
  ASSERT_EQ(host.Send(got, 1, from), 1);
  n = -1;
  for (int i = 0; i < 1000 && n < 0; ++i, usleep(100))
    n = joiner.Receive(got, sizeof got, back);
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(TNetSocket::Same(back, to));
  EXPECT_EQ(host.Receive(got, sizeof got, from), -1);
}

TEST(SourceBudget, EachSourceSpendsItsOwnAndTheOldestGivesWayToANewOne) {
  auto source = [](int n) {
    sockaddr_in6 a;
    TNetSocket::Address("192.0.2." + std::to_string(n), 4000, a);
    return a;
  };
  TSourceBudget budget;
  // Twenty at once, then one every 50 ms.
  int taken = 0;
  for (int i = 0; i < 30; ++i)
    taken += budget.Take(source(1), 1000);
  EXPECT_EQ(taken, 20);
  EXPECT_FALSE(budget.Take(source(1), 1049));
  EXPECT_TRUE(budget.Take(source(1), 1050));
  EXPECT_FALSE(budget.Take(source(1), 1050));
  // Another source still has all of its own.
  taken = 0;
  for (int i = 0; i < 30; ++i)
    taken += budget.Take(source(2), 1055);
  EXPECT_EQ(taken, 20);
  // Fourteen more sources fill the table of sixteen; the next one takes
  // the place of source 1, heard from longest ago, and source 2 stays
  // spent.
  for (int n = 3; n <= 16; ++n)
    EXPECT_TRUE(budget.Take(source(n), 1060 + n));
  EXPECT_TRUE(budget.Take(source(17), 1078));
  EXPECT_FALSE(budget.Take(source(2), 1078));
  // Source 1 comes back as a new one, with a whole budget.
  taken = 0;
  for (int i = 0; i < 30; ++i)
    taken += budget.Take(source(1), 1078);
  EXPECT_EQ(taken, 20);
}

TEST(Session, KeysTakeEffectDelayFramesOnAndBothSidesAgree) {
  TPair pair;
  pair.Run(100);
  ASSERT_EQ(pair.Host.State, TNetState::Connected) << pair.Host.Message;
  ASSERT_EQ(pair.Joiner.State, TNetState::Connected) << pair.Joiner.Message;
  EXPECT_EQ(pair.Joiner.Field[0], 1020);
  EXPECT_EQ(pair.Joiner.Seed, pair.Host.Seed);
  // Loopback: the joiner measured a round trip of a few ms, one frame of
  // delay; the host has measured nothing yet and keeps two.
  EXPECT_EQ(pair.Joiner.Delay, 1);
  EXPECT_EQ(pair.Host.Delay, 2);
  TNetFrame seen[2][8];
  TStateHash state;
  for (int f = 0; f < 8; ++f) {
    if (f == 3) {
      pair.Host.LocalEvent(evKeyDown | 2);
      pair.Joiner.LocalEvent(evKeyDown | 0);
      pair.Joiner.LocalEvent(evStart);
    }
    for (int side = 0; side < 2; ++side) {
      TNetSession &s = side ? pair.Joiner : pair.Host;
      for (int wait = 0; wait < 500 && !s.FrameReady(); ++wait)
        pair.Run(1);
      ASSERT_TRUE(s.FrameReady()) << side << " frame " << f;
      seen[side][f] = s.TakeFrame(pair.Clock);
      state.Size = 1;
      state.Bytes[0] = uint8_t(f);
      s.FrameDone(state);
    }
  }
  for (int f = 0; f < 8; ++f) {
    // The host's shot, pressed before frame 3, in frame 3 + 2; the
    // joiner's two events in frame 3 + 1, in the order pressed.
    EXPECT_EQ(seen[0][f].Side[1].Count, f == 5 ? 1 : 0) << f;
    EXPECT_EQ(seen[0][f].Side[2].Count, f == 4 ? 2 : 0) << f;
    for (int side = 1; side <= 2; ++side) {
      ASSERT_EQ(seen[1][f].Side[side].Count, seen[0][f].Side[side].Count);
      for (int e = 0; e < seen[0][f].Side[side].Count; ++e)
        EXPECT_EQ(seen[1][f].Side[side].Events[e], seen[0][f].Side[side].Events[e]);
    }
  }
  EXPECT_EQ(seen[1][5].Side[1].Events[0], evKeyDown | 2);
  EXPECT_EQ(seen[1][4].Side[2].Events[1], evStart);
  pair.Run(30);
  EXPECT_GT(pair.Host.HashesCompared, 0u);
  EXPECT_EQ(pair.Host.State, TNetState::Connected);
}

TEST(Session, FrameNumbersPastSixteenBitsComeBackWhole) {
  // A host fed the joiner's messages directly, for 65538 frames: a game
  // of 55 minutes. The joiner's frame numbers travel as their low 16 bits.
  TNetSession host;
  host.Attach(true, SampleCode().Secret, 1000);
  TMessage m;
  m.Type = TMessageType::Hello;
  m.Version = kProtocolVersion;
  m.Build = host.Build;
  host.HandleMessage(m, 1000);
  ASSERT_EQ(host.State, TNetState::Connected);
  TStateHash state;
  state.Size = 1;
  for (uint32_t f = 0; f <= 65536; ++f) {
    m = TMessage{};
    m.Type = TMessageType::Frames;
    m.Ack = uint16_t(f); // what the joiner has of the host's frames
    m.First = uint16_t(f);
    m.FrameCount = 1;
    // The joiner presses its shot key for frame 65536: 0 on the wire.
    if (f == 65536)
      m.Frames[0] = {1, {evKeyDown | 2}};
    host.HandleMessage(m, 1000 + f);
    ASSERT_TRUE(host.FrameReady()) << f;
    const TNetFrame frame = host.TakeFrame(1000 + f);
    ASSERT_EQ(frame.Number, f);
    EXPECT_EQ(frame.Side[2].Count, f == 65536 ? 1 : 0) << f;
    state.Bytes[0] = uint8_t(f);
    host.FrameDone(state);
  }
  // The joiner's battlefield after frame 65536 (0 on the wire) differs.
  EXPECT_EQ(host.State, TNetState::Connected);
  m.FrameCount = 0;
  m.First = 1;
  m.HashCount = 1;
  m.HashFrame[0] = 0;
  m.Hash[0] = 12345;
  host.HandleMessage(m, 70000);
  EXPECT_EQ(host.State, TNetState::Desync);
  EXPECT_EQ(host.DesyncFrame, 65536u);
}

TEST(Session, DifferentStatesStopBothSidesAtTheTickWhereTheyWentApart) {
  TPair pair;
  pair.Run(100);
  TStateHash state;
  for (int f = 0; f < 6 && pair.Host.State == TNetState::Connected; ++f) {
    for (int side = 0; side < 2; ++side) {
      TNetSession &s = side ? pair.Joiner : pair.Host;
      for (int wait = 0; wait < 500 && !s.FrameReady(); ++wait)
        pair.Run(1);
      if (!s.FrameReady())
        break;
      s.TakeFrame(pair.Clock);
      state.Size = 1;
      // From frame 2 on, the joiner's battlefield differs.
      state.Bytes[0] = uint8_t(side && f >= 2 ? 100 + f : f);
      s.FrameDone(state);
    }
  }
  pair.Run(50);
  EXPECT_EQ(pair.Host.State, TNetState::Desync);
  EXPECT_EQ(pair.Joiner.State, TNetState::Desync);
  EXPECT_EQ(pair.Host.DesyncFrame, 2u);
  EXPECT_NE(pair.Host.Message.find("at tick 2"), std::string::npos) << pair.Host.Message;
}

TEST(Session, ForgedReplayedCutOversizedAndStrangersDatagramsChangeNothingAndGetNoAnswer) {
  TPair pair;
  pair.Run(100);
  ASSERT_EQ(pair.Host.State, TNetState::Connected);
  ASSERT_GE(pair.FromJoiner.size(), 2u);
  // The joiner stops sending: from here on the host hears only the
  // attacker, who holds copies of the joiner's datagrams.
  const uint32_t next = pair.Host.Next;
  const bool ready = pair.Host.FrameReady();
  const uint64_t received = pair.Host.DatagramsReceived;
  const auto &copy = pair.FromJoiner.back();
  TTestSocket attacker;
  TNetSession stranger;
  TConnectCode otherCode = pair.Host.Code;
  otherCode.Secret[0] ^= 1;
  stranger.Attach(false, otherCode.Secret, pair.Clock);
  std::vector<std::vector<uint8_t>> attacks;
  // Replays, from the middle's own address and from the attacker's.
  for (const auto &d : pair.FromJoiner)
    attacks.push_back(d);
  // Cut short, one byte longer, a bit changed, oversized, empty.
  attacks.push_back({copy.begin(), copy.end() - 1});
  attacks.push_back(copy);
  attacks.back().push_back(0);
  attacks.push_back(copy);
  attacks.back()[20] ^= 1;
  // The short header's sequence one further on.
  ASSERT_TRUE(IsShortDatagram(copy.data(), copy.size()));
  attacks.push_back(copy);
  ++attacks.back()[2];
  attacks.push_back(std::vector<uint8_t>(600, 0x5A));
  attacks.push_back({});
  // A hello sealed with another code's secret, as a stranger sends it.
  uint8_t plain[64], sealed[kMaxDatagram];
  TMessage hello;
  hello.Type = TMessageType::Hello;
  hello.Version = kProtocolVersion;
  hello.Build = pair.Host.Build;
  const size_t n = EncodeMessage(hello, plain, sizeof plain);
  const TKey strangerKey = DeriveKey(otherCode.Secret);
  attacks.push_back(
      std::vector<uint8_t>(sealed, sealed + SealDatagram(strangerKey, 1, 9, 1, plain, n, sealed)));
  for (const auto &d : attacks) {
    pair.Middle.SendTo(pair.Host.Code.Port, d.data(), d.size());
    attacker.SendTo(pair.Host.Code.Port, d.data(), d.size());
  }
  for (int i = 0; i < 100; ++i) {
    ++pair.Clock;
    pair.Host.Poll(pair.Clock);
    usleep(200);
  }
  EXPECT_EQ(pair.Host.DatagramsReceived, received);
  EXPECT_GE(pair.Host.DatagramsDropped, 2 * attacks.size() - 2);
  EXPECT_EQ(pair.Host.Next, next);
  EXPECT_EQ(pair.Host.FrameReady(), ready);
  EXPECT_EQ(pair.Host.State, TNetState::Connected);
  uint16_t from;
  EXPECT_TRUE(attacker.Read(from).empty());
  // The host's own frames still go to the middle; nothing else does.
  for (auto d = pair.Middle.Read(from); !d.empty(); d = pair.Middle.Read(from))
    EXPECT_EQ(from, pair.Host.Code.Port);
}

TEST(Session, AStrangersFloodNeitherKeepsTheJoinerOutNorHoldsUpItsFrames) {
  TPair pair;
  TTestSocket stranger;
  const std::vector<uint8_t> junk(300, 0xA5);
  // Ten junk datagrams a millisecond from one address, from before the
  // joiner's first hello until its frames run.
  auto flood = [&](int ms) {
    for (int i = 0; i < ms; ++i) {
      for (int j = 0; j < 10; ++j)
        stranger.SendTo(pair.Host.Code.Port, junk.data(), junk.size());
      pair.Run(1);
    }
  };
  flood(300);
  ASSERT_EQ(pair.Host.State, TNetState::Connected);
  ASSERT_EQ(pair.Joiner.State, TNetState::Connected);
  TStateHash state;
  state.Size = 1;
  for (int f = 0; f < 20; ++f) {
    for (int wait = 0; wait < 200 && !pair.Host.FrameReady(); ++wait)
      flood(1);
    ASSERT_TRUE(pair.Host.FrameReady()) << f;
    pair.Host.TakeFrame(pair.Clock);
    pair.Host.FrameDone(state);
    if (pair.Joiner.FrameReady()) {
      pair.Joiner.TakeFrame(pair.Clock);
      pair.Joiner.FrameDone(state);
    }
  }
  EXPECT_EQ(pair.Host.State, TNetState::Connected);
  EXPECT_GT(pair.Host.DatagramsDropped, 2000u);
}

TEST(Session, BetweenGamesTheFramesRestAndGoOnFromTheSameFrameThroughALoss) {
  TPair pair;
  // As between games: no copies of the frames messages.
  pair.Host.Idle = pair.Joiner.Idle = true;
  pair.Host.Copies = pair.Joiner.Copies = false;
  std::vector<TNetFrame> seen[2];
  TStateHash state;
  state.Size = 1;
  // Both sides run whatever frames are ready, as their frame loops would.
  auto run = [&](int ms) {
    for (int i = 0; i < ms; ++i) {
      pair.Run(1);
      for (int side = 0; side < 2; ++side) {
        TNetSession &s = side ? pair.Joiner : pair.Host;
        while (s.FrameReady()) {
          seen[side].push_back(s.TakeFrame(pair.Clock));
          state.Bytes[0] = uint8_t(seen[side].back().Number);
          s.FrameDone(state);
        }
      }
    }
  };
  run(1000);
  ASSERT_EQ(pair.Host.State, TNetState::Connected);
  // The joiner's delay of one frame ends the frames made at the connect
  // after frame 0: both rest before frame 1.
  EXPECT_TRUE(pair.Host.Resting());
  EXPECT_TRUE(pair.Joiner.Resting());
  EXPECT_EQ(pair.Host.Next, 1u);
  EXPECT_EQ(pair.Joiner.Next, 1u);
  // Eight seconds of rest, past the 5 s of silence: a keep-alive every
  // 2 s each way, and a round trip measured from them. The first of the
  // host's is lost, and asked again 300 ms later.
  const uint64_t hostSent = pair.Host.DatagramsSent, joinerSent = pair.Joiner.DatagramsSent;
  pair.DropFromHost = 1;
  run(8000);
  EXPECT_EQ(pair.Host.State, TNetState::Connected) << pair.Host.Message;
  EXPECT_EQ(pair.Joiner.State, TNetState::Connected) << pair.Joiner.Message;
  EXPECT_GE(pair.Host.DatagramsSent - hostSent, 5u);
  EXPECT_LE(pair.Host.DatagramsSent - hostSent, 6u);
  EXPECT_EQ(pair.Joiner.DatagramsSent - joinerSent, pair.Host.DatagramsSent - hostSent - 1);
  EXPECT_EQ(seen[0].size(), 1u);
  EXPECT_GE(pair.Host.RoundTripMs, 0);
  EXPECT_LE(pair.Host.RoundTripMs, 20);

  // The host's start; the datagram that carries it is lost, and its
  // resend a frame and a half later wakes the joiner.
  pair.DropFromHost = 1;
  pair.Host.LocalEvent(evStart);
  pair.Host.Flush(pair.Clock);
  run(40);
  EXPECT_EQ(pair.Joiner.Next, 1u);
  run(460);
  // Loopback's delay of one frame puts the start in frame 2 on both
  // sides, and the frames rest again, both on the same frame.
  ASSERT_EQ(seen[0].size(), seen[1].size());
  ASSERT_GE(seen[0].size(), 3u);
  for (size_t i = 0; i < seen[0].size(); ++i) {
    EXPECT_EQ(seen[0][i].Number, i);
    EXPECT_EQ(seen[1][i].Number, i);
    EXPECT_EQ(seen[0][i].Side[1].Count, i == 2 ? 1 : 0) << i;
    EXPECT_EQ(seen[1][i].Side[1].Count, i == 2 ? 1 : 0) << i;
    EXPECT_EQ(seen[0][i].Side[2].Count + seen[1][i].Side[2].Count, 0) << i;
  }
  EXPECT_EQ(seen[1][2].Side[1].Events[0], evStart);
  EXPECT_TRUE(pair.Host.Resting());
  EXPECT_TRUE(pair.Joiner.Resting());
  EXPECT_EQ(pair.Host.Next, pair.Joiner.Next);
  // Every frame's hash was compared on the way (the last ones with the
  // keep-alives), and all agreed.
  run(2000);
  EXPECT_EQ(pair.Host.State, TNetState::Connected);
  EXPECT_GE(pair.Host.HashesCompared, seen[0].size() - 1);
}
