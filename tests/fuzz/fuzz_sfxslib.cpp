// Feeds arbitrary bytes to the sound-library reader, both as a bare "SL10"
// stream and as the property block that wraps it. A read either succeeds,
// and then writes back the bytes it consumed, or fails with one of the
// program's exceptions and leaves the list empty.
#include "sound/sfxslib.h"
#include "rtl/sysutils.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

void ReadStream(const uint8_t *data, size_t size) {
  TSfxSounds sounds;
  TSpanStream in({data, size});
  try {
    sounds.ReadData(in);
  } catch (const Exception &) {
    Check(sounds.Count() == 0 && !sounds.HasTable());
    sounds.Clear();
    return;
  }
  TMemoryStream out;
  sounds.WriteData(out);
  Check(out.Size() == in.Position);
  Check(std::memcmp(out.Bytes.data(), data, out.Bytes.size()) == 0);
  for (int i = 0; i < sounds.Count(); ++i) {
    TSfxSoundRec rec;
    sounds.GetSound(i, rec);
    Check(rec.Size > 0 && rec.Data != nullptr);
  }
}

void ReadProperty(const uint8_t *data, size_t size) {
  TSfxSoundLib lib;
  TSpanStream in({data, size});
  try {
    lib.ReadSoundsProperty(in);
  } catch (const EReadError &) {
    Check(lib.Count() == 0);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ReadStream(data, size);
  ReadProperty(data, size);
  return 0;
}
