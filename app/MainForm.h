// TfrmMain: the editor's main window. Its components keep their names as members
// and object names; its commands are the handlers below, named after the component
// and the event. Everything here runs on the GUI thread: the media controller's
// update ticks arrive through that thread's event loop too.
#pragma once

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

    // How the help address is handed to the desktop (tests capture it instead).
    using TUrlOpener = std::function<void(const QUrl& Url)>;
    void SetUrlOpener(TUrlOpener Opener) { FUrlOpener = std::move(Opener); }

    // Start-up with files named on the command line: the audio file (may be empty)
    // and a lyric text file (may be empty) loaded into memLRC after it.
    void OpenFromCommandLine(const QString& AudioFileName, const QString& LyricsFileName);
    // Replaces memLRC's text with a text file's (UTF-8 or GB18030). Errors leave the
    // text as it was ("Cannot open file ...").
    void LoadLyricsText(const QString& FileName);

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

protected:
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

    // Whether this window's BASS_Init took the audio library, so it frees it again.
    bool FAudioInitialised = false;
    bool FShownOnce = false;
    TUrlOpener FUrlOpener;
};
