// libFuzzer target: the MIDI file checker on arbitrary bytes. Whatever the
// input, it must return, and an accepted file must describe a sane piece
// and keep it in its plain form.
#include "music/midifile.h"

#include <cmath>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TMidiCheck check = CheckMidiFile({data, size});
  if (check.Ok()) {
    const TMidiFileInfo &info = check.Info;
    if (info.Format > 2 || info.TrackCount == 0 || !info.Division.Valid() ||
        !std::isfinite(info.Seconds) || info.Seconds < 0 || info.Seconds > 86400)
      std::abort();
    // The plain form handed to the synthesizer checks out the same.
    std::vector<uint8_t> plain = PlainMidiFile({data, size}, check);
    TMidiCheck again = CheckMidiFile(plain);
    if (!again.Ok() || again.Info.EndTick != info.EndTick || again.Info.Seconds != info.Seconds)
      std::abort();
  } else if (check.Offset > size) {
    std::abort();
  }
  return 0;
}
