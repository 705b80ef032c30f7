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
#include "StripView.h"
#include "Streams.h"
#include "TavreloMedia.h"
#include "TraceScanner.h"
#include "UpdownEdit.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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
#include <QStringDecoder>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <cerrno>
#include <limits>

namespace {

constexpr int kPaintBoxHeight = 113;
// Gap kept between the title controls and the right edge of pnlInfo.
constexpr int kInfoRightMargin = 16;
// The edit box takes text files up to this size; a larger one would stall the window
// for a long time and is surely not lyrics.
constexpr qint64 kMaxLyricFileBytes = 64 * 1024 * 1024;
// lblLRC's background in test mode: $C0DCC0 in the toolkit's BGR order.
const QColor kTestBackground(0xC0, 0xDC, 0xC0);

const QString kDiscardQuestion = QStringLiteral("歌词内容已修改，尚未保存。确定放弃这些修改吗？");

std::string LocalPath(const QString& FileName)
{
    return QFile::encodeName(FileName).toStdString();
}

// A file read whole; every failure names the file ("Cannot open file ...").
std::unique_ptr<TMemoryStream> ReadWhole(const QString& FileName)
{
    if (QFileInfo(FileName).isDir()) throw EFOpenError(LocalPath(FileName), SystemErrorText(EISDIR));
    auto stream = std::make_unique<TMemoryStream>();
    try {
        stream->LoadFromFile(LocalPath(FileName));
    } catch (const EReadError& error) {
        throw EFOpenError(LocalPath(FileName), error.what());
    }
    return stream;
}

}  // namespace

// What OpenMedia has read and made before it changes anything of the window.
struct TfrmMain::TPreparedMedia {
    QString FileName;
    std::unique_ptr<TAudioMedia> Media;       // opened, not yet playing
    std::unique_ptr<TMemoryStream> ScanCopy;  // the audio bytes for the peak scan
    QByteArray Digest;                        // identifies the audio file's bytes
    TextEncoding LrcEncoding = TextEncoding::Gb18030;
};

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
    FFileChooser = [this](const QString& Filter) {
        OpenDialog1->setNameFilter(Filter);
        if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return QString();
        return OpenDialog1->selectedFiles().constFirst();
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
    // Qt's own edit actions stay; the load command is added below them.
    connect(memLRC, &QPlainTextEdit::customContextMenuRequested, this, [this](const QPoint& At) {
        QMenu* menu = CreateLrcContextMenu(At);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(memLRC->viewport()->mapToGlobal(At));
    });

    PlaceInfoControls();
}

void TfrmMain::FormCreate()
{
    FMiliSecondsPerPixel = ReadMiliSecondsPerPixel();
    FScanner = std::make_unique<TTraceScanner>(this);

    FViewBitmap = QImage();
    FWaveBitmap = QImage();
    FViewWidth = PaintBox1->width();

    // The guide is code page 936 text padded with NULs to whole cipher blocks.
    const std::string guide = DecipherText(StoredGuideText, GuidePassPhrase, kAESKeySize128);
    const std::string_view text(guide.data(), std::min(guide.size(), guide.find('\0')));
    memLRC->setPlainText(DecodeLyricBytes(QByteArray(text.data(), static_cast<qsizetype>(text.size()))).text);
    memLRC->document()->setModified(false);

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
    FScanner.reset();  // waits for a scan still decoding; its result is dropped
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
    // The edit page comes back as with the edit-mode command, but the song goes on
    // where it was: the strip is redrawn for the new width from the open's trace.
    ShowEditPage();
    if (FMedia && !FMediaFileName.isEmpty()) BuildStrip();
}

void TfrmMain::closeEvent(QCloseEvent* Event)
{
    if (KeepChangedText()) {
        Event->ignore();
        return;
    }
    QWidget::closeEvent(Event);
}

