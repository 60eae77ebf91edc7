// The faces the windows were designed with, and the faces that stand in for
// them. A stand-in face is sized by the text height the designed face has
// at the same font height, where that keeps the designed lines, so that
// auto-sized labels, the About box's scaling and lines of text keep their
// designed heights.
#pragma once

#include <QString>

class QFont;
struct TFont;

// The text height (the height of "0": ascent plus descent) that a designed
// face gives for a font height (negative: the character height in pixels)
// on a screen of `dpi` pixels per inch; 0 for a face not known here.
int DesignedTextHeight(const QString &face, int height, double dpi);

// The pixel size at which `face`, the face that serves for `font` (styled
// as it is drawn), has the designed face's text height on the primary
// screen: the largest size whose text is not taller, or the font's
// character height for a face not known here.
int StandInPixelSize(const TFont &font, const QFont &face);
