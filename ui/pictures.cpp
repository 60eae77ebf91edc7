#include "ui/pictures.h"

#include <QPixmap>

namespace {
#include "resources/bird.xpm"
#include "resources/star.xpm"
#include "resources/zoftrel.xpm"
} // namespace

QImage StarPicture() {
  return QImage(star_xpm);
}

QImage BirdPicture() {
  return QImage(bird_xpm);
}

QIcon GameIcon() {
  return QIcon(QPixmap(zoftrel_xpm));
}
