// FR_Ctrls: the flat speed button and its glyph classes. GUI thread only.
#include "FR_Ctrls.h"

#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QShortcutEvent>
#include <QtMath>

#include <algorithm>
#include <cassert>

namespace {

// Module-wide resources. The GUI thread is the only user, so nothing is locked.
std::unique_ptr<TGlyphCache> GGlyphCache;      // made by the first TButtonGlyph
std::unique_ptr<QImage> GPattern;              // 8 x 8 checker of face and white
std::unique_ptr<QImage> GOffscreen;            // composes buttons up to 100 x 100
int GButtonCount = 0;                          // live TfrSpeedButtons

constexpr int OffscreenSize = 100;

bool SameRgb(QRgb A, const QColor& B) { return (A & 0xFFFFFFu) == (B.rgb() & 0xFFFFFFu); }

QColor SysColor(const QWidget& W, QPalette::ColorRole Role) { return W.palette().color(QPalette::Active, Role); }

// The desktop's 3-D colours, named the way the edge drawing thinks of them:
// face = Button, highlight = Light, shadow = Dark, dark 3-D shadow = Shadow.
struct TEdgeColours {
    QColor Face, Highlight, Shadow, DkShadow3D;
};

TEdgeColours EdgeColours(const QWidget& W) {
    return {SysColor(W, QPalette::Button), SysColor(W, QPalette::Light), SysColor(W, QPalette::Dark),
            SysColor(W, QPalette::Shadow)};
}

// One-pixel lines along the chosen sides of R; top/left first, so the
// bottom/right colour wins in the corners as a raised 3-D edge expects.
void DrawSides(QPainter& P, const TRect& R, bool TopLeft, const QColor& TL, bool BottomRight, const QColor& BR) {
    if (R.Width() <= 0 || R.Height() <= 0) return;
    if (TopLeft) {
        P.fillRect(R.Left, R.Top, R.Width(), 1, TL);
        P.fillRect(R.Left, R.Top, 1, R.Height(), TL);
    }
    if (BottomRight) {
        P.fillRect(R.Left, R.Bottom - 1, R.Width(), 1, BR);
        P.fillRect(R.Right - 1, R.Top, 1, R.Height(), BR);
    }
}

void DrawFrame(QPainter& P, const TRect& R, const QColor& TL, const QColor& BR) { DrawSides(P, R, true, TL, true, BR); }

void EnsureSharedBitmaps(const QColor& Face, qreal Dpr) {
    if (!GPattern) {
        GPattern = std::make_unique<QImage>(8, 8, QImage::Format_RGB32);
        for (int Y = 0; Y < 8; ++Y)
            for (int X = 0; X < 8; ++X)
                GPattern->setPixel(X, Y, (X % 2) == (Y % 2) ? qRgb(255, 255, 255) : Face.rgb());
    }
    // Sized in device pixels so that text stays sharp on scaled screens.
    if (!GOffscreen || GOffscreen->devicePixelRatio() != Dpr) {
        const int Side = qCeil(OffscreenSize * Dpr);
        GOffscreen = std::make_unique<QImage>(Side, Side, QImage::Format_ARGB32_Premultiplied);
        GOffscreen->setDevicePixelRatio(Dpr);
    }
}

constexpr int TextFlagsMeasure = Qt::TextShowMnemonic;

}  // namespace

// ---------------------------------------------------------------------------
// Layout

