#include "MainForm.h"

#include "Application.h"
#include "Bass.h"
#include "ElAES.h"
#include "Exceptions.h"
#include "FR_Ctrls.h"
#include "Fonts.h"
#include "Ini.h"
#include "LyricText.h"
#include "MessageBoxes.h"
#include "Setupfrm.h"
#include "StoredTexts.h"
#include "Streams.h"
#include "TavreloMedia.h"
#include "UpdownEdit.h"

#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kPaintBoxHeight = 113;
// Gap kept between the title controls and the right edge of pnlInfo.
constexpr int kInfoRightMargin = 16;

}  // namespace

// ---- TPaintBox -----------------------------------------------------------------

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter canvas(this);
    if (OnPaint) OnPaint(canvas);
}

void TPaintBox::mousePressEvent(QMouseEvent* Event)
{
    if (OnMouseDown)
        OnMouseDown(Event->button(), Event->modifiers(), Event->position().toPoint().x(),
                    Event->position().toPoint().y());
}

// ---- TfrmMain: creation --------------------------------------------------------

TfrmMain::TfrmMain(QWidget* Parent) : QWidget(Parent)
{
    FUrlOpener = [](const QUrl& Url) {
        // Nothing is reported when no browser can take the address.
        QDesktopServices::openUrl(Url);
    };
    CreateComponents();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

void TfrmMain::CreateComponents()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("QerimoLRC歌词编辑器"));
    resize(981, 699);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->setSpacing(0);

    // Toolbar.
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(29);
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto addButton = [this](const char* name, const QString& hint, QStyle::StandardPixmap picture) {
        QAction* action = ToolBar1->addAction(style()->standardIcon(picture), hint);
        action->setObjectName(QString::fromLatin1(name));
        action->setToolTip(hint);
        action->setStatusTip(hint);
        return action;
    };
    tbtnOpen = addButton("tbtnOpen", QStringLiteral("打开音频文件"), QStyle::SP_DialogOpenButton);
    ToolBar1->addSeparator();
    btnMake = addButton("btnMake", QStringLiteral("编辑LRC"), QStyle::SP_FileDialogDetailedView);
    btnTest = addButton("btnTest", QStringLiteral("LRC测试"), QStyle::SP_FileDialogContentsView);
    MakeTestGroup = new QActionGroup(this);
    MakeTestGroup->setObjectName(QStringLiteral("MakeTestGroup"));
    MakeTestGroup->setExclusive(true);
    for (QAction* toggle : {btnMake, btnTest}) {
        toggle->setCheckable(true);
        MakeTestGroup->addAction(toggle);
    }
    btnMake->setChecked(true);
    ToolBar1->addSeparator();
    btnPlay = addButton("btnPlay", QStringLiteral("播放"), QStyle::SP_MediaPlay);
    btnPause = addButton("btnPause", QStringLiteral("暂停(右击鼠标)"), QStyle::SP_MediaPause);
    btnStop = addButton("btnStop", QStringLiteral("停止"), QStyle::SP_MediaStop);
    ToolBar1->addSeparator();
    btnAutoScroll = addButton("btnAutoScroll", QStringLiteral("自动滚动"), QStyle::SP_MediaSeekForward);
    btnAutoScroll->setCheckable(true);
    btnAutoScroll->setChecked(true);
    ToolBar1->addSeparator();
    btnSetup = addButton("btnSetup", QStringLiteral("设置每个像素对应的毫秒数"), QStyle::SP_FileDialogInfoView);
    ToolBar1->addSeparator();
    btnWebSite = addButton("btnWebSite", QStringLiteral("帮助网站"), QStyle::SP_DialogHelpButton);
    ToolBar1->addSeparator();
    btnClose = addButton("btnClose", QStringLiteral("退出程序"), QStyle::SP_DialogCloseButton);
    formLayout->addWidget(ToolBar1);

    connect(tbtnOpen, &QAction::triggered, this, Guarded([this] { tbtnOpenClick(); }));
    connect(btnMake, &QAction::triggered, this, Guarded([this] { btnMakeClick(); }));
    connect(btnTest, &QAction::triggered, this, Guarded([this] { btnTestClick(); }));
    connect(btnPlay, &QAction::triggered, this, Guarded([this] { btnPlayClick(); }));
    connect(btnPause, &QAction::triggered, this, Guarded([this] { btnPauseClick(); }));
    connect(btnStop, &QAction::triggered, this, Guarded([this] { btnStopClick(); }));
    connect(btnSetup, &QAction::triggered, this, Guarded([this] { btnSetupClick(); }));
    connect(btnWebSite, &QAction::triggered, this, Guarded([this] { btnWebSiteClick(); }));
    connect(btnClose, &QAction::triggered, this, Guarded([this] { btnCloseClick(); }));

    // Waveform strip.
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFixedHeight(138);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    PaintBox1 = new TPaintBox(ScrollBox1);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->resize(width(), kPaintBoxHeight);
    PaintBox1->OnPaint = [this](QPainter& Canvas) { PaintBox1Paint(Canvas); };
    PaintBox1->OnMouseDown = [this](Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
        PaintBox1MouseDown(Button, Shift, X, Y);
    };
    ScrollBox1->setWidget(PaintBox1);
    formLayout->addWidget(ScrollBox1);

    // Information panel: times on the left, title and save kept at the right edge.
    pnlInfo = new QWidget(this);
    pnlInfo->setObjectName(QStringLiteral("pnlInfo"));
    pnlInfo->setFixedHeight(41);
    pnlInfo->setFont(SimSunFont(15));
    lblTotalTime = new QLabel(pnlInfo);
    lblTotalTime->setObjectName(QStringLiteral("lblTotalTime"));
    lblTotalTime->setGeometry(16, 12, 90, 18);
    lblLapseTime = new QLabel(pnlInfo);
    lblLapseTime->setObjectName(QStringLiteral("lblLapseTime"));
    lblLapseTime->setGeometry(116, 12, 90, 18);
    btnInsertLabel = new TfrSpeedButton(pnlInfo);
    btnInsertLabel->setObjectName(QStringLiteral("btnInsertLabel"));
    btnInsertLabel->move(216, 8);
    btnInsertLabel->resize(121, 25);
    btnInsertLabel->SetCaption(QStringLiteral("插入标签(F2)"));
    btnInsertLabel->hide();
    btnInsertLabel->OnClick = Guarded([this] { btnInsertLabelClick(); });
    lblTitle = new QLabel(QStringLiteral("标题："), pnlInfo);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->resize(48, 18);
    lblTitle->hide();
    txtTitle = new QLineEdit(pnlInfo);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtTitle->resize(240, 25);
    txtTitle->hide();
    btnSave = new QPushButton(QStringLiteral("保存"), pnlInfo);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->resize(75, 25);
    btnSave->hide();
    connect(btnSave, &QPushButton::clicked, this, Guarded([this] { btnSaveClick(); }));
    pnlInfo->installEventFilter(this);
    formLayout->addWidget(pnlInfo);

    // Lyrics: the edit page and the test page, with the status bar below.
    pnlLRC = new QWidget(this);
    pnlLRC->setObjectName(QStringLiteral("pnlLRC"));
    auto* lrcLayout = new QVBoxLayout(pnlLRC);
    lrcLayout->setContentsMargins(0, 0, 0, 0);
    lrcLayout->setSpacing(0);
    Notebook1 = new QStackedWidget(pnlLRC);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    pageDefault = new QWidget(Notebook1);
    pageDefault->setObjectName(QStringLiteral("Default"));
    pageTest = new QWidget(Notebook1);
    pageTest->setObjectName(QStringLiteral("Test"));
    Notebook1->addWidget(pageDefault);
    Notebook1->addWidget(pageTest);

    memLRC = new QPlainTextEdit(pageDefault);
    memLRC->setObjectName(QStringLiteral("memLRC"));
    memLRC->setFont(SimSunFont(15));
    memLRC->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLRC->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLRC->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLRC->setReadOnly(true);
    memLRC->setContextMenuPolicy(Qt::CustomContextMenu);
    memLRC->installEventFilter(this);
    auto* defaultLayout = new QVBoxLayout(pageDefault);
    defaultLayout->setContentsMargins(0, 0, 0, 0);
    defaultLayout->addWidget(memLRC);

    lblLRC = new QLabel(pageTest);
    lblLRC->setObjectName(QStringLiteral("lblLRC"));
    lblLRC->setFont(SimSunFont(19));
    lblLRC->setWordWrap(true);
    lblLRC->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* testLayout = new QVBoxLayout(pageTest);
    testLayout->setContentsMargins(0, 0, 0, 0);
    testLayout->addWidget(lblLRC);
    lrcLayout->addWidget(Notebook1, 1);

    StatusBar1 = new QStatusBar(pnlLRC);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(31);
    StatusBar1Panels[0] = new QLabel(QStringLiteral("文件名"), StatusBar1);
    StatusBar1Panels[0]->setObjectName(QStringLiteral("StatusBar1Panel0"));
    StatusBar1Panels[0]->setAlignment(Qt::AlignCenter);
    StatusBar1Panels[0]->setFixedWidth(70);
    StatusBar1Panels[1] = new QLabel(StatusBar1);
    StatusBar1Panels[1]->setObjectName(QStringLiteral("StatusBar1Panel1"));
    StatusBar1Panels[1]->setMinimumWidth(50);
    StatusBar1->addWidget(StatusBar1Panels[0]);
    // The path panel takes the rest of the bar so that long paths stay readable.
    StatusBar1->addWidget(StatusBar1Panels[1], 1);
    lrcLayout->addWidget(StatusBar1);
    formLayout->addWidget(pnlLRC, 1);

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    mmiLoadLrcText = PopupMenu1->addAction(QStringLiteral("载入LRC内容"));
    mmiLoadLrcText->setObjectName(QStringLiteral("mmiLoadLrcText"));
    connect(mmiLoadLrcText, &QAction::triggered, this, Guarded([this] { mmiLoadLrcTextClick(); }));
    connect(memLRC, &QPlainTextEdit::customContextMenuRequested, this,
            [this](const QPoint& At) { PopupMenu1->popup(memLRC->viewport()->mapToGlobal(At)); });

    PlaceInfoControls();
}

