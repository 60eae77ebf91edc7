// The network session of a game between two machines: the host (red)
// listens on a UDP port and takes one joiner (blue), which comes with the
// host's connect code. After the handshake (protocol version and build
// identity must match) both run the same frames in lockstep: every key
// event of a side is stamped with the frame it takes effect on, Delay
// frames after the frame being run when it was pressed, and a frame runs
// only when both sides' events for it are known. Every datagram carries
// all of its side's frames the other has not acknowledged, and the state
// hashes of its latest frames, which the other compares with its own.
//
// The caller drives it: Poll often (it reads the socket and sends what is
// due), LocalEvent for its side's events, and for each tick FrameReady,
// TakeFrame, the battlefield's work for the frame, then FrameDone.
//
// Between games (Idle) a side makes no new frames of its own while no
// event is in flight on either side: both run the frames already made and
// stop on the same frame, and only a keep-alive goes each second. An
// event of either side (the start, a key let go) makes both go on from
// there.
#pragma once

#include "net/connectcode.h"
#include "net/datagram.h"
#include "net/netsocket.h"
#include "net/replycode.h"
#include "net/sourcebudget.h"
#include "net/statehash.h"

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

enum class TNetState {
  Closed,    // nothing open
  Waiting,   // a host waits for the other player
  Joining,   // a joiner waits for the host's welcome
  Connected, // in lockstep
  Refused,   // the two programs do not match
  Lost,      // nothing heard for 5 s
  Left,      // the other player left
  Desync     // the two battlefields went apart
};

// The events of both sides for one frame; Side[1] red, Side[2] blue.
struct TNetFrame {
  uint32_t Number = 0;
  TFrameEvents Side[3];
};

class TNetSession {
public:
  TNetSession();
  ~TNetSession();
  TNetSession(const TNetSession &) = delete;
  TNetSession &operator=(const TNetSession &) = delete;

  // Who this program is; both sides must say the same.
  std::string Build;
  // The length of a frame in ms: the main loop's 50, less in fast tests.
  int TickMs = 50;
  // The host's field: the window's outer and client sizes and the status
  // bars' height; a joiner receives it in the welcome.
  uint16_t Field[5] = {};

  // Opens the port (0: any free one) and waits for the other player;
  // Code is then the connect code. False, with Message, when the port
  // cannot be opened.
  bool Host(uint16_t port);
  // Asks the host of a code to let this program in.
  bool Join(const TConnectCode &code);
  // A session without a socket, in the given role, for tests that hand
  // it datagrams or messages themselves.
  void Attach(bool host, const std::array<uint8_t, 16> &secret, int64_t nowMs);
  // A host given the joiner's reply code sends to its addresses for
  // 10 s, while the joiner sends to the host's: each side's datagrams
  // open its own NAT or firewall for the other's.
  void Punch(const TReplyCode &reply, int64_t nowMs);
  // Tells the other side that this one goes, and closes the port.
  void Close();

  // Reads every datagram waiting, sends what is due and notices silence.
  void Poll(int64_t nowMs);
  // The socket, for a caller that waits on it; -1 when there is none.
  int Socket() const { return Udp.Fd(); }
  // The socket's local port (a joiner's is the system's choice).
  uint16_t LocalPort() const { return Udp.Port(); }
  // When Poll next has work that no datagram brings (a hello, frames to
  // send again, a silence to notice); -1 when only a datagram can bring
  // any.
  int64_t NextDeadline(int64_t nowMs) const;

  // An event of this side, in the next frame that is still open.
  void LocalEvent(uint8_t event);
  // Puts the events so far into a frame and sends it now: before the
  // caller stops running frames for a while (the Exit question).
  void Flush(int64_t nowMs);
  // The next frame's events of both sides are known.
  bool FrameReady() const;
  // The next frame to run; call FrameDone when the battlefield has run it.
  TNetFrame TakeFrame(int64_t nowMs);
  void FrameDone(const TStateHash &state);

  // One datagram from `from`, as the socket would deliver it.
  void Receive(const uint8_t *data, size_t size, const sockaddr_in6 &from, int64_t nowMs);
  // One message that has passed the checks of Receive.
  void HandleMessage(const TMessage &message, int64_t nowMs);

