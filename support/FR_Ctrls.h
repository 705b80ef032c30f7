// FR_Ctrls: TfrSpeedButton, a self-painted push button with an optional glyph
// strip, a flat "hot" look and grouped toggles, plus the glyph classes behind it.
//
// Threads: everything here belongs to the GUI thread. The glyph cache and the
// shared pattern/off-screen bitmaps are module-wide and deliberately unlocked.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFont;
class QPainter;

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// The order is significant: the value doubles as the glyph strip image index.
enum TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3, bsInactive = 4 };

using TNumGlyphs = int;  // 1 to 4

// Event types: the sender is passed as the object.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent =
    std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

// A rectangle given by its edges (right and bottom exclusive), so that the
// layout arithmetic reads the way it is reasoned about.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

// Where glyph and caption go inside the client rectangle.
struct TButtonLayoutResult {
    QPoint GlyphPos;
    TRect TextBounds;
};

// Pure layout arithmetic (divisions truncate toward zero). GlyphSize and
// TextSize are the measured sizes, (0, 0) when absent.
TButtonLayoutResult CalcButtonLayout(const TRect& Client, QSize GlyphSize, QSize TextSize, TButtonLayout Layout,
                                     int Margin, int Spacing);

// An image list of one fixed image size. Freed slots are handed out again.
class TGlyphList {
public:
    TGlyphList(int AWidth, int AHeight);
    // Stores Image (of this list's size); pixels of MaskColor become transparent.
    // Returns the slot.
    int AddMasked(const QImage& Image, std::optional<QColor> MaskColor);
    void Delete(int Index);
    const QImage& Image(int Index) const;
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return FCount; }  // slots in use
    int Capacity() const { return static_cast<int>(FImages.size()); }

private:
    const int FWidth, FHeight;  // never change after construction
    std::vector<QImage> FImages;
    std::vector<bool> FUsed;
    int FCount = 0;
};

// The program's one collection of glyph lists, one per image size.
class TGlyphCache {
public:
    TGlyphList* GetList(int AWidth, int AHeight);
    void ReturnList(TGlyphList* List);  // frees it when it holds no images
    bool Empty() const { return FGlyphLists.empty(); }
    int ListCount() const { return static_cast<int>(FGlyphLists.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> FGlyphLists;
};

// The module-wide cache, or nullptr while no button glyph exists.
TGlyphCache* GlyphCache();

// One per button: the glyph bitmap and the images made from it per state.
class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QImage& Glyph() const { return FOriginal; }
    // TransparentColor: the bitmap's own transparent colour, when it has one.
    void SetGlyph(const QImage& Value, std::optional<QColor> TransparentColor = std::nullopt);
    TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(TNumGlyphs Value);
    QColor TransparentColor() const { return FTransparentColor; }

    // Size of one image of the strip; (0, 0) when there is nothing to show.
    QSize ImageSize() const;
    // Makes (once) the image for State; its slot in GlyphList(), or -1.
    int CreateButtonGlyph(TButtonState State);
    // Draws glyph and caption in Client; returns the caption's bounds.
    TRect Draw(QPainter& Canvas, const TRect& Client, bool Transparent, TButtonState State, int Spacing,
               int Margin, TButtonLayout Layout, const QString& Caption, const QColor& FontColor);
    // Gives back every image made so far.
    void Invalidate();

    TGlyphList* GlyphList() const { return FGlyphList; }
    int ImageIndex(TButtonState State) const { return FIndexs[State]; }

    std::function<void()> OnChange;  // the button repaints through this

    // Desktop colours the images are made with (button face, highlight, shadow).
    QColor BtnFace = QColor(240, 240, 240), BtnHighlight = Qt::white, BtnShadow = QColor(160, 160, 160);

private:
    void GlyphChanged();

    QImage FOriginal;
    std::optional<QColor> FOwnTransparent;
    TGlyphList* FGlyphList = nullptr;  // owned by the cache
    std::array<int, 5> FIndexs{-1, -1, -1, -1, -1};
    QColor FTransparentColor = QColor(128, 128, 0);  // olive until a glyph is assigned
    TNumGlyphs FNumGlyphs = 1;
};

class TfrSpeedButton : public QWidget {
public:
    explicit TfrSpeedButton(QWidget* Parent = nullptr);
    ~TfrSpeedButton() override;

    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool Value);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int Value);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& Value);
    bool Down() const { return FDown; }
    void SetDown(bool Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    const QImage& Glyph() const { return FGlyph->Glyph(); }
    void SetGlyph(const QImage& Value, std::optional<QColor> TransparentColor = std::nullopt);
    bool GrayedInactive() const { return FGrayedInactive; }
    void SetGrayedInactive(bool Value);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout Value);
    int Margin() const { return FMargin; }
    void SetMargin(int Value);
    TNumGlyphs NumGlyphs() const { return FGlyph->NumGlyphs(); }
    void SetNumGlyphs(TNumGlyphs Value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int Value);
    // Enabled, Font, Visible, hints: QWidget's own.

    // Fires OnClick; also how a keyboard shortcut presses the button.
    virtual void Click();
    // Makes the glyph image for the current enabled state in advance.
    void Loaded();

    // Inspection of the private state (used by tests and the window's checks).
    TButtonState State() const { return FState; }
    bool Hot() const { return FMouseInControl; }
    bool Tracking() const { return FDragging; }
    TButtonGlyph& ButtonGlyph() { return *FGlyph; }
    // The caption rectangle of the last paint.
    TRect LastTextBounds() const { return FLastTextBounds; }
    // How many times the last paint drew the caption (2 when disabled).
    int LastCaptionDraws() const { return FLastCaptionDraws; }
    bool LastPatternFlag() const { return FLastPattern; }

    static int LiveButtons();

    TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    void PaintTo(QPainter& Canvas);
    bool InsideForTracking(int X, int Y) const;
    void UpdateHot();
    void UpdateExclusive();  // broadcast "this button went down" to the siblings
    void ButtonPressed(int Group, TfrSpeedButton* Sender);
    void RegrabShortcut();
    void SyncGlyphColours();

    std::unique_ptr<TButtonGlyph> FGlyph;
    TButtonState FState = bsUp;
    bool FDown = false;
    bool FDragging = false;
    bool FAllowAllUp = false;
    bool FFlat = false;
    bool FMouseInControl = false;
    bool FGrayedInactive = true;
    int FGroupIndex = 0;
    TButtonLayout FLayout = blGlyphLeft;
    int FMargin = -1;
    int FSpacing = 4;
    QColor FColor;
    QString FCaption;
    int FShortcutId = 0;
    TRect FLastTextBounds;
    int FLastCaptionDraws = 0;
    bool FLastPattern = false;
};