TButtonLayoutResult CalcButtonLayout(const TRect& Client, QSize GlyphSize, QSize TextSize, TButtonLayout Layout,
                                     int Margin, int Spacing) {
    const int CW = Client.Width(), CH = Client.Height();
    const int GX = GlyphSize.width(), GY = GlyphSize.height();
    const int TX = TextSize.width(), TY = TextSize.height();
    const bool Horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;

    QPoint GlyphPos, TextPos;
    if (Horizontal) {
        GlyphPos.setY((CH - GY + 1) / 2);
        TextPos.setY((CH - TY + 1) / 2);
    } else {
        GlyphPos.setX((CW - GX + 1) / 2);
        TextPos.setX((CW - TX + 1) / 2);
    }

    if (TX == 0 || GX == 0) Spacing = 0;

    const int Extent = Horizontal ? CW : CH;
    const int G = Horizontal ? GX : GY;
    const int T = Horizontal ? TX : TY;
    if (Margin == -1) {
        if (Spacing == -1) {
            Margin = (Extent - (G + T)) / 3;
            Spacing = Margin;
        } else {
            Margin = (Extent - (G + Spacing + T) + 1) / 2;
        }
    } else if (Spacing == -1) {
        Spacing = (Extent - Margin - G - T) / 2;
    }

    switch (Layout) {
        case blGlyphLeft:
            GlyphPos.setX(Margin);
            TextPos.setX(GlyphPos.x() + GX + Spacing);
            break;
        case blGlyphRight:
            GlyphPos.setX(CW - Margin - GX);
            TextPos.setX(GlyphPos.x() - Spacing - TX);
            break;
        case blGlyphTop:
            GlyphPos.setY(Margin);
            TextPos.setY(GlyphPos.y() + GY + Spacing);
            break;
        case blGlyphBottom:
            GlyphPos.setY(CH - Margin - GY);
            TextPos.setY(GlyphPos.y() - Spacing - TY);
            break;
    }

    TButtonLayoutResult R;
    R.GlyphPos = GlyphPos + QPoint(Client.Left, Client.Top);
    const QPoint TL = TextPos + QPoint(Client.Left, Client.Top);
    R.TextBounds = {TL.x(), TL.y(), TL.x() + TX, TL.y() + TY};
    return R;
}

// ---------------------------------------------------------------------------
// TGlyphList

