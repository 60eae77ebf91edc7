// The program's command line: "debug" as the first argument (read by the
// main window), the computer's sides and levels, --help and --version.
// Arguments the program does not know are ignored.
#pragma once

#include "game/computer.h"
#include "net/connectcode.h"

#include <cstdint>
#include <iosfwd>

struct TOptions {
  // Indexed by side: 1 red, 2 blue.
  bool Computer[3] = {};
  TComputerLevel Level[3] = {lvNormal, lvNormal, lvNormal};
  // A network game: host it on Port (red), or join the host of JoinCode
  // (blue).
  bool Host = false;
  uint16_t Port = kDefaultPort;
  bool Join = false;
  TConnectCode JoinCode;
  // With Host: the joiner's reply code, handed to the host already
  // running on this machine (it alone knows the secret that checks it).
  std::string Reply;
  // Ask in a small dialog whether to host or to join (the desktop
  // action "Play over the network").
  bool Network = false;
};

// The text the About box shows as the version.
extern const char *const VersionText;

// Reads the arguments after the program name. Says whether the program
// goes on to open its window; when not, exitCode is what it ends with,
// after --help or --version wrote to out, or a faulty option wrote one
// line to err.
bool ReadOptions(int argc, const char *const argv[], TOptions &options, std::ostream &out,
                 std::ostream &err, int &exitCode);
