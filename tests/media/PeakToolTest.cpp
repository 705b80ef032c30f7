// `lrctool peaks` as a script uses it: the JSON list and the PNG strip against the
// library's own scan and painting, and the exit codes for bad input.
#include "PeakScan.h"
#include "PeakScanAudio.h"
#include "TavreloMedia.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <regex>
#include <sys/wait.h>

using namespace qlrc::scan::test;
using qlrc::audio::test::Fx;
using qlrc::audio::test::ReadAll;

namespace {

// Exit status of lrctool with args, its standard output in `out`.
int Tool(const std::string& args, std::string& out)
{
    const std::filesystem::path file = Fx().dir / "tool.out";
    const int status = std::system((std::string("'") + QLRC_LRCTOOL + "' " + args + " > '" + file.string() + "' 2>/dev/null").c_str());
    const Bytes bytes = ReadAll(file);
    out.assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(PeakTool, PrintsTheScanAndWritesThePaintedStrip)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const std::filesystem::path mp3 = Fx().path("vbr.mp3");
    const std::filesystem::path png = Fx().dir / "strip.png";
    std::string out;
    ASSERT_EQ(Tool("peaks '" + mp3.string() + "' 97 --png '" + png.string() + "'", out), 0);

    std::int32_t bpc = 0;
    const TPeakList peaks = TAudioMedia::BuildPeakList(StreamOf(Fx().bytes("vbr.mp3")), 97, bpc);
    std::string expected = "{\"bytesPerColumn\":" + std::to_string(bpc) + ",\"peaks\":[";
    for (std::size_t i = 0; i < peaks.size(); ++i)
        expected += (i ? ",[" : "[") + std::to_string(peaks[i].LeftPeak) + "," + std::to_string(peaks[i].RightPeak) + "]";
    expected += "]}\n";
    EXPECT_EQ(out, expected);

    const QImage written(QString::fromStdString(png.string()));
    ASSERT_EQ(written.size(), QSize(97, 113));
    QImage painted(97, 113, QImage::Format_RGB32);
    PaintPeaks(peaks, painted);
    EXPECT_TRUE(written.convertToFormat(QImage::Format_RGB32) == painted);
}

TEST(PeakTool, BadInputGetsAClearErrorAndNoOutput)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const std::filesystem::path text = Fx().dir / "words.mp3";
    qlrc::audio::test::WriteAll(text, Bytes{'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    const std::filesystem::path png = Fx().dir / "never.png";
    std::string out;
    EXPECT_EQ(Tool("peaks '" + text.string() + "' 50 --png '" + png.string() + "'", out), 1);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(std::filesystem::exists(png));
    EXPECT_EQ(Tool("peaks '" + Fx().path("cbr.mp3").string() + "' 0", out), 2);
    EXPECT_EQ(Tool("peaks '" + Fx().path("cbr.mp3").string() + "' 12x", out), 2);
    EXPECT_EQ(Tool("peaks '" + Fx().path("cbr.mp3").string() + "' 10 --png", out), 2);
    EXPECT_EQ(Tool("peaks '" + (Fx().dir / "missing.mp3").string() + "' 10", out), 1);
}