TGlyphList::TGlyphList(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {}

int TGlyphList::AddMasked(const QImage& Image, std::optional<QColor> MaskColor) {
    QImage Stored = Image.convertToFormat(QImage::Format_ARGB32);
    if (Stored.size() != QSize(FWidth, FHeight)) Stored = Stored.copy(0, 0, FWidth, FHeight);
    if (MaskColor) {
        for (int Y = 0; Y < Stored.height(); ++Y) {
            auto* Line = reinterpret_cast<QRgb*>(Stored.scanLine(Y));
            for (int X = 0; X < Stored.width(); ++X)
                if (SameRgb(Line[X], *MaskColor)) Line[X] = 0;
        }
    }
    // Reuse the first freed slot before growing.
    auto Free = std::find(FUsed.begin(), FUsed.end(), false);
    int Index;
    if (Free != FUsed.end()) {
        Index = static_cast<int>(Free - FUsed.begin());
        FImages[static_cast<size_t>(Index)] = std::move(Stored);
        *Free = true;
    } else {
        Index = static_cast<int>(FImages.size());
        FImages.push_back(std::move(Stored));
        FUsed.push_back(true);
    }
    ++FCount;
    return Index;
}

void TGlyphList::Delete(int Index) {
    if (Index < 0 || Index >= Capacity() || !FUsed[static_cast<size_t>(Index)]) return;
    FUsed[static_cast<size_t>(Index)] = false;
    FImages[static_cast<size_t>(Index)] = QImage();
    --FCount;
}

const QImage& TGlyphList::Image(int Index) const {
    static const QImage None;
    if (Index < 0 || Index >= Capacity() || !FUsed[static_cast<size_t>(Index)]) return None;
    return FImages[static_cast<size_t>(Index)];
}

// ---------------------------------------------------------------------------
// TGlyphCache

TGlyphList* TGlyphCache::GetList(int AWidth, int AHeight) {
    for (auto It = FGlyphLists.rbegin(); It != FGlyphLists.rend(); ++It)
        if ((*It)->Width() == AWidth && (*It)->Height() == AHeight) return It->get();
    FGlyphLists.push_back(std::make_unique<TGlyphList>(AWidth, AHeight));
    return FGlyphLists.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
    if (!List || List->Count() != 0) return;
    std::erase_if(FGlyphLists, [List](const auto& L) { return L.get() == List; });
}

TGlyphCache* GlyphCache() { return GGlyphCache.get(); }

// ---------------------------------------------------------------------------
// TButtonGlyph

TButtonGlyph::TButtonGlyph() {
    if (!GGlyphCache) GGlyphCache = std::make_unique<TGlyphCache>();
}

TButtonGlyph::~TButtonGlyph() {
    Invalidate();
    if (GGlyphCache && GGlyphCache->Empty()) GGlyphCache.reset();
}

void TButtonGlyph::Invalidate() {
    for (int& Index : FIndexs) {
        if (Index != -1 && FGlyphList) FGlyphList->Delete(Index);
        Index = -1;
    }
    if (FGlyphList && GGlyphCache) GGlyphCache->ReturnList(FGlyphList);
    FGlyphList = nullptr;
}

void TButtonGlyph::SetGlyph(const QImage& Value, std::optional<QColor> TransparentColor) {
    Invalidate();
    FOriginal = Value;
    FOwnTransparent = TransparentColor;
    if (!FOriginal.isNull() && FOriginal.height() > 0 && FOriginal.width() > 0 &&
        FOriginal.width() % FOriginal.height() == 0) {
        const int Images = FOriginal.width() / FOriginal.height();
        FNumGlyphs = Images < 5 ? Images : 1;
    }
    GlyphChanged();
}

void TButtonGlyph::GlyphChanged() {
    if (FOwnTransparent)
        FTransparentColor = *FOwnTransparent;
    else if (FOriginal.format() == QImage::Format_Mono || FOriginal.format() == QImage::Format_MonoLSB)
        FTransparentColor = Qt::white;
    else if (!FOriginal.isNull())
        FTransparentColor = QColor::fromRgb(FOriginal.pixel(0, FOriginal.height() - 1) | 0xFF000000u);
    if (OnChange) OnChange();
}

void TButtonGlyph::SetNumGlyphs(TNumGlyphs Value) {
    if (Value > 4) Value = 4;
    if (Value > 0 && Value != FNumGlyphs) {
        Invalidate();
        FNumGlyphs = Value;
        if (OnChange) OnChange();
    }
}

QSize TButtonGlyph::ImageSize() const {
    if (FOriginal.isNull() || FOriginal.width() == 0 || FOriginal.height() == 0) return {0, 0};
    const int W = FOriginal.width() / FNumGlyphs;
    // A strip narrower than its image count has no whole image to show.
    if (W == 0) return {0, 0};
    return {W, FOriginal.height()};
}

int TButtonGlyph::CreateButtonGlyph(TButtonState State) {
    if (State == bsDown && FNumGlyphs < 3) State = bsUp;
    if (FIndexs[State] != -1) return FIndexs[State];
    const QSize Size = ImageSize();
    if (Size.isEmpty()) return -1;
    const int IW = Size.width(), IH = Size.height();

    if (!FGlyphList) {
        if (!GGlyphCache) GGlyphCache = std::make_unique<TGlyphCache>();
        FGlyphList = GGlyphCache->GetList(IW, IH);
    }
    const int Source = State < FNumGlyphs ? State : 0;
    const QImage Strip = FOriginal.convertToFormat(QImage::Format_ARGB32);
    QImage Img = Strip.copy(Source * IW, 0, IW, IH);

    switch (State) {
        case bsUp:
        case bsDown:
        case bsExclusive:
            FIndexs[State] = FGlyphList->AddMasked(Img, FTransparentColor);
            break;
        case bsDisabled: {
            QImage Out(IW, IH, QImage::Format_ARGB32);
            if (FNumGlyphs > 1) {
                // The strip's own disabled image, recoloured to the desktop's 3-D colours.
                for (int Y = 0; Y < IH; ++Y)
                    for (int X = 0; X < IW; ++X) {
                        const QRgb P = Img.pixel(X, Y);
                        QRgb O = P;
                        if (SameRgb(P, Qt::white))
                            O = BtnHighlight.rgb();
                        else if (SameRgb(P, QColor(128, 128, 128)))
                            O = BtnShadow.rgb();
                        else if (SameRgb(P, FTransparentColor))
                            O = BtnFace.rgb();
                        Out.setPixel(X, Y, O | 0xFF000000u);
                    }
            } else {
                // Embossed: black pixels as highlight one pixel down-right, then shadow on top.
                Out.fill(BtnFace);
                auto IsBlack = [&Img](int X, int Y) {
                    const QRgb P = Img.pixel(X, Y);
                    return qAlpha(P) != 0 && (P & 0xFFFFFFu) == 0;
                };
                for (int Y = 0; Y < IH; ++Y)
                    for (int X = 0; X < IW; ++X)
                        if (IsBlack(X, Y) && X + 1 < IW && Y + 1 < IH) Out.setPixel(X + 1, Y + 1, BtnHighlight.rgb());
                for (int Y = 0; Y < IH; ++Y)
                    for (int X = 0; X < IW; ++X)
                        if (IsBlack(X, Y)) Out.setPixel(X, Y, BtnShadow.rgb());
            }
            FIndexs[State] = FGlyphList->AddMasked(Out, std::nullopt);
            break;
        }
        case bsInactive: {
            // Grey: luminance of every pixel that is not button face.
            QImage Out(IW, IH, QImage::Format_ARGB32);
            for (int Y = 0; Y < IH; ++Y)
                for (int X = 0; X < IW; ++X) {
                    QRgb P = Img.pixel(X, Y);
                    if (SameRgb(P, FTransparentColor)) P = BtnFace.rgb();
                    if (!SameRgb(P, BtnFace)) {
                        const int L = (77 * qRed(P) + 150 * qGreen(P) + 29 * qBlue(P)) / 256;
                        P = qRgb(L, L, L);
                    }
                    Out.setPixel(X, Y, P | 0xFF000000u);
                }
            FIndexs[State] = FGlyphList->AddMasked(Out, std::nullopt);
            break;
        }
    }
    return FIndexs[State];
}

TRect TButtonGlyph::Draw(QPainter& Canvas, const TRect& Client, bool Transparent, TButtonState State, int Spacing,
                         int Margin, TButtonLayout Layout, const QString& Caption, const QColor& FontColor) {
    QSize TextSize(0, 0);
    if (!Caption.isEmpty()) {
        const QFontMetrics FM(Canvas.font());
        TextSize = FM.size(TextFlagsMeasure, Caption);
    }
    const TButtonLayoutResult L = CalcButtonLayout(Client, ImageSize(), TextSize, Layout, Margin, Spacing);

    const int Index = CreateButtonGlyph(State);
    if (Index != -1 && FGlyphList) {
        const QImage& Img = FGlyphList->Image(Index);
        if (!Transparent) Canvas.fillRect(L.GlyphPos.x(), L.GlyphPos.y(), Img.width(), Img.height(), BtnFace);
        Canvas.drawImage(L.GlyphPos, Img);
    }

    TRect TB = L.TextBounds;
    if (!Caption.isEmpty()) {
        Canvas.setBrush(Qt::NoBrush);
        const auto ToQRect = [](const TRect& R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); };
        if (State == bsDisabled) {
            const TRect Shifted{TB.Left + 1, TB.Top + 1, TB.Right + 1, TB.Bottom + 1};
            Canvas.setPen(QColor(255, 255, 255));
            Canvas.drawText(ToQRect(Shifted), Qt::TextShowMnemonic | Qt::TextDontClip, Caption);
            Canvas.setPen(QColor(128, 128, 128));
            Canvas.drawText(ToQRect(TB), Qt::TextShowMnemonic | Qt::TextDontClip, Caption);
        } else {
            Canvas.setPen(FontColor);
            Canvas.drawText(ToQRect(TB),
                            Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip, Caption);
        }
    }
    return TB;
}

