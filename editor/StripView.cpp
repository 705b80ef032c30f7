#include "StripView.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

int StripWidth(std::int32_t lengthMs, int msPerPixel, int viewWidth)
{
    const std::int32_t width = msPerPixel > 0 ? lengthMs / msPerPixel : 0;
    // Two bitmaps this wide are held; an hours-long file at a fine scale would need
    // gigabytes (and exceeds what a widget may be wide), so columns then stand for more.
    return std::min(std::max<int>(width, viewWidth), std::max(kMaxStripWidth, viewWidth));
}

int CursorColumn(std::int64_t positionBytes, std::int32_t bytesPerPixel)
{
    return bytesPerPixel > 0 ? static_cast<int>(positionBytes / bytesPerPixel) : 0;
}

QString CursorCaption(std::int32_t positionMs)
{
    const std::int32_t secs = positionMs / 1000;
    return QString::number(secs / 60) + QLatin1Char(':') + QStringLiteral("%1").arg(secs % 60, 2, 10, QLatin1Char('0'));
}

int CaptionLeft(int cursorColumn, int clientWidth)
{
    return cursorColumn > clientWidth - 20 ? cursorColumn - 38 : cursorColumn + 2;
}

void DrawPlayCursor(QImage& strip, int cursorColumn, const QString& caption, int textTop, const QColor& colour,
                    int clientWidth, int clientHeight)
{
    QPainter painter(&strip);
    painter.setPen(colour);
    painter.drawLine(cursorColumn, 0, cursorColumn, clientHeight);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    painter.drawText(CaptionLeft(cursorColumn, clientWidth), textTop + metrics.ascent(), caption);
}

std::optional<int> AutoScrollTarget(int cursorColumn, int scrollPosition, int viewWidth)
{
    const int offset = cursorColumn - scrollPosition;
    if (offset >= viewWidth || offset <= 0)
        return cursorColumn;
    return std::nullopt;
}
