// TAUDIODevice: its rules against a fake mixer, then the real ALSA mixer — a device
// that does not exist (this machine has no sound card) and a private PulseAudio
// daemon's null sink seen through ALSA's "pulse" control device.
#include "AudioDevice.h"
#include "Exceptions.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>


namespace {

// ---- the fake mixer ------------------------------------------------------------------

struct FakeLine {
    std::string name;
    bool hasVolume = true;
    bool hasMute = true;
    bool failSet = false;
    bool failGet = false;
    std::uint32_t volume = 0;
    std::uint32_t mute = 0;
};

struct FakeMixer {
    bool present = true;
    std::map<int, FakeLine> lines;  // by line type
    int opens = 0;
    int closes = 0;
};

class FakeSession final : public TMixerSession {
public:
    explicit FakeSession(FakeMixer& mixer) : FMixer(mixer) { ++FMixer.opens; }
    ~FakeSession() override { ++FMixer.closes; }

    bool FindLine(TLineType Type) override
    {
        const auto it = FMixer.lines.find(Type);
        FLine = it != FMixer.lines.end() ? &it->second : nullptr;
        return FLine != nullptr;
    }
    std::string LineName() override { return FLine->name; }
    bool HasControl(TMixerControlKind Kind) override
    {
        return Kind == mckVolume ? FLine->hasVolume : FLine->hasMute;
    }
    bool SetValue(TMixerControlKind Kind, std::uint16_t Value) override
    {
        if (FLine->failSet)
            return false;
        (Kind == mckVolume ? FLine->volume : FLine->mute) = Value;
        return true;
    }
    std::optional<std::uint32_t> GetValue(TMixerControlKind Kind) override
    {
        if (FLine->failGet)
            return std::nullopt;
        return Kind == mckVolume ? FLine->volume : FLine->mute;
    }

private:
    FakeMixer& FMixer;
    FakeLine* FLine = nullptr;
};

class FakeBackend final : public TMixerBackend {
public:
    explicit FakeBackend(FakeMixer& mixer) : FMixer(mixer) {}
    std::unique_ptr<TMixerSession> Open() override
    {
        if (!FMixer.present)
            return nullptr;
        return std::make_unique<FakeSession>(FMixer);
    }

private:
    FakeMixer& FMixer;
};

class AudioDeviceRules : public ::testing::Test {
protected:
    AudioDeviceRules()
    {
        mixer.lines[ltMaster] = FakeLine{"Master Volume", true, true, false, false, 40000, 0};
        mixer.lines[ltCD] = FakeLine{"CD Audio", true, true, false, false, 1234, 1};
    }
    TAUDIODevice Device() { return TAUDIODevice(std::make_unique<FakeBackend>(mixer)); }
    // Every operation opens the mixer at most once and leaves it closed.
    void ExpectClosed(int opens)
    {
        EXPECT_EQ(mixer.opens, opens);
        EXPECT_EQ(mixer.closes, mixer.opens);
    }

    FakeMixer mixer;
};

template <class Operation>
std::string MessageOf(Operation operation)
{
    try {
        operation();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

}  // namespace


TEST_F(AudioDeviceRules, ReadsAndWritesTheChosenLine)
{
    TAUDIODevice device = Device();
    EXPECT_EQ(device.LineType(), ltMaster);
    EXPECT_EQ(device.ReadVolume(), 40000);
    device.WriteVolume(65535);
    EXPECT_EQ(mixer.lines[ltMaster].volume, 65535u);
    EXPECT_EQ(device.ReadVolume(), 65535);
    device.SetControl(1, mckMute);
    EXPECT_EQ(device.GetControl(mckMute), 1);
    EXPECT_EQ(mixer.lines[ltMaster].mute, 1u);

    device.SetLineType(ltCD);
    EXPECT_EQ(device.ReadVolume(), 1234);
    device.WriteVolume(7);
    EXPECT_EQ(mixer.lines[ltCD].volume, 7u);
    EXPECT_EQ(mixer.lines[ltMaster].volume, 65535u);
    ExpectClosed(7);
}

TEST_F(AudioDeviceRules, MissingMixerOrLineFailsQuietly)
{
    TAUDIODevice device = Device();
    device.SetLineType(ltSynth);  // the fake has no synth line
    EXPECT_EQ(device.ReadVolume(), 0);
    EXPECT_EQ(device.GetControl(mckMute), 0);
    EXPECT_NO_THROW(device.WriteVolume(100));
    EXPECT_NO_THROW(device.SetControl(1, mckMute));
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), " ");
    ExpectClosed(5);

    mixer.present = false;
    device.SetLineType(ltMaster);
    EXPECT_EQ(device.ReadVolume(), 0);
    EXPECT_NO_THROW(device.WriteVolume(100));
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), " ");
    EXPECT_EQ(mixer.lines[ltMaster].volume, 40000u);
    ExpectClosed(5);

    TAUDIODevice withoutBackend{std::unique_ptr<TMixerBackend>()};
    EXPECT_EQ(withoutBackend.ReadVolume(), 0);
    EXPECT_NO_THROW(withoutBackend.WriteVolume(1));
}