// ---------------------------------------------------------------------------
// TfrSpeedButton

TfrSpeedButton::TfrSpeedButton(QWidget* Parent) : QWidget(Parent), FGlyph(std::make_unique<TButtonGlyph>()) {
    setGeometry(0, 0, 22, 22);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    FColor = SysColor(*this, QPalette::Button);
    SyncGlyphColours();
    FGlyph->OnChange = [this] { update(); };
    ++GButtonCount;
}

TfrSpeedButton::~TfrSpeedButton() {
    FGlyph.reset();
    if (--GButtonCount == 0) {
        GPattern.reset();
        GOffscreen.reset();
    }
}

int TfrSpeedButton::LiveButtons() { return GButtonCount; }

void TfrSpeedButton::SyncGlyphColours() {
    const TEdgeColours C = EdgeColours(*this);
    if (C.Face != FGlyph->BtnFace || C.Highlight != FGlyph->BtnHighlight || C.Shadow != FGlyph->BtnShadow) {
        // Images made with the old colours would show the old desktop look.
        FGlyph->Invalidate();
        FGlyph->BtnFace = C.Face;
        FGlyph->BtnHighlight = C.Highlight;
        FGlyph->BtnShadow = C.Shadow;
    }
}

void TfrSpeedButton::SetAllowAllUp(bool Value) {
    if (FAllowAllUp == Value) return;
    FAllowAllUp = Value;
    UpdateExclusive();
}