void TfrmMain::FormCreate()
{
    FMiliSecondsPerPixel = ReadMiliSecondsPerPixel();

    FViewBitmap = QImage();
    FWaveBitmap = QImage();
    FViewWidth = PaintBox1->width();

    // The guide is code page 936 text padded with NULs to whole cipher blocks.
    const std::string guide = DecipherText(StoredGuideText, GuidePassPhrase, kAESKeySize128);
    const std::string_view text(guide.data(), std::min(guide.size(), guide.find('\0')));
    memLRC->setPlainText(DecodeLyricBytes(QByteArray(text.data(), static_cast<qsizetype>(text.size()))).text);

    FViewBitmap = QImage(PaintBox1->width(), PaintBox1->height(), QImage::Format_RGB32);
    FViewBitmap.fill(Qt::black);

    // ScrollBox1 needs nothing for double buffering: Qt composes every widget
    // off-screen before it reaches the screen, so the per-tick repaint cannot flicker.

    if (BASS_Init(-1, 44100, 0, static_cast<void*>(this), nullptr)) {
        FAudioInitialised = true;
    } else {
        // BASS_ERROR_ALREADY: someone else holds the library and frees it; otherwise no
        // device could be opened and playback runs on the silent output.
        ShowMessageBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                       QStringLiteral("Cannot start default audio device!"), QMessageBox::Ok);
    }
}

