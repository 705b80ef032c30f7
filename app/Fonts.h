// The interface font: the family "SimSun" at a pixel size, falling back (through
// the list and then fontconfig) to an installed CJK font. GUI thread only.
#pragma once

#include <QFont>

QFont SimSunFont(int PixelSize);