void TfrSpeedButton::SetGroupIndex(int Value) {
    if (FGroupIndex == Value) return;
    FGroupIndex = Value;
    UpdateExclusive();
}

void TfrSpeedButton::SetColor(const QColor& Value) {
    if (FColor == Value) return;
    FColor = Value;
    update();  // a flat face shows the colour at once
}

void TfrSpeedButton::SetDown(bool Value) {
    if (FGroupIndex == 0) Value = false;
    if (Value == FDown) return;
    if (FDown && !FAllowAllUp) return;  // a held member of a group is released by another member only
    FDown = Value;
    FState = Value ? bsExclusive : bsUp;
    update();
    if (Value) UpdateExclusive();
}

void TfrSpeedButton::SetFlat(bool Value) {
    if (FFlat == Value) return;
    FFlat = Value;
    update();
}

void TfrSpeedButton::SetCaption(const QString& Value) {
    if (FCaption == Value) return;
    FCaption = Value;
    RegrabShortcut();
    update();
}

void TfrSpeedButton::SetGlyph(const QImage& Value, std::optional<QColor> TransparentColor) {
    FGlyph->SetGlyph(Value, TransparentColor);
}

void TfrSpeedButton::SetGrayedInactive(bool Value) {
    if (FGrayedInactive == Value) return;
    FGrayedInactive = Value;
    update();
}

void TfrSpeedButton::SetLayout(TButtonLayout Value) {
    if (FLayout == Value) return;
    FLayout = Value;
    update();
}

void TfrSpeedButton::SetMargin(int Value) {
    if (Value == FMargin || Value < -1) return;
    FMargin = Value;
    update();
}

void TfrSpeedButton::SetNumGlyphs(TNumGlyphs Value) { FGlyph->SetNumGlyphs(Value); }

void TfrSpeedButton::SetSpacing(int Value) {
    if (Value == FSpacing) return;
    FSpacing = Value;
    update();
}

void TfrSpeedButton::Click() {
    if (OnClick) OnClick(this);
}

void TfrSpeedButton::Loaded() {
    SyncGlyphColours();
    if (!isEnabled())
        FGlyph->CreateButtonGlyph(bsDisabled);
    else if (FGrayedInactive)
        FGlyph->CreateButtonGlyph(bsInactive);
    else
        FGlyph->CreateButtonGlyph(bsUp);
}

void TfrSpeedButton::RegrabShortcut() {
    if (FShortcutId != 0) releaseShortcut(FShortcutId);
    FShortcutId = 0;
    const QKeySequence Mnemonic = QKeySequence::mnemonic(FCaption);
    if (!Mnemonic.isEmpty()) FShortcutId = grabShortcut(Mnemonic);
}

// ---- painting

