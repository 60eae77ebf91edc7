// libFuzzer target: the MIDI file checker on arbitrary bytes. Whatever the
// input, it must return, and an accepted file must describe a sane piece.
#include "music/midifile.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TMidiCheck check = CheckMidiFile({data, size});
  if (check.Ok()) {
    const TMidiFileInfo &info = check.Info;
    if (info.Format > 2 || info.TrackCount == 0 || info.Division == 0 ||
        !std::isfinite(info.Seconds) || info.Seconds < 0 || info.Seconds > 86400)
      std::abort();
  } else if (check.Offset > size) {
    std::abort();
  }
  return 0;
}
