// TfrmMain: the editor's main window. Its components keep their names as members
// and object names; its commands are the handlers below, named after the component
// and the event. Everything here runs on the GUI thread: the media controller's
// update ticks arrive through that thread's event loop too. The one exception is the
// waveform's decode, which TTraceScanner runs on a worker over its own copy of the
// bytes; its trace comes back to this thread as a queued call.
#pragma once

#include "LyricText.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QStatusBar;
class QToolBar;
class QUrl;
class TAudioMedia;
class TfrSpeedButton;
class TTraceScanner;
struct TLevelTrace;

// The waveform strip's surface: paints what its owner paints and reports presses.
class TPaintBox : public QWidget {
public:
    explicit TPaintBox(QWidget* Parent) : QWidget(Parent) {}

    std::function<void(QPainter& Canvas)> OnPaint;
    std::function<void(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
};

class TfrmMain : public QWidget {
public:
    explicit TfrmMain(QWidget* Parent = nullptr);
    ~TfrmMain() override;

    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    // Components, top to bottom.
    QToolBar* ToolBar1;
    QAction* tbtnOpen;
    QAction* btnMake;
    QAction* btnTest;
    QActionGroup* MakeTestGroup;  // btnMake and btnTest, one down at a time
    QAction* btnPlay;
    QAction* btnPause;
    QAction* btnStop;
    QAction* btnAutoScroll;
    QAction* btnSetup;
    QAction* btnWebSite;
    QAction* btnClose;

    QScrollArea* ScrollBox1;
    TPaintBox* PaintBox1;

    QWidget* pnlInfo;
    QLabel* lblTotalTime;
    QLabel* lblLapseTime;
    TfrSpeedButton* btnInsertLabel;
    QLabel* lblTitle;
    QLineEdit* txtTitle;
    QPushButton* btnSave;

    QWidget* pnlLRC;
    QStackedWidget* Notebook1;
    QWidget* pageDefault;
    QWidget* pageTest;
    QPlainTextEdit* memLRC;
    QLabel* lblLRC;
    QStatusBar* StatusBar1;
    QLabel* StatusBar1Panels[2];

    QFileDialog* OpenDialog1;
    QMenu* PopupMenu1;
    QAction* mmiLoadLrcText;

    // Private state, readable by the tests.
    const QImage& ViewBitmap() const { return FViewBitmap; }
    std::int32_t MiliSecondsPerPixel() const { return FMiliSecondsPerPixel; }
    std::int32_t ViewWidth() const { return FViewWidth; }
    std::int32_t BytesPerPixel() const { return FBytesPerPixel; }
    const QString& MediaFileName() const { return FMediaFileName; }
    bool AudioInitialised() const { return FAudioInitialised; }
    const QImage& WaveBitmap() const { return FWaveBitmap; }
    // Whether the peaks of the open file are drawn (they arrive from a worker).
    bool StripReady() const { return FTrace != nullptr; }
    // How the edit box's text is saved: as the file it came from was written.
    TextEncoding LyricEncoding() const { return FTextEncoding; }

    // How the help address is handed to the desktop (tests capture it instead).
    using TUrlOpener = std::function<void(const QUrl& Url)>;
    void SetUrlOpener(TUrlOpener Opener) { FUrlOpener = std::move(Opener); }
    // How a file is chosen for opening (OpenDialog1 with the filter; tests answer
    // instead): the chosen path, or empty when cancelled.
    using TFileChooser = std::function<QString(const QString& Filter)>;
    void SetFileChooser(TFileChooser Chooser) { FFileChooser = std::move(Chooser); }

    // Start-up with files named on the command line: the audio file (may be empty)
    // and a lyric text file (may be empty) loaded into memLRC after it.
    void OpenFromCommandLine(const QString& AudioFileName, const QString& LyricsFileName);
    // Replaces memLRC's text with a text file's (UTF-8 or GB18030) and puts the caret
    // at its start. Errors leave the text as it was ("Cannot open file ...").
    void LoadLyricsText(const QString& FileName);
    // tbtnOpenClick after its dialog: asks before discarding changed lyrics, reads the
    // files, then empties the title and the edit box and opens. Returns false when the
    // user kept the text. A failed read changes nothing.
    bool OpenAudioFile(const QString& FileName);