void TfrSpeedButton::paintEvent(QPaintEvent*) {
    const TEdgeColours C = EdgeColours(*this);
    const qreal Dpr = devicePixelRatioF();
    EnsureSharedBitmaps(C.Face, Dpr);
    if (width() <= OffscreenSize && height() <= OffscreenSize) {
        {
            QPainter Off(GOffscreen.get());
            PaintTo(Off);
        }
        // Composed first, then copied in one go: no flicker of face, glyph and caption.
        QPainter Surface(this);
        Surface.drawImage(QRectF(0, 0, width(), height()), *GOffscreen,
                          QRectF(0, 0, width() * Dpr, height() * Dpr));
    } else {
        QPainter Surface(this);
        PaintTo(Surface);
    }
}

void TfrSpeedButton::PaintTo(QPainter& Canvas) {
    const TEdgeColours C = EdgeColours(*this);
    SyncGlyphColours();
    const int W = width(), H = height();

    const TButtonState Remembered = FState;
    if (!isEnabled()) {
        FState = bsDisabled;
        FDragging = false;
    } else if (FState == bsDisabled) {
        FState = (FDown && FGroupIndex != 0) ? bsExclusive : bsUp;
    }

    Canvas.setFont(font());

    TRect PaintRect;
    if (FFlat) {
        PaintRect = {0, 0, W, H};
        Canvas.fillRect(0, 0, W, H, FColor);
        if (FState == bsDown) PaintRect = {1, 1, W + 1, H + 1};
    } else {
        Canvas.fillRect(0, 0, W, H, C.Face);
        const TRect Whole{0, 0, W, H};
        const bool Sunken = FState == bsDown || FState == bsExclusive;
        if (!Sunken) {
            DrawSides(Canvas, Whole, false, {}, true, C.DkShadow3D);
            DrawSides(Canvas, {0, 0, W - 1, H - 1}, true, C.Highlight, false, {});
            DrawSides(Canvas, {1, 1, W - 1, H - 1}, false, {}, true, C.Shadow);
            PaintRect = {1, 1, W - 2, H - 2};
        } else {
            DrawSides(Canvas, Whole, true, C.DkShadow3D, false, {});
            DrawSides(Canvas, Whole, false, {}, true, C.Highlight);
            DrawSides(Canvas, {1, 1, W - 1, H - 1}, true, C.Shadow, false, {});
            PaintRect = {2, 2, W - 1, H - 1};
        }
    }

    const bool Pattern = FFlat ? (isEnabled() && FState == bsExclusive && !FMouseInControl) : FState == bsExclusive;
    if (Pattern && PaintRect.Width() > 0 && PaintRect.Height() > 0) {
        Canvas.save();
        Canvas.setBrushOrigin(0, 0);
        Canvas.fillRect(QRect(PaintRect.Left, PaintRect.Top, PaintRect.Width(), PaintRect.Height()),
                        QBrush(*GPattern));
        Canvas.restore();
    }
    FLastPattern = Pattern;
    FLastCaptionDraws = FCaption.isEmpty() ? 0 : (FState == bsDisabled ? 2 : 1);

    FLastTextBounds = FGlyph->Draw(Canvas, PaintRect, Pattern, FState, FSpacing, FMargin, FLayout, FCaption,
                                   palette().color(QPalette::Active, QPalette::WindowText));

    if (FFlat && isEnabled() && (FMouseInControl || Remembered == bsExclusive)) {
        if (Remembered == bsDown || Remembered == bsExclusive)
            DrawFrame(Canvas, {0, 0, W, H}, C.Shadow, C.Highlight);
        else
            DrawFrame(Canvas, {0, 0, W, H}, C.Highlight, C.Shadow);
    }

    FState = Remembered;
}

// ---- mouse

bool TfrSpeedButton::InsideForTracking(int X, int Y) const {
    // Inclusive of the height, exclusive of the width: the historical hit test.
    return X >= 0 && X < width() && Y >= 0 && Y <= height();
}

void TfrSpeedButton::UpdateHot() {
    if (FFlat) FMouseInControl = isEnabled() && underMouse();
}

void TfrSpeedButton::mousePressEvent(QMouseEvent* Event) {
    const QPoint P = Event->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    if (Event->button() == Qt::LeftButton && isEnabled()) {
        if (!FDown) {
            FState = bsDown;
            repaint();
        }
        FDragging = true;
    }
}