  TNetState State = TNetState::Closed;
  // A joiner has heard nothing from the host for 3 s: its window offers a
  // reply code. It goes on trying for 3 minutes.
  bool ReplyWanted = false;
  // A reply code handed to a waiting host over loopback (--reply), not
  // yet checked.
  std::string HandedReply;
  // What a player should read about the state: the refusal, the lost
  // connection, the tick where the games went apart.
  std::string Message;
  TConnectCode Code;
  // 1 when hosting (red), 2 when joined (blue).
  int LocalSide = 0;
  // The session's seed, chosen by the host.
  uint32_t Seed = 0;
  // Every frames message goes again half a frame later, without clocks
  // and hashes: during a game, where a lost one would make the other side
  // wait. Between games the frames go once.
  bool Copies = true;
  // No game runs and nobody pauses: set by the caller. The frames rest
  // once nothing is in flight; until then, and during games, every frame
  // taken makes the next one.
  bool Idle = false;
  // Idle, and the frames made have all been run: nothing goes but the
  // keep-alive and what the other side has not acknowledged yet.
  bool Resting() const;
  // Frames between a key and its effect, from the smoothed round trip.
  int Delay = 2;
  int RoundTripMs = -1;
  // The next frame to run.
  uint32_t Next = 0;
  // The frame where the two battlefields went apart.
  uint32_t DesyncFrame = 0;

  // Counters for the tests and the bench.
  uint64_t BytesSent = 0, BytesReceived = 0, DatagramsSent = 0, DatagramsReceived = 0,
           DatagramsDropped = 0, HashesCompared = 0;

  // Chooses the delay for a round trip: half of it plus a margin for
  // jitter of 0.4 frames, in whole frames, 1 to 8.
  static int DelayFor(int roundTripMs, int tickMs);
  // Chooses Delay anew from the round trip measured so far; between games.
  void UpdateDelay();

private:
  static constexpr int kRing = 64;

  void SendMessage(const TMessage &message, const sockaddr_in6 &to);
  // All frames not acknowledged; a full message has the clocks and the
  // latest state hashes too.
  void SendFrames(int64_t nowMs, bool full);
  // A frame number from its low 16 bits: the one nearest the next frame.
  int64_t Near(uint16_t low) const;
  void SendBye(TByeReason reason);
  void Greet(int64_t nowMs);
  void Connect(const sockaddr_in6 &peer, uint64_t instance, int64_t nowMs);
  void Finalize(uint32_t upTo);
  // An event of either side in a frame not run yet, or this side's queued.
  bool Pending() const;
  // Between games: makes this side's frames up to where an event in
  // flight needs them.
  void Wake();
  // When the next full frames message is due, Dirty aside.
  int64_t SendDue() const;
  void Compare(uint32_t frame, uint64_t remote);
  void Fail(TNetState state, std::string message);
  void Stamp(TMessage &m, int64_t nowMs) const;
  void Heard(const TMessage &m, int64_t nowMs);

  TNetSocket Udp;
  TKey Key{};
  uint64_t Instance = 0, Sequence = 0;
  std::vector<sockaddr_in6> Targets; // a joiner's addresses of the host
  sockaddr_in6 Peer{};
  bool PeerKnown = false;
  uint64_t PeerInstance = 0;
  TReplayWindow Sequences;
  bool PeerFramesHeard = false;

  bool Clocked = false;
  int64_t Started = 0, LastHeard = 0, LastSent = -1000000, LastHello = -1000000;
  // A host sends hellos to a reply code's addresses until then.
  int64_t PunchUntil = -1;
  bool Advised = false;
  uint16_t PeerTime = 0;
  int64_t PeerTimeAt = 0;
  bool PeerTimeKnown = false;
  double SmoothedRtt = -1;
  // What unknown sources may cost before the other player is known.
  TSourceBudget Strangers;

  std::deque<uint8_t> Queue; // this side's events not yet in a frame
  TFrameEvents LocalFrames[kRing];
  TFrameEvents RemoteFrames[kRing];
  int64_t LocalFinal = -1, RemoteFinal = -1;
  uint32_t PeerAck = 0;
  bool Dirty = false;
  bool CopyDue = false; // the last full message has not gone again yet

  struct THashSlot {
    int64_t Frame = -1;
    uint64_t Hash = 0;
  };
  THashSlot OwnHashes[kRing], RemoteHashes[kRing];
  std::vector<TStateHash> States; // kRing states for the dump
};
