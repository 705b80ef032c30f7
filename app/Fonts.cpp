#include "Fonts.h"

#include <QStringList>

QFont SimSunFont(int PixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(PixelSize);
    return font;
}
