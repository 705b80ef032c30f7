// The editor window's timing workflow on the offscreen platform and the silent output:
//  - OpenToWaveform: from choosing a 4-minute MP3 (tbtnOpen's steps after its dialog)
//    to its peaks drawn in the strip; counter gui_ms = how long the open itself held
//    the GUI thread (the rest is the worker's decode).
//  - F2ToEditBox: from an F2 key press in the edit box to the label in its text.
//  - StallWhilePlaying: the longest gap of a 5 ms GUI-thread timer while a 4-minute
//    song has just been opened, its scan runs and its 200 ms ticks redraw the strip.
#include "MainForm.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

QTemporaryDir* Folder = nullptr;

// Two different 4-minute songs, so that reopening always scans again.
QString Song(int Which)
{
    return Folder->filePath(QStringLiteral("song%1.mp3").arg(Which));
}

bool MakeSongs()
{
    for (int which = 0; which < 2; ++which) {
        const QString wav = Folder->filePath(QStringLiteral("song.wav"));
        if (QProcess::execute(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "240",
                                                      "sine", which == 0 ? "220" : "330", "tremolo", "0.5", "80"}) != 0 ||
            QProcess::execute(QStringLiteral("lame"), {"--quiet", "-b", "192", wav, Song(which)}) != 0)
            return false;
    }
    return true;
}

std::unique_ptr<TfrmMain> ShownForm()
{
    auto form = std::make_unique<TfrmMain>();
    form->show();
    static_cast<void>(QTest::qWaitForWindowExposed(form.get()));
    return form;
}

void OpenToWaveform(benchmark::State& State)
{
    auto form = ShownForm();
    int which = 0;
    double guiMs = 0;
    for (auto _ : State) {
        QElapsedTimer open;
        open.start();
        form->OpenAudioFile(Song(which));
        guiMs = std::max(guiMs, open.nsecsElapsed() / 1e6);
        while (!form->StripReady()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        which = 1 - which;
    }
    State.counters["gui_ms_max"] = guiMs;
}
BENCHMARK(OpenToWaveform)->Unit(benchmark::kMillisecond)->Iterations(6)->UseRealTime();

void F2ToEditBox(benchmark::State& State)
{
    auto form = ShownForm();
    form->OpenAudioFile(Song(0));
    QStringList lines;
    for (int i = 0; i < 200; ++i) lines << QStringLiteral("第%1句歌词 line %1").arg(i);
    form->memLRC->setPlainText(lines.join(u'\n'));
    form->memLRC->setFocus();
    int line = 0;
    for (auto _ : State) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
        QApplication::sendEvent(form->memLRC, &press);
        if (form->memLRC->textCursor().blockNumber() != ++line) State.SkipWithError("the caret did not move on");
        if (line == 199) {
            State.PauseTiming();
            form->memLRC->setPlainText(lines.join(u'\n'));
            line = 0;
            State.ResumeTiming();
        }
    }
}
BENCHMARK(F2ToEditBox)->Unit(benchmark::kMicrosecond);

void StallWhilePlaying(benchmark::State& State)
{
    auto form = ShownForm();
    int which = 0;
    for (auto _ : State) {
        form->OpenAudioFile(Song(which));
        which = 1 - which;
        // From here on the song plays and the scan runs on its worker.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        probe.start();
        while (clock.elapsed() < 4000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        probe.stop();
        State.counters["longest_gap_ms"] = std::max<double>(State.counters["longest_gap_ms"], longest / 1e6);
        State.counters["strip_ready"] = form->StripReady() ? 1 : 0;
    }
}
BENCHMARK(StallWhilePlaying)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QERIMOLRC_AUDIO", "null");
    QApplication application(argc, argv);
    // No box may wait for a person.
    SetMessageBoxHook([](QWidget*, QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons) {
        return QMessageBox::Ok;
    });
    QTemporaryDir folder;
    Folder = &folder;
    if (!folder.isValid() || !MakeSongs()) {
        fprintf(stderr, "bench_workflow: sox or lame could not make the songs\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
