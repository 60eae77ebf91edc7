#include "app/options.h"

#include <ostream>
#include <string_view>

const char *const VersionText = "Zoftrel version 1.0";

namespace {

const char *const Usage =
    "Usage: zoftrel [debug] [--red=LEVEL] [--blue=LEVEL]\n"
    "       zoftrel [--red=LEVEL | --blue=LEVEL] --host[=PORT] | --join=CODE | --network\n"
    "A tank duel for two players at one keyboard; the computer can play either side.\n"
    "\n"
    "  debug         as the first argument: show the blue tanks' motion states\n"
    "  --red=LEVEL   the computer plays red\n"
    "  --blue=LEVEL  the computer plays blue\n"
    "                LEVEL is easy, normal or hard; with both sides the\n"
    "                computer plays itself\n"
    "  --host[=PORT] play red over the network: wait on UDP port PORT (38517\n"
    "                if not given) and show the connect code for the other player\n"
    "  --join=CODE   play blue over the network with the host's connect code\n"
    "  --host[=PORT] --reply=CODE\n"
    "                give the host running here the other player's reply code\n"
    "  --network     ask whether to host or to join a network game\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n";

const char *const Levels = "one of the levels easy, normal, hard";

// The side an option names ("--red", "--blue"), or 0.
int SideOf(std::string_view name) {
  if (name == "--red")
    return 1;
  if (name == "--blue")
    return 2;
  return 0;
}

} // namespace

bool ReadOptions(int argc, const char *const argv[], TOptions &options, std::ostream &out,
                 std::ostream &err, int &exitCode) {
  options = TOptions{};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      out << Usage;
      exitCode = 0;
      return false;
    }
    if (arg == "--version") {
      out << VersionText << '\n';
      exitCode = 0;
      return false;
    }
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    exitCode = 2;
    if (name == "--host") {
      unsigned port = 0;
      const std::string_view digits =
          equals == std::string_view::npos ? "" : arg.substr(equals + 1);
      bool ok = equals == std::string_view::npos || (!digits.empty() && digits.size() <= 5);
      for (char c : digits) {
        ok = ok && c >= '0' && c <= '9';
        port = port * 10 + unsigned(c - '0');
      }
      if (!ok || (equals != std::string_view::npos && (port == 0 || port > 65535))) {
        err << "zoftrel: --host takes a UDP port from 1 to 65535\n";
        return false;
      }
      options.Host = true;
      if (equals != std::string_view::npos)
        options.Port = uint16_t(port);
      continue;
    }
    if (name == "--reply") {
      const std::string_view code = equals == std::string_view::npos ? "" : arg.substr(equals + 1);
      if (code.substr(0, 4) != "zr1-" || code.size() > 200) {
        err << "zoftrel: --reply takes the other player's reply code (zr1-...)\n";
        return false;
      }
      options.Reply = std::string(code);
      continue;
    }
    if (arg == "--network") {
      options.Network = true;
      continue;
    }
    if (name == "--join") {
      std::string error;
      if (equals == std::string_view::npos ||
          !TConnectCode::Parse(arg.substr(equals + 1), options.JoinCode, error)) {
        err << "zoftrel: --join takes the host's connect code: "
            << (error.empty() ? "none given" : error) << '\n';
        return false;
      }
      options.Join = true;
      continue;
    }
    const int side = SideOf(name);
    if (side == 0)
      continue;
    exitCode = 2;
    if (options.Computer[side]) {
      err << "zoftrel: " << name << " is given twice; give it once, with " << Levels << '\n';
      return false;
    }
    if (equals == std::string_view::npos ||
        !ParseComputerLevel(arg.substr(equals + 1), options.Level[side])) {
      err << "zoftrel: " << name << " takes " << Levels << '\n';
      return false;
    }
    options.Computer[side] = true;
  }
  if (int(options.Host) + int(options.Join) + int(options.Network) > 1) {
    err << "zoftrel: --host, --join and --network: give one of them\n";
    return false;
  }
  if (!options.Reply.empty() && !options.Host) {
    err << "zoftrel: --reply goes with --host, for the host running on this machine\n";
    return false;
  }
  // Over the network the other side is the other player's.
  const int remote = options.Host ? 2 : options.Join ? 1 : 0;
  if (remote && options.Computer[remote]) {
    err << "zoftrel: " << (remote == 1 ? "--red" : "--blue")
        << " belongs to the other player in a network game\n";
    return false;
  }
  exitCode = 0;
  return true;
}