void TfrmMain::FormDestroy()
{
    FViewBitmap = QImage();
    FWaveBitmap = QImage();
    FMedia.reset();  // stops its playback and its ticks
    if (FAudioInitialised) {
        // BASS_Stop fails only when the library is not initialised, and BASS_Free
        // then says so too; its result is what is kept.
        BASS_Stop();
        FAudioInitialised = BASS_Free() == FALSE;
    }
}

void TfrmMain::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    FormResize();
}

void TfrmMain::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FShownOnce) return;
    FShownOnce = true;
    if (const QScreen* where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmMain::FormResize()
{
    // The layout has already given ScrollBox1 its new size; the vertical bar is off,
    // so its client width is its width inside the (absent) frame.
    const int clientWidth = ScrollBox1->width() - 2 * ScrollBox1->frameWidth();
    PaintBox1->resize(clientWidth, PaintBox1->height());
    FViewWidth = clientWidth;
    btnMakeClick();
}

bool TfrmMain::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == pnlInfo && Event->type() == QEvent::Resize) {
        PlaceInfoControls();
    } else if (Watched == memLRC && Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        try {
            if (memLRCKeyDown(key->key(), key->modifiers())) return true;
        } catch (...) {
            ShowCurrentException();  // the key is left to the edit box
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TfrmMain::PlaceInfoControls()
{
    const int right = pnlInfo->width() - kInfoRightMargin;
    btnSave->move(right - btnSave->width(), 8);
    txtTitle->move(btnSave->x() - 8 - txtTitle->width(), 8);
    lblTitle->move(txtTitle->x() - 4 - lblTitle->width(), 12);
}

// ---- Commands of this window ---------------------------------------------------

void TfrmMain::btnCloseClick()
{
    close();
}

void TfrmMain::btnWebSiteClick()
{
    // Deciphered anew on every click.
    const std::string address = HelpWebAddress(DecipherText(StoredAddressText, AddressPassPhrase, kAESKeySize128));
    FUrlOpener(QUrl(DecodeLyricBytes(QByteArray::fromStdString(address)).text, QUrl::TolerantMode));
}

void TfrmMain::ShowEditPage()
{
    Notebook1->setCurrentIndex(0);
    pnlInfo->show();
}

void TfrmMain::btnMakeClick()
{
    // Also the window's general rebuild action (resize); the toggles' down state is
    // left as it is.
    ShowEditPage();
    if (!FMediaFileName.isEmpty()) OpenMedia(FMediaFileName);
}

void TfrmMain::btnTestClick()
{
    if (FMediaFileName.isEmpty()) {
        btnMake->setChecked(true);
        return;
    }
    // Playing the saved file in test mode comes with the test mode itself.
}

void TfrmMain::btnSetupClick()
{
    // Playback pauses while the dialog is open and goes on afterwards: a confirmed
    // scale only redraws the strip, it does not start the song again.
    bool resumeAfter = false;
    if (FMedia && FMedia->State() == msPlaying) {
        FMedia->TogglePause();
        resumeAfter = true;
    }
    const auto resume = [&] {
        if (FMedia && resumeAfter) FMedia->Resume();
    };
    try {
        TfrmSetup dialog(this);  // freed after use, not kept until the window goes
        dialog.UpdownEdit1->SetPosition(static_cast<std::int16_t>(FMiliSecondsPerPixel));
        if (dialog.exec() == QDialog::Accepted) {
            FMiliSecondsPerPixel = dialog.UpdownEdit1->Position();
            ShowEditPage();
            RebuildStripAtCurrentScale();
            TIni ini;
            ini.Section = QStringLiteral("Config");
            ini.WriteInteger(QStringLiteral("MiliSecondsPerPixel"), FMiliSecondsPerPixel);
        }
    } catch (...) {
        resume();  // the write failed: the message follows, playback goes on anyway
        throw;
    }
    resume();
}

void TfrmMain::OpenFromCommandLine(const QString& AudioFileName, const QString& LyricsFileName)
{
    if (!AudioFileName.isEmpty()) {
        // Opening audio arrives with the timing workflow (tbtnOpenClick's steps after
        // its dialog, then OpenMedia); until then only the lyrics are loaded.
    }
    if (!LyricsFileName.isEmpty()) LoadLyricsText(LyricsFileName);
}

void TfrmMain::LoadLyricsText(const QString& FileName)
{
    TMemoryStream stream;
    stream.LoadFromFile(QFile::encodeName(FileName).toStdString());
    memLRC->setPlainText(DecodeLyricBytes(QByteArray::fromStdString(stream.Bytes())).text);
}

// ---- Strip -----------------------------------------------------------------------

void TfrmMain::PaintBox1Paint(QPainter& Canvas)
{
    Canvas.drawImage(0, 0, FViewBitmap);
    // Beyond the bitmap (a window widened before any file) the strip stays black.
    const QRect box = PaintBox1->rect();
    if (FViewBitmap.width() < box.width())
        Canvas.fillRect(QRect(FViewBitmap.width(), 0, box.width() - FViewBitmap.width(), box.height()), Qt::black);
    if (FViewBitmap.height() < box.height())
        Canvas.fillRect(QRect(0, FViewBitmap.height(), box.width(), box.height() - FViewBitmap.height()), Qt::black);
}

void TfrmMain::SetMedia(std::unique_ptr<TAudioMedia> Media)
{
    FMedia.reset();
    FMedia = std::move(Media);
}

void TfrmMain::RebuildStripAtCurrentScale()
{
    if (!FMedia) return;
    // Drawing the peaks at the new scale comes with the waveform view.
}

// ---- Commands that arrive with the timing workflow, saving and test mode ----------
// They do nothing yet.

void TfrmMain::OpenMedia(const QString&) {}
void TfrmMain::tbtnOpenClick() {}
void TfrmMain::btnPlayClick() {}
void TfrmMain::btnPauseClick() {}
void TfrmMain::btnStopClick() {}
void TfrmMain::btnInsertLabelClick() {}
void TfrmMain::btnSaveClick() {}
void TfrmMain::mmiLoadLrcTextClick() {}
void TfrmMain::PaintBox1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
bool TfrmMain::memLRCKeyDown(int, Qt::KeyboardModifiers) { return false; }