void TfrSpeedButton::mouseMoveEvent(QMouseEvent* Event) {
    const QPoint P = Event->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, Event->modifiers(), P.x(), P.y());
    if (!FDragging) return;
    TButtonState NewState = FDown ? bsExclusive : bsUp;
    if (InsideForTracking(P.x(), P.y())) NewState = FDown ? bsExclusive : bsDown;
    if (NewState != FState) {
        FState = NewState;
        repaint();
    }
}

void TfrSpeedButton::mouseReleaseEvent(QMouseEvent* Event) {
    const QPoint P = Event->position().toPoint();
    if (OnMouseUp) OnMouseUp(this, Event->button(), Event->modifiers(), P.x(), P.y());
    if (!FDragging) return;
    FDragging = false;
    const bool DoClick = InsideForTracking(P.x(), P.y());
    if (FGroupIndex == 0) {
        FState = bsUp;
        FMouseInControl = false;
        repaint();
    } else if (DoClick) {
        SetDown(!FDown);
    } else {
        if (FDown) FState = bsExclusive;
        repaint();
    }
    UpdateHot();
    update();
    if (DoClick) Click();
}

void TfrSpeedButton::mouseDoubleClickEvent(QMouseEvent* Event) {
    // The second press of a double click presses the button like any other.
    mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton && FDown && OnDblClick) OnDblClick(this);
}

void TfrSpeedButton::enterEvent(QEnterEvent* Event) {
    QWidget::enterEvent(Event);
    if (FFlat && isEnabled() && !FMouseInControl) {
        if (OnMouseEnter) OnMouseEnter(this);
        FMouseInControl = true;
        update();
    }
}

void TfrSpeedButton::leaveEvent(QEvent* Event) {
    QWidget::leaveEvent(Event);
    if (FFlat && isEnabled() && FMouseInControl) {
        if (OnMouseLeave) OnMouseLeave(this);
        FMouseInControl = false;
        update();
    }
}

// ---- notifications

void TfrSpeedButton::changeEvent(QEvent* Event) {
    switch (Event->type()) {
        case QEvent::EnabledChange:
            if (!isEnabled() && FDragging) {
                // A press cut short by disabling would otherwise stay drawn pressed
                // after re-enabling, since its release never arrives.
                FDragging = false;
                if (FState == bsDown) FState = FDown ? bsExclusive : bsUp;
            }
            SyncGlyphColours();
            FGlyph->CreateButtonGlyph(isEnabled() ? bsUp : bsDisabled);
            FMouseInControl = FFlat && isEnabled() && underMouse();
            update();
            break;
        case QEvent::PaletteChange:
            SyncGlyphColours();
            update();
            break;
        case QEvent::FontChange:
            update();
            break;
        default:
            break;
    }
    QWidget::changeEvent(Event);
}

bool TfrSpeedButton::event(QEvent* Event) {
    if (Event->type() == QEvent::Shortcut) {
        auto* SE = static_cast<QShortcutEvent*>(Event);
        if (FShortcutId != 0 && SE->shortcutId() == FShortcutId && isEnabled()) {
            Click();
            return true;
        }
        return false;
    }
    return QWidget::event(Event);
}

// ---- groups

void TfrSpeedButton::UpdateExclusive() {
    QWidget* P = parentWidget();
    if (FGroupIndex == 0 || !P) return;
    // Collect first: a receiver's reaction must not disturb the walk.
    std::vector<TfrSpeedButton*> Siblings;
    for (QObject* Child : P->children())
        if (auto* B = dynamic_cast<TfrSpeedButton*>(Child)) Siblings.push_back(B);
    for (TfrSpeedButton* B : Siblings) B->ButtonPressed(FGroupIndex, this);
}

void TfrSpeedButton::ButtonPressed(int Group, TfrSpeedButton* Sender) {
    if (Group != FGroupIndex || Sender == this) return;
    if (Sender->FDown && FDown) {
        FDown = false;
        FState = bsUp;
        update();
    }
    FAllowAllUp = Sender->FAllowAllUp;
}