TEST_F(AudioDeviceRules, LineNameIsFilledOnlyByTheNameQuery)
{
    TAUDIODevice device = Device();
    EXPECT_EQ(device.LineName(), "");
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), "Master Volume");

    // Any other read starts with a blank name again; a write leaves it.
    device.GetControl(mckLineName);
    device.WriteVolume(5);
    EXPECT_EQ(device.LineName(), "Master Volume");
    device.ReadVolume();
    EXPECT_EQ(device.LineName(), " ");

    // A name that was found before is replaced by the blank when the line is gone.
    device.GetControl(mckLineName);
    device.SetLineType(ltWaveOut);
    device.GetControl(mckLineName);
    EXPECT_EQ(device.LineName(), " ");

    // At most 64 characters, up to the first zero.
    device.SetLineType(ltMaster);
    mixer.lines[ltMaster].name = std::string(80, 'x');
    device.GetControl(mckLineName);
    EXPECT_EQ(device.LineName(), std::string(64, 'x'));
    mixer.lines[ltMaster].name = std::string("Front\0Rear", 10);
    device.GetControl(mckLineName);
    EXPECT_EQ(device.LineName(), "Front");
    ExpectClosed(8);
}

TEST_F(AudioDeviceRules, NameKindAndUnknownKindsOrLinesChangeNothing)
{
    TAUDIODevice device = Device();
    device.SetControl(9, mckLineName);
    device.SetControl(9, static_cast<TMixerControlKind>(7));
    EXPECT_EQ(mixer.opens, 0);  // not even opened
    EXPECT_EQ(device.GetControl(static_cast<TMixerControlKind>(7)), 0);
    EXPECT_EQ(device.GetControl(static_cast<TMixerControlKind>(-1)), 0);

    device.SetLineType(static_cast<TLineType>(9));
    EXPECT_EQ(device.ReadVolume(), 0);
    device.WriteVolume(1);
    EXPECT_EQ(mixer.lines[ltMaster].volume, 40000u);
    EXPECT_EQ(mixer.lines[ltMaster].mute, 0u);
    ExpectClosed(4);
}

TEST_F(AudioDeviceRules, ControlFailuresRaiseTheirMessagesAfterClosing)
{
    TAUDIODevice device = Device();
    FakeLine& master = mixer.lines[ltMaster];

    master.hasVolume = false;
    EXPECT_EQ(MessageOf([&] { device.ReadVolume(); }), "Get Control Line Information Error! ");
    EXPECT_EQ(MessageOf([&] { device.WriteVolume(1); }), "Get Control Line Information Error! ");
    ExpectClosed(2);
    // The name query needs no control.
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), "Master Volume");
    // Mute is a control of its own.
    EXPECT_EQ(device.GetControl(mckMute), 0);
    master.hasVolume = true;

    master.failSet = true;
    EXPECT_EQ(MessageOf([&] { device.WriteVolume(1); }), "Set Control Details Error! ");
    EXPECT_EQ(MessageOf([&] { device.SetControl(1, mckMute); }), "Set Control Details Error! ");
    EXPECT_EQ(master.volume, 40000u);
    EXPECT_EQ(device.ReadVolume(), 40000);  // reading still works

    master.failGet = true;
    EXPECT_EQ(MessageOf([&] { device.ReadVolume(); }), "Get Control Details Error! ");
    EXPECT_EQ(MessageOf([&] { device.GetControl(mckMute); }), "Get Control Details Error! ");
    ExpectClosed(9);
}

TEST_F(AudioDeviceRules, ReadingKeepsTheLowSixteenBits)
{
    mixer.lines[ltMaster].volume = 0x12345;
    EXPECT_EQ(Device().ReadVolume(), 0x2345);
}


// ---- the real ALSA library -------------------------------------------------------------

TEST(AudioDeviceAlsa, MissingCardFailsQuietlyOnEveryLine)
{
    for (const char* name : {"hw:0", "hw:7", "no_such_device"}) {
        for (int type = ltMaster; type <= ltCD; ++type) {
            SCOPED_TRACE(std::string(name) + " line " + std::to_string(type));
            TAUDIODevice device(MakeAlsaMixerBackend(name));
            device.SetLineType(static_cast<TLineType>(type));
            EXPECT_EQ(device.ReadVolume(), 0);
            EXPECT_EQ(device.GetControl(mckMute), 0);
            EXPECT_NO_THROW(device.WriteVolume(30000));
            EXPECT_NO_THROW(device.SetControl(1, mckMute));
            EXPECT_EQ(device.GetControl(mckLineName), 0);
            EXPECT_EQ(device.LineName(), " ");
        }
    }
}

TEST(AudioDeviceAlsa, DefaultDeviceReadsWithoutFailing)
{
    // Whatever "default" is here (nothing, or a running PulseAudio), reading must
    // not fail; writing is left alone so nobody's volume changes.
    TAUDIODevice device;
    EXPECT_NO_THROW(device.ReadVolume());
    EXPECT_NO_THROW(device.GetControl(mckLineName));
    EXPECT_FALSE(device.LineName().empty());
}


