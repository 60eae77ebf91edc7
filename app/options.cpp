#include "app/options.h"

#include <ostream>
#include <string_view>

const char *const VersionText = "Zoftrel version 1.0";

namespace {

const char *const Usage =
    "Usage: zoftrel [debug] [--red=LEVEL] [--blue=LEVEL]\n"
    "A tank duel for two players at one keyboard; the computer can play either side.\n"
    "\n"
    "  debug         as the first argument: show the blue tanks' motion states\n"
    "  --red=LEVEL   the computer plays red\n"
    "  --blue=LEVEL  the computer plays blue\n"
    "                LEVEL is easy, normal or hard; with both sides the\n"
    "                computer plays itself\n"
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
  exitCode = 0;
  return true;
}
