#include "sound/sfxassets.h"

#include "rtl/sysutils.h"

#include <QFile>

std::vector<uint8_t> EmbeddedSoundsBlock() {
  QFile file(kSfxSoundsResource);
  if (!file.open(QIODevice::ReadOnly))
    throw EReadError(std::string("Resource not found: ") + kSfxSoundsResource);
  QByteArray bytes = file.readAll();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void ReadEmbeddedSounds(TSfxSoundLib &lib) {
  std::vector<uint8_t> block = EmbeddedSoundsBlock();
  TSpanStream stream(block);
  lib.ReadSoundsProperty(stream);
}