namespace {

// A PulseAudio daemon of the test's own, with one null sink, on a private socket.
// ALSA's "pulse" control device reaches it through PULSE_SERVER.
class PrivatePulse : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString daemon = QStandardPaths::findExecutable("pulseaudio");
        pactl = QStandardPaths::findExecutable("pactl");
        if (daemon.isEmpty() || pactl.isEmpty())
            GTEST_SKIP() << "pulseaudio or pactl not installed";
        ASSERT_TRUE(dir.isValid());
        socket = dir.filePath("native");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("PULSE_RUNTIME_PATH", dir.filePath("runtime"));
        env.remove("PULSE_SERVER");
        env.insert("PULSE_COOKIE", dir.filePath("cookie"));
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.setStandardOutputFile(QProcess::nullDevice());
        server.start(daemon, {"-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
                              "--log-level=error", "-L", "module-null-sink sink_name=qlrc_null",
                              "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        ASSERT_TRUE(server.waitForStarted(10000)) << server.errorString().toStdString();

        clientEnv = env;
        clientEnv.insert("PULSE_SERVER", "unix:" + socket);
        bool up = false;
        for (int i = 0; i < 100 && !up; ++i) {
            up = Pactl({"info"}).has_value();
            if (!up)
                QThread::msleep(100);
        }
        ASSERT_TRUE(up) << "the private PulseAudio daemon did not answer";
        ASSERT_EQ(setenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit().constData(), 1), 0);
        // Keeps the client side from leaving a cookie in the user's home.
        ASSERT_EQ(setenv("PULSE_COOKIE", dir.filePath("cookie").toLocal8Bit().constData(), 1), 0);
    }

    void TearDown() override
    {
        unsetenv("PULSE_SERVER");
        unsetenv("PULSE_COOKIE");
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000)) {
                server.kill();
                server.waitForFinished(5000);
            }
        }
    }

    std::optional<std::string> Pactl(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(clientEnv);
        process.start(pactl, arguments);
        if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        return process.readAllStandardOutput().toStdString();
    }

    // The null sink's raw volume (0..65536) of its first channel, as PulseAudio reports it.
    long SinkVolume()
    {
        const std::optional<std::string> text = Pactl({"get-sink-volume", "qlrc_null"});
        if (!text)
            return -1;
        const QRegularExpressionMatch match =
            QRegularExpression(R"(front-left:\s*(\d+))").match(QString::fromStdString(*text));
        return match.hasMatch() ? match.captured(1).toLong() : -1;
    }

    QTemporaryDir dir;
    QString socket;
    QString pactl;
    QProcess server;
    QProcessEnvironment clientEnv;
};

// PulseAudio counts 0..65536; the device 0..65535.
long FromPulse(long raw) { return (raw * 65535 + 32768) / 65536; }

}  // namespace


TEST_F(PrivatePulse, MasterVolumeAndMuteFollowTheSink)
{
    TAUDIODevice device(MakeAlsaMixerBackend("pulse"));
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), "Master");

    // The sink starts at full volume.
    EXPECT_EQ(device.ReadVolume(), FromPulse(SinkVolume()));
    EXPECT_EQ(device.ReadVolume(), 65535);

    // Written through the device, seen by PulseAudio.
    device.WriteVolume(32768);
    const long written = SinkVolume();
    EXPECT_NEAR(FromPulse(written), 32768, 1);
    EXPECT_NEAR(device.ReadVolume(), 32768, 1);

    // Set by PulseAudio, read by the device.
    ASSERT_TRUE(Pactl({"set-sink-volume", "qlrc_null", "16384"}));
    EXPECT_NEAR(device.ReadVolume(), 16384, 1);
    device.WriteVolume(0);
    EXPECT_EQ(SinkVolume(), 0);
    EXPECT_EQ(device.ReadVolume(), 0);

    // Mute: non-zero means muted.
    EXPECT_EQ(device.GetControl(mckMute), 0);
    device.SetControl(1, mckMute);
    EXPECT_EQ(Pactl({"get-sink-mute", "qlrc_null"}).value_or(""), "Mute: yes\n");
    EXPECT_EQ(device.GetControl(mckMute), 1);
    ASSERT_TRUE(Pactl({"set-sink-mute", "qlrc_null", "0"}));
    EXPECT_EQ(device.GetControl(mckMute), 0);

    // PulseAudio has no synthesizer or CD line: quiet.
    device.SetLineType(ltSynth);
    EXPECT_EQ(device.ReadVolume(), 0);
    EXPECT_NO_THROW(device.WriteVolume(1));
    device.SetLineType(ltCD);
    EXPECT_EQ(device.GetControl(mckLineName), 0);
    EXPECT_EQ(device.LineName(), " ");
}

TEST_F(PrivatePulse, MicrophoneIsTheCaptureElement)
{
    TAUDIODevice device(MakeAlsaMixerBackend("pulse"));
    device.SetLineType(ltMicrophone);
    device.GetControl(mckLineName);
    EXPECT_EQ(device.LineName(), "Capture");
    device.WriteVolume(20000);
    EXPECT_NEAR(device.ReadVolume(), 20000, 1);
}
