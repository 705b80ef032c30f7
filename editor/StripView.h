// Geometry and drawing of the waveform strip, apart from any window: its width,
// the play cursor and its caption, and the page-by-page auto-scroll rule.
// GUI thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>

// The widest strip made: 100000 columns (45 MB per bitmap), 83 minutes at 50 ms.
inline constexpr int kMaxStripWidth = 100000;

// LengthMs div msPerPixel, but at least the view's width, and at most kMaxStripWidth.
int StripWidth(std::int32_t lengthMs, int msPerPixel, int viewWidth);

// The column that holds a byte position; 0 when there is no strip scale.
int CursorColumn(std::int64_t positionBytes, std::int32_t bytesPerPixel);

// "m:ss" of the position's whole seconds: 3:07, 75:03.
QString CursorCaption(std::int32_t positionMs);

// The caption stands right of the line, or left of it beyond clientWidth - 20.
int CaptionLeft(int cursorColumn, int clientWidth);

// A vertical line down from the top at the column, with its bold caption at textTop.
void DrawPlayCursor(QImage& strip, int cursorColumn, const QString& caption, int textTop, const QColor& colour,
                    int clientWidth, int clientHeight);

// Where the view should scroll to, if anywhere: when the cursor has reached or
// passed the right edge of the view, or stands at or left of its left edge, the
// view turns so that the cursor is at its left edge.
std::optional<int> AutoScrollTarget(int cursorColumn, int scrollPosition, int viewWidth);