bool TfrmMain::KeepChangedText()
{
    // Read-only text (the guide, or a text loaded before any song) was not typed.
    if (memLRC->isReadOnly() || !memLRC->document()->isModified()) return false;
    return ShowMessageBox(this, QMessageBox::Question, kReminderCaption, kDiscardQuestion,
                          QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok;
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

// Reads the current file for a mode command; when that fails, the toggles are put
// back to match the page still shown before the error goes on to its box.
TfrmMain::TPreparedMedia TfrmMain::PrepareMediaForModeSwitch()
{
    try {
        return PrepareMedia(FMediaFileName);
    } catch (...) {
        (Notebook1->currentIndex() == 0 ? btnMake : btnTest)->setChecked(true);
        throw;
    }
}

void TfrmMain::btnMakeClick()
{
    // The toggles' down state is left as it is. Reopening plays the song from the
    // beginning; the files are read first, so a failure leaves the page as it was.
    if (FMediaFileName.isEmpty()) {
        ShowEditPage();
        return;
    }
    TPreparedMedia prepared = PrepareMediaForModeSwitch();
    ShowEditPage();
    InstallMedia(std::move(prepared));
}

void TfrmMain::btnTestClick()
{
    if (FMediaFileName.isEmpty()) {
        btnMake->setChecked(true);
        return;
    }
    const QString lrcName = LrcPathFor(FMediaFileName);
    if (!QFileInfo::exists(lrcName)) {
        ShowMessageBox(this, QMessageBox::Information, kReminderCaption, QStringLiteral("%1文件找不到！").arg(lrcName));
        btnMake->setChecked(true);
        return;
    }
    // Test mode plays the saved file, so the controller is made anew from it.
    TPreparedMedia prepared = PrepareMediaForModeSwitch();
    QPalette palette = lblLRC->palette();
    palette.setColor(QPalette::Window, kTestBackground);
    lblLRC->setPalette(palette);
    lblLRC->setAutoFillBackground(true);
    Notebook1->setCurrentIndex(1);
    pnlInfo->hide();
    InstallMedia(std::move(prepared));
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
    if (!AudioFileName.isEmpty()) OpenAudioFile(AudioFileName);
    if (!LyricsFileName.isEmpty()) LoadLyricsText(LyricsFileName);
}

void TfrmMain::LoadLyricsText(const QString& FileName)
{
    if (const QFileInfo info(FileName); info.isFile() && info.size() > kMaxLyricFileBytes)
        throw Exception("Text exceeds memo capacity");
    const std::unique_ptr<TMemoryStream> stream = ReadWhole(FileName);
    const DecodedText decoded = DecodeLyricBytes(QByteArray::fromStdString(stream->Bytes()));
    memLRC->setPlainText(decoded.text);
    memLRC->moveCursor(QTextCursor::Start);
    memLRC->document()->setModified(false);
    FTextEncoding = decoded.encoding;
}


// ---- Opening ---------------------------------------------------------------------

namespace {

// Bytes one strip column stands for, from the playback stream's own figures (the
// scan's rule: the length shared out over the columns, never less than 20 ms).
std::int32_t ColumnBytesOf(HSTREAM Channel, int Columns)
{
    const QWORD per20Ms = BASS_ChannelSeconds2Bytes(Channel, 0.02);
    const QWORD length = BASS_ChannelGetLength(Channel, BASS_POS_BYTE);
    if (per20Ms <= 0 || Columns < 1) return 0;
    const QWORD bytes = std::max<QWORD>(std::max<QWORD>(length, 0) / Columns, per20Ms);
    return static_cast<std::int32_t>(std::min<QWORD>(bytes, std::numeric_limits<std::int32_t>::max()));
}

QString LyricLineText(const std::string& Bytes, TextEncoding Encoding)
{
    const QByteArray bytes = QByteArray::fromStdString(Bytes);
    if (Encoding != TextEncoding::Gb18030) return QString::fromUtf8(bytes);
    QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

}  // namespace

TfrmMain::TPreparedMedia TfrmMain::PrepareMedia(const QString& FileName)
{
    TPreparedMedia prepared;
    prepared.FileName = FileName;

    // Both files are read whole before anything of the window changes.
    const QString lrcName = LrcPathFor(FileName);
    auto lyric = QFileInfo::exists(lrcName) ? ReadWhole(lrcName) : std::make_unique<TMemoryStream>();
    auto audio = ReadWhole(FileName);

    prepared.LrcEncoding = DecodeLyricBytes(QByteArray::fromStdString(lyric->Bytes())).encoding;
    // The document reads bytes; a UTF-8 byte-order mark would stick to its first tag.
    if (prepared.LrcEncoding == TextEncoding::Utf8Bom)
        lyric = std::make_unique<TMemoryStream>(lyric->Bytes().substr(3));

    // The same file, unchanged since (path, size, time of the last write): hashing the
    // bytes would cost the GUI thread more than the whole rest of a reopen.
    const QFileInfo audioInfo(FileName);
    prepared.Digest = QFile::encodeName(audioInfo.absoluteFilePath()) + '|' + QByteArray::number(audio->Size()) + '|' +
                      QByteArray::number(audioInfo.lastModified().toMSecsSinceEpoch());
    prepared.ScanCopy = CopyAudioStream(*audio);
    prepared.ScanCopy->SetPosition(0);
    audio->SetPosition(0);
    prepared.Media = std::make_unique<TAudioMedia>(std::move(audio), std::move(lyric));
    prepared.Media->Open();
    // Refused here rather than replacing a playing song with silence.
    if (prepared.Media->Channel() == 0) throw EFOpenError(LocalPath(FileName), "It holds no playable audio");
    return prepared;
}

void TfrmMain::InstallMedia(TPreparedMedia Prepared)
{
    FMediaFileName = Prepared.FileName;
    FLrcEncoding = Prepared.LrcEncoding;
    SetMedia(std::move(Prepared.Media));  // the previous controller stops and goes
    FMedia->Play();
    lblTotalTime->setText(FormatTime(FMedia->LengthMs()));
    FMedia->SetOnUpdate(Guarded([this] { MediaUpdate(FMedia.get()); }));

    // The same bytes again (a mode command) keep their trace; other bytes are scanned
    // on a worker while the song already plays, the strip black until the peaks come.
    const bool sameAudio = Prepared.Digest == FTraceDigest && (FTrace || FScanner->Pending());
    if (!sameAudio) {
        FTrace.reset();
        FTraceDigest = Prepared.Digest;
        FScanner->Start(std::move(Prepared.ScanCopy),
                        [this](std::shared_ptr<const TLevelTrace> Trace) { TraceArrived(std::move(Trace)); });
    }
    BuildStrip();
    btnInsertLabel->show();
    PaintBox1->update();
}

void TfrmMain::OpenMedia(const QString& FileName)
{
    InstallMedia(PrepareMedia(FileName));
}

bool TfrmMain::OpenAudioFile(const QString& FileName)
{
    if (KeepChangedText()) return false;
    TPreparedMedia prepared = PrepareMedia(FileName);
    FMediaFileName = FileName;
    txtTitle->clear();
    memLRC->setReadOnly(false);
    memLRC->clear();
    memLRC->document()->setModified(false);
    FTextEncoding = TextEncoding::Gb18030;
    InstallMedia(std::move(prepared));
    btnMake->setChecked(true);
    Notebook1->setCurrentIndex(0);
    pnlInfo->show();
    btnSave->show();
    txtTitle->show();
    lblTitle->show();
    StatusBar1Panels[1]->setText(FMediaFileName);
    return true;
}

void TfrmMain::tbtnOpenClick()
{
    const QString chosen = FFileChooser(QStringLiteral("mp3文件 (*.mp3)"));
    if (!chosen.isEmpty()) OpenAudioFile(chosen);
}

void TfrmMain::SetMedia(std::unique_ptr<TAudioMedia> Media)
{
    FMedia.reset();
    FMedia = std::move(Media);
}

// ---- Transport -------------------------------------------------------------------

void TfrmMain::btnPlayClick()
{
    if (FMedia) FMedia->Play();
}

void TfrmMain::btnPauseClick()
{
    if (FMedia) FMedia->TogglePause();
}

void TfrmMain::btnStopClick()
{
    if (FMedia) FMedia->Stop();
}

void TfrmMain::MediaUpdate(TAudioMedia*)
{
    if (FBytesPerPixel == 0 || !FMedia) return;
    FViewBitmap = FWaveBitmap;
    DrawPlayCursor(FMedia->PositionBytes(), 0, Qt::white);
    PaintBox1->repaint();
    lblLapseTime->setText(FormatTime(FMedia->PositionMs()));
    if (FMedia->State() == msPlaying && btnAutoScroll->isChecked()) ApplyAutoScroll();
    lblLRC->setText(LyricLineText(FMedia->CurrentText(), FLrcEncoding));
}

// ---- Time labels -----------------------------------------------------------------

void TfrmMain::btnInsertLabelClick()
{
    QTextDocument* document = memLRC->document();
    const int line = memLRC->textCursor().blockNumber();
    // An empty last line does not count as a line.
    const int lineCount = document->blockCount() - (document->lastBlock().length() <= 1 ? 1 : 0);
    if (line < 0 || line >= lineCount) return;

    // Where the music is now, read from the audio clock at the key press.
    const QString timeText = FMedia ? FormatTime(FMedia->PositionMs()) : QString();
    const QTextBlock block = document->findBlockByNumber(line);
    QTextCursor edit(block);
    edit.insertText(LabelledLine(timeText, QString()));  // in front of the whole line, however long

    memLRC->horizontalScrollBar()->setValue(0);
    QScrollBar* vertical = memLRC->verticalScrollBar();
    vertical->setValue(vertical->value() + line);

    QTextCursor caret(document);
    if (const QTextBlock next = block.next(); next.isValid())
        caret.setPosition(next.position());
    else
        caret.setPosition(block.position() + block.length() - 1);
    memLRC->setTextCursor(caret);
    memLRC->ensureCursorVisible();
}

bool TfrmMain::memLRCKeyDown(int Key, Qt::KeyboardModifiers Shift)
{
    if (Key == Qt::Key_F2) {
        if (btnInsertLabel->isEnabled()) btnInsertLabelClick();
        return false;  // the key is left to the edit box
    }
    // Shift+Enter would put a line separator inside a line: it looks like a new line
    // but labels and the saved file would not treat it as one.
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && (Shift & Qt::ShiftModifier) && !memLRC->isReadOnly()) {
        QTextCursor caret = memLRC->textCursor();
        caret.insertBlock();
        memLRC->setTextCursor(caret);
        return true;
    }
    return false;
}

// ---- Saving and loading text -----------------------------------------------------

void TfrmMain::btnSaveClick()
{
    if (FMediaFileName.isEmpty()) return;
    const QString lrcName = LrcPathFor(FMediaFileName);
    if (!HasTitle(txtTitle->text())) {
        ShowMessageBox(this, QMessageBox::Information, kReminderCaption, QStringLiteral("请输入标题！"));
        return;
    }
    // An audio file that itself ends in ".lrc" would be overwritten by its lyrics.
    if (QFileInfo(lrcName) == QFileInfo(FMediaFileName))
        throw EFCreateError(LocalPath(lrcName), "It is the open audio file");
    if (QFileInfo::exists(lrcName) &&
        ShowMessageBox(this, QMessageBox::Question, kReminderCaption, QStringLiteral("LRC文件已经存在，是否覆盖？"),
                       QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;

    // The raw text: toPlainText would turn no-break spaces into spaces.
    QString text = memLRC->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    // Written beside the old file and renamed over it, so a failure leaves it whole.
    WriteFileReplacing(lrcName, ComposeLrcFile(txtTitle->text(), text, FTextEncoding));
    memLRC->document()->setModified(false);
    ShowMessageBox(this, QMessageBox::Information, kReminderCaption, QStringLiteral("保存LRC成功！"));
}

void TfrmMain::mmiLoadLrcTextClick()
{
    const QString chosen = FFileChooser(QStringLiteral("文本文件 (*.txt)"));
    if (chosen.isEmpty() || KeepChangedText()) return;
    LoadLyricsText(chosen);
}

QMenu* TfrmMain::CreateLrcContextMenu(const QPoint&)
{
    QMenu* menu = memLRC->createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(mmiLoadLrcText);
    return menu;
}

// ---- Strip -----------------------------------------------------------------------

void TfrmMain::BuildStrip()
{
    if (!FMedia) return;
    const int width = StripWidth(FMedia->LengthMs(), FMiliSecondsPerPixel, FViewWidth);
    PaintBox1->resize(width, PaintBox1->height());
    FViewBitmap = QImage(width, PaintBox1->height(), QImage::Format_RGB32);
    FViewBitmap.fill(Qt::black);
    if (FTrace && FTrace->IsAudio()) {
        PaintPeaks(BuildPeakListFromTrace(*FTrace, width, FBytesPerPixel), FViewBitmap);
    } else {
        // Until the peaks arrive the scale comes from the playback stream, so that
        // the cursor and seeking work at once.
        FBytesPerPixel = ColumnBytesOf(FMedia->Channel(), width);
    }
    FWaveBitmap = FViewBitmap;
    if (FBytesPerPixel > 0) {
        FViewBitmap = FWaveBitmap;
        DrawPlayCursor(FMedia->PositionBytes(), 0, Qt::white);
    }
    PaintBox1->update();
}

void TfrmMain::TraceArrived(std::shared_ptr<const TLevelTrace> Trace)
{
    FTrace = std::move(Trace);
    BuildStrip();
}

void TfrmMain::RebuildStripAtCurrentScale()
{
    if (!FMedia) return;
    BuildStrip();
}

void TfrmMain::DrawPlayCursor(std::int64_t PosBytes, int TextY, const QColor& Colour)
{
    const int column = CursorColumn(PosBytes, FBytesPerPixel);
    ::DrawPlayCursor(FViewBitmap, column, CursorCaption(FMedia ? FMedia->PositionMs() : 0), TextY, Colour, width(),
                     height());
}

void TfrmMain::ApplyAutoScroll()
{
    QScrollBar* bar = ScrollBox1->horizontalScrollBar();
    const int column = CursorColumn(FMedia->PositionBytes(), FBytesPerPixel);
    if (const std::optional<int> target = AutoScrollTarget(column, bar->value(), FViewWidth)) bar->setValue(*target);
}

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

void TfrmMain::PaintBox1MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int)
{
    if (Button == Qt::LeftButton) {
        if (FMedia) FMedia->SetPositionBytes(std::int64_t{X} * FBytesPerPixel);
    } else if (Button == Qt::RightButton) {
        btnPauseClick();
    }
}