    // Commands.
    void btnCloseClick();
    void btnWebSiteClick();
    void btnSetupClick();
    void btnMakeClick();
    void btnTestClick();
    void tbtnOpenClick();
    void btnPlayClick();
    void btnPauseClick();
    void btnStopClick();
    void btnInsertLabelClick();
    void btnSaveClick();
    void mmiLoadLrcTextClick();

    // Takes over the controller of an opened file (the previous one is freed first,
    // which stops it). OpenMedia hands its new controller over here.
    void SetMedia(std::unique_ptr<TAudioMedia> Media);
    TAudioMedia* Media() const { return FMedia.get(); }

    // (Re)opens an audio file and builds everything that depends on it.
    void OpenMedia(const QString& FileName);
    // Redraws the waveform strip of the open file at FMiliSecondsPerPixel without
    // touching playback.
    void RebuildStripAtCurrentScale();

    // The controller's update tick (public so that tests can tick by hand).
    void MediaUpdate(TAudioMedia* Sender);
    // The edit box's context menu: Qt's edit actions and mmiLoadLrcText. The caller
    // owns it.
    QMenu* CreateLrcContextMenu(const QPoint& At);

protected:
    void closeEvent(QCloseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateComponents();
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void PlaceInfoControls();
    // Page "Default" and pnlInfo, the view half of the edit-mode command.
    void ShowEditPage();

    // Everything OpenMedia reads and makes before it touches the window, so that a
    // failure leaves the window as it was.
    struct TPreparedMedia;
    TPreparedMedia PrepareMedia(const QString& FileName);
    TPreparedMedia PrepareMediaForModeSwitch();
    void InstallMedia(TPreparedMedia Prepared);
    // True when memLRC holds typed text not yet saved and the user does not want to
    // discard it.
    bool KeepChangedText();
    // The strip for the open file at the current width and scale: the peaks when the
    // scan has delivered them, black until then; the play cursor redrawn.
    void BuildStrip();
    void TraceArrived(std::shared_ptr<const TLevelTrace> Trace);
    void DrawPlayCursor(std::int64_t PosBytes, int TextY, const QColor& Colour);
    void ApplyAutoScroll();

    void PaintBox1Paint(QPainter& Canvas);
    void PaintBox1MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    // Returns true when the key is consumed.
    bool memLRCKeyDown(int Key, Qt::KeyboardModifiers Shift);

    QImage FViewBitmap;  // the strip as shown: peaks and play cursor
    QImage FWaveBitmap;  // the peaks alone
    std::unique_ptr<TAudioMedia> FMedia;
    std::int32_t FBytesPerPixel = 0;
    std::int32_t FViewWidth = 0;
    std::int32_t FMiliSecondsPerPixel = 0;
    QString FMediaFileName;

    // The level trace of the open file, from which the strip is drawn at any width
    // without decoding again; null until the worker delivers it.
    std::shared_ptr<const TLevelTrace> FTrace;
    // Identifies the audio file the trace was made from, so a reopen of the same
    // unchanged file keeps it.
    QByteArray FTraceDigest;
    std::unique_ptr<TTraceScanner> FScanner;
    // How the open LRC file's lines (CurrentText) are decoded.
    TextEncoding FLrcEncoding = TextEncoding::Gb18030;
    // How memLRC's text is saved.
    TextEncoding FTextEncoding = TextEncoding::Gb18030;

    // Whether this window's BASS_Init took the audio library, so it frees it again.
    bool FAudioInitialised = false;
    bool FShownOnce = false;
    TUrlOpener FUrlOpener;
    TFileChooser FFileChooser;
};
