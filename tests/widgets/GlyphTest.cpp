// Glyph strips: image counts, per-state images, the shared cache, and how the
// glyph is painted. Also writes speed_buttons.png, a picture of buttons in
// their states, for a person to look at.
#include "ButtonFixture.h"

#include <QPainter>

namespace {

const QColor Red(255, 0, 0), Green(0, 255, 0), Blue(0, 0, 255), Yellow(255, 255, 0);
const QColor White(255, 255, 255), Grey(128, 128, 128), Black(0, 0, 0);

// A strip of N square images of Size, each a coloured square on a white ground
// (the bottom-left pixel, so white is the transparent colour).
QImage Strip(int N, int Size, const std::vector<QColor>& Colours) {
    QImage I(N * Size, Size, QImage::Format_RGB32);
    I.fill(White);
    QPainter P(&I);
    for (int K = 0; K < N; ++K) P.fillRect(K * Size + 2, 2, Size - 4, Size - 4, Colours[size_t(K) % Colours.size()]);
    return I;
}

// The image made for State (made first: the list exists only afterwards).
const QImage& ImageFor(TButtonGlyph& G, TButtonState State) {
    const int Index = G.CreateButtonGlyph(State);
    static const QImage None;
    return G.GlyphList() ? G.GlyphList()->Image(Index) : None;
}

// ---------------------------------------------------------------------------
using GlyphStrip = ButtonFixture;

TEST_F(GlyphStrip, ImageCountFollowsTheStripShape) {
    auto* B = Make(0, 0);
    B->SetGlyph(QImage(64, 16, QImage::Format_RGB32));
    EXPECT_EQ(B->NumGlyphs(), 4);
    EXPECT_EQ(B->ButtonGlyph().ImageSize(), QSize(16, 16));

    B->SetGlyph(QImage(80, 16, QImage::Format_RGB32));
    EXPECT_EQ(B->NumGlyphs(), 1) << "five or more images count as one";
    EXPECT_EQ(B->ButtonGlyph().ImageSize(), QSize(80, 16));

    B->SetGlyph(QImage(32, 16, QImage::Format_RGB32));
    EXPECT_EQ(B->NumGlyphs(), 2);
    B->SetGlyph(QImage(50, 16, QImage::Format_RGB32));
    EXPECT_EQ(B->NumGlyphs(), 2) << "not a whole multiple: the count stays";
    EXPECT_EQ(B->ButtonGlyph().ImageSize(), QSize(25, 16));
}

TEST_F(GlyphStrip, StripNarrowerThanItsImageCountShowsNothing) {
    auto* B = Make(10, 10, 40, 40);
    B->SetGlyph(Strip(4, 16, {Red}));
    B->SetGlyph(QImage(3, 16, QImage::Format_RGB32));
    ASSERT_EQ(B->NumGlyphs(), 4);
    EXPECT_EQ(B->ButtonGlyph().ImageSize(), QSize(0, 0));
    EXPECT_EQ(B->ButtonGlyph().CreateButtonGlyph(bsUp), -1);
    Show();
    const QImage I = Grab(B);  // must not divide by zero or read outside the strip
    EXPECT_EQ(At(I, 20, 20), Face());
}

TEST_F(GlyphStrip, TransparentColourComesFromTheBitmap) {
    TButtonGlyph G;
    EXPECT_EQ(G.TransparentColor(), QColor(128, 128, 0)) << "olive until a glyph is assigned";

    QImage I = Strip(1, 16, {Red});
    I.setPixel(0, 15, QColor(1, 2, 3).rgb());
    G.SetGlyph(I);
    EXPECT_EQ(G.TransparentColor(), QColor(1, 2, 3)) << "bottom-left pixel";

    G.SetGlyph(I, QColor(Red));
    EXPECT_EQ(G.TransparentColor(), Red) << "the bitmap's own transparent colour wins";

    QImage Mono(16, 16, QImage::Format_Mono);
    Mono.fill(1);
    G.SetGlyph(Mono);
    EXPECT_EQ(G.TransparentColor(), White) << "monochrome bitmaps are transparent in white";
}

TEST_F(GlyphStrip, EachStateUsesItsImageOfTheStrip) {
    TButtonGlyph G;
    G.SetGlyph(Strip(4, 16, {Red, Green, Blue, Yellow}));
    ASSERT_EQ(G.NumGlyphs(), 4);
    auto Centre = [&](TButtonState S) {
        const int Idx = G.CreateButtonGlyph(S);
        EXPECT_NE(Idx, -1);
        return QColor(G.GlyphList()->Image(Idx).pixel(8, 8));
    };
    EXPECT_EQ(Centre(bsUp), Red);
    EXPECT_EQ(Centre(bsDown), Blue);
    EXPECT_EQ(Centre(bsExclusive), Yellow);
    EXPECT_EQ(Centre(bsDisabled), Green) << "the strip's own disabled image";
    // The transparent colour is masked out of the normal images.
    EXPECT_EQ(qAlpha(G.GlyphList()->Image(G.ImageIndex(bsUp)).pixel(0, 0)), 0);
    EXPECT_EQ(G.CreateButtonGlyph(bsUp), G.ImageIndex(bsUp)) << "made once, then reused";

    TButtonGlyph Two;
    Two.SetGlyph(Strip(2, 16, {Red, Green}));
    EXPECT_EQ(Two.CreateButtonGlyph(bsDown), Two.CreateButtonGlyph(bsUp)) << "fewer than 3 images: down looks up";
    EXPECT_EQ(Two.ImageIndex(bsDown), -1);
    const int Ex = Two.CreateButtonGlyph(bsExclusive);
    EXPECT_EQ(QColor(Two.GlyphList()->Image(Ex).pixel(8, 8)), Red) << "missing images fall back to the first";
}

TEST_F(GlyphStrip, DisabledSingleImageIsEmbossed) {
    TButtonGlyph G;
    G.BtnFace = QColor(10, 20, 30);
    G.BtnHighlight = QColor(250, 250, 240);
    G.BtnShadow = QColor(90, 90, 100);
    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(White);
    I.setPixel(4, 4, Black.rgb());
    I.setPixel(8, 3, Red.rgb());
    for (int X = 2; X < 12; ++X) I.setPixel(X, 10, Black.rgb());
    G.SetGlyph(I);

    const QImage& D = ImageFor(G, bsDisabled);
    ASSERT_EQ(D.size(), QSize(16, 16));
    EXPECT_EQ(QColor(D.pixel(4, 4)), G.BtnShadow);
    EXPECT_EQ(QColor(D.pixel(5, 5)), G.BtnHighlight) << "highlight one pixel down-right";
    EXPECT_EQ(QColor(D.pixel(2, 10)), G.BtnShadow);
    EXPECT_EQ(QColor(D.pixel(3, 10)), G.BtnShadow) << "shadow is painted over the highlight";
    EXPECT_EQ(QColor(D.pixel(12, 11)), G.BtnHighlight);
    EXPECT_EQ(QColor(D.pixel(8, 3)), G.BtnFace) << "only black pixels show";
    EXPECT_EQ(QColor(D.pixel(0, 0)), G.BtnFace);
    EXPECT_EQ(qAlpha(D.pixel(0, 0)), 255);
}

TEST_F(GlyphStrip, DisabledImageOfAStripIsRecoloured) {
    TButtonGlyph G;
    G.BtnFace = QColor(10, 20, 30);
    G.BtnHighlight = QColor(250, 250, 240);
    G.BtnShadow = QColor(90, 90, 100);
    QImage I(32, 16, QImage::Format_RGB32);
    I.fill(QColor(0, 128, 128));  // transparent colour (bottom-left)
    I.setPixel(16 + 1, 1, White.rgb());
    I.setPixel(16 + 2, 1, Grey.rgb());
    I.setPixel(16 + 3, 1, Red.rgb());
    G.SetGlyph(I);
    const QImage& D = ImageFor(G, bsDisabled);
    EXPECT_EQ(QColor(D.pixel(1, 1)), G.BtnHighlight);
    EXPECT_EQ(QColor(D.pixel(2, 1)), G.BtnShadow);
    EXPECT_EQ(QColor(D.pixel(3, 1)), Red);
    EXPECT_EQ(QColor(D.pixel(0, 0)), G.BtnFace);
}

TEST_F(GlyphStrip, GreyImageIsMadeAheadWhenAsked) {
    auto* B = Make(0, 0);
    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(White);
    I.setPixel(5, 5, Red.rgb());
    B->SetGlyph(I);
    B->Loaded();
    const TButtonGlyph& G = B->ButtonGlyph();
    ASSERT_NE(G.ImageIndex(bsInactive), -1);
    const QImage& Gr = G.GlyphList()->Image(G.ImageIndex(bsInactive));
    const int L = 77 * 255 / 256;
    EXPECT_EQ(QColor(Gr.pixel(5, 5)), QColor(L, L, L));
    EXPECT_EQ(QColor(Gr.pixel(0, 0)), Face()) << "the transparent colour became face";

    B->SetGrayedInactive(false);
    B->setEnabled(false);
    B->SetGlyph(I);
    B->Loaded();
    EXPECT_NE(B->ButtonGlyph().ImageIndex(bsDisabled), -1);
    EXPECT_EQ(B->ButtonGlyph().ImageIndex(bsInactive), -1);
}

// ---------------------------------------------------------------------------
TEST(GlyphList, FreedSlotsAreReused) {
    TGlyphList L(4, 4);
    QImage I(4, 4, QImage::Format_RGB32);
    I.fill(Red);
    EXPECT_EQ(L.AddMasked(I, std::nullopt), 0);
    EXPECT_EQ(L.AddMasked(I, std::nullopt), 1);
    EXPECT_EQ(L.AddMasked(I, std::nullopt), 2);
    L.Delete(1);
    EXPECT_EQ(L.Count(), 2);
    EXPECT_TRUE(L.Image(1).isNull());
    EXPECT_EQ(L.AddMasked(I, Red), 1);
    EXPECT_EQ(qAlpha(L.Image(1).pixel(2, 2)), 0) << "the mask colour became transparent";
    EXPECT_EQ(L.Capacity(), 3);
    L.Delete(7);
    L.Delete(1);
    L.Delete(1);
    EXPECT_EQ(L.Count(), 2) << "deleting a free or unknown slot changes nothing";
}

TEST(GlyphCacheList, ListsAreSharedBySizeAndFreedWhenEmpty) {
    TGlyphCache C;
    TGlyphList* A = C.GetList(16, 16);
    EXPECT_EQ(C.GetList(16, 16), A);
    TGlyphList* B = C.GetList(20, 16);
    EXPECT_NE(B, A);
    EXPECT_EQ(C.ListCount(), 2);

    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(Red);
    const int Slot = A->AddMasked(I, std::nullopt);
    C.ReturnList(A);
    EXPECT_EQ(C.ListCount(), 2) << "a list with images stays";
    C.ReturnList(B);
    EXPECT_EQ(C.ListCount(), 1);
    A->Delete(Slot);
    C.ReturnList(A);
    EXPECT_TRUE(C.Empty());
}

using GlyphSharing = ButtonFixture;

TEST_F(GlyphSharing, ButtonsShareOneListPerImageSize) {
    ASSERT_EQ(TfrSpeedButton::LiveButtons(), 0) << "no button left over from another test";
    auto* A = Make(10, 10, 40, 40);
    auto* B = Make(60, 10, 40, 40);
    auto* C = Make(110, 10, 40, 40);
    A->SetGlyph(Strip(1, 16, {Red}));
    B->SetGlyph(Strip(2, 16, {Blue, Green}));
    C->SetGlyph(Strip(1, 20, {Green}));
    Show();
    Grab(A);
    Grab(B);
    Grab(C);
    ASSERT_NE(GlyphCache(), nullptr);
    EXPECT_EQ(GlyphCache()->ListCount(), 2);
    EXPECT_EQ(A->ButtonGlyph().GlyphList(), B->ButtonGlyph().GlyphList());
    EXPECT_NE(A->ButtonGlyph().GlyphList(), C->ButtonGlyph().GlyphList());
    EXPECT_EQ(A->ButtonGlyph().GlyphList()->Count(), 2);

    // Changing the glyph gives its images back; the list lives on for B.
    TGlyphList* Shared = B->ButtonGlyph().GlyphList();
    A->SetGlyph(Strip(1, 20, {Red}));
    EXPECT_EQ(Shared->Count(), 1);
    EXPECT_EQ(A->ButtonGlyph().GlyphList(), nullptr);
    Grab(A);
    EXPECT_EQ(A->ButtonGlyph().GlyphList(), C->ButtonGlyph().GlyphList());
    EXPECT_EQ(GlyphCache()->ListCount(), 2);

    // Changing the image count gives them back too; the emptied list is freed.
    B->SetNumGlyphs(1);
    EXPECT_EQ(GlyphCache()->ListCount(), 1);

    Form.reset();
    EXPECT_EQ(TfrSpeedButton::LiveButtons(), 0);
    EXPECT_EQ(GlyphCache(), nullptr) << "the last glyph frees the cache";
}

TEST_F(GlyphSharing, GlyphIsPaintedWithItsTransparentPartsInFace) {
    auto* B = Make(10, 10, 40, 40);
    B->SetGlyph(Strip(1, 16, {Red}));
    auto* Held = Make(60, 10, 41, 41);
    Held->SetGlyph(Strip(1, 16, {Red}));
    Held->SetGroupIndex(1);
    Held->SetDown(true);
    Show();

    // Client (1, 1, 38, 38): the glyph lands at 1 + (37 - 16 + 1) / 2 = 12.
    const QImage I = Grab(B);
    EXPECT_EQ(At(I, 12 + 8, 12 + 8), Red);
    EXPECT_EQ(At(I, 12 + 2, 12 + 2), Red);
    EXPECT_EQ(At(I, 12 + 1, 12 + 1), Face()) << "transparent glyph pixels show face";
    EXPECT_EQ(At(I, 12 + 1, 12 + 8), Face());

    // Held: client (2, 2, 40, 40), glyph at 2 + (38 - 16 + 1) / 2 = 13; the pattern
    // shows through the glyph's transparent parts.
    const QImage H = Grab(Held);
    EXPECT_EQ(At(H, 13 + 8, 13 + 8), Red);
    EXPECT_EQ(At(H, 13, 13), White);
    EXPECT_EQ(At(H, 14, 13), Face());
    EXPECT_EQ(At(H, 13 + 2, 13 + 2), Red);
}

TEST_F(GlyphSharing, DisabledButtonShowsTheEmbossedGlyph) {
    auto* B = Make(10, 10, 40, 40);
    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(White);
    I.setPixel(4, 4, Black.rgb());
    B->SetGlyph(I);
    B->setEnabled(false);
    Show();
    const QImage P = Grab(B);
    EXPECT_EQ(At(P, 12 + 4, 12 + 4), Shadow());
    EXPECT_EQ(At(P, 12 + 5, 12 + 5), Highlight());
    EXPECT_EQ(At(P, 12 + 8, 12 + 8), Face());
}

// A picture of buttons in their states, written to the suite's build folder.
TEST_F(GlyphSharing, WritesAPictureOfTheStates) {
    Form->resize(420, 150);
    QFont F("SimSun");
    F.setPixelSize(15);
    Form->setFont(F);
    Form->setAutoFillBackground(true);

    QImage Arrow(64, 16, QImage::Format_RGB32);
    Arrow.fill(QColor(255, 0, 255));
    {
        QPainter P(&Arrow);
        const QColor Colours[4] = {QColor(0, 0, 160), Grey, QColor(160, 0, 0), QColor(0, 120, 0)};
        for (int K = 0; K < 4; ++K) {
            P.setPen(Qt::NoPen);
            P.setBrush(Colours[K]);
            const QPoint Tri[3] = {QPoint(K * 16 + 3, 3), QPoint(K * 16 + 13, 8), QPoint(K * 16 + 3, 13)};
            P.drawPolygon(Tri, 3);
        }
    }
    QImage Single(16, 16, QImage::Format_RGB32);
    Single.fill(White);
    {
        QPainter P(&Single);
        P.setPen(Black);
        P.drawRect(3, 3, 9, 9);
        P.drawLine(3, 3, 12, 12);
    }

    auto* Up = Make(10, 10, 121, 25);
    Up->SetCaption(QStringLiteral("插入标签(F2)"));
    auto* Pressed = Make(140, 10, 121, 25);
    Pressed->SetCaption(QStringLiteral("插入标签(F2)"));
    auto* Disabled = Make(270, 10, 121, 25);
    Disabled->SetCaption(QStringLiteral("插入标签(F2)"));
    Disabled->setEnabled(false);

    auto* Held = Make(10, 50, 90, 30);
    Held->SetCaption("&Held");
    Held->SetGlyph(Arrow);
    Held->SetGroupIndex(1);
    Held->SetDown(true);
    auto* Left = Make(110, 50, 90, 30);
    Left->SetCaption("Left");
    Left->SetGlyph(Arrow);
    Left->SetGroupIndex(1);
    auto* Top = Make(210, 50, 60, 50);
    Top->SetCaption("Top");
    Top->SetGlyph(Single);
    Top->SetLayout(blGlyphTop);
    auto* Grey_ = Make(280, 50, 60, 50);
    Grey_->SetCaption("Off");
    Grey_->SetGlyph(Single);
    Grey_->SetLayout(blGlyphTop);
    Grey_->setEnabled(false);

    auto* FlatUp = Make(10, 110, 70, 26);
    FlatUp->SetFlat(true);
    FlatUp->SetCaption("Flat");
    auto* FlatHot = Make(90, 110, 70, 26);
    FlatHot->SetFlat(true);
    FlatHot->SetCaption("Hot");
    auto* FlatHeld = Make(170, 110, 70, 26);
    FlatHeld->SetFlat(true);
    FlatHeld->SetCaption("Held");
    FlatHeld->SetGroupIndex(7);
    FlatHeld->SetDown(true);
    auto* FlatDisabled = Make(250, 110, 70, 26);
    FlatDisabled->SetFlat(true);
    FlatDisabled->SetCaption("Off");
    FlatDisabled->setEnabled(false);

    Show();
    QTest::mouseMove(FlatHot, QPoint(10, 10));
    ASSERT_TRUE(FlatHot->Hot());
    QTest::mousePress(Pressed, Qt::LeftButton, {}, QPoint(10, 10));

    const QImage Shot = Form->grab().toImage();
    const QString Path = QStringLiteral("speed_buttons.png");
    ASSERT_TRUE(Shot.save(Path)) << "could not write " << Path.toStdString();
    EXPECT_FALSE(QImage(Path).isNull());
    // Enlarged copy, pixel for pixel, to inspect the edges.
    EXPECT_TRUE(Shot.scaled(Shot.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save(QStringLiteral("speed_buttons_x3.png")));
    QTest::mouseRelease(Pressed, Qt::LeftButton, {}, QPoint(10, 10));
}

}  // namespace
