// The window's pictures, compiled into the program as the XPM sources they
// are: the hit's star, the destroyed tank's bird and the window icon. Made
// from the program's own data, they need no image reader and no plug-in.
#pragma once

#include <QIcon>
#include <QImage>

QImage StarPicture();
QImage BirdPicture();
// The icon of the main window and the About box.
QIcon GameIcon();
