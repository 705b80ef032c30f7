#include "ClipExport.h"

#include "Bass.h"
#include "DecodeHandle.h"
#include "Streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t kHeaderBytes = 44;
constexpr DWORD kReadBytes = 10000;

void Put16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void Put32(std::uint8_t* at, std::uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

void WriteSizeAt(TMemoryStream& stream, std::int64_t offset, std::uint32_t value)
{
    std::uint8_t bytes[4];
    Put32(bytes, value);
    stream.SetPosition(offset);
    stream.WriteBuffer(bytes, 4);
}

}  // namespace

std::unique_ptr<TMemoryStream> BuildWavClip(const TMemoryStream* source, std::int32_t startMs, std::int32_t endMs)
{
    auto result = std::make_unique<TMemoryStream>();
    if (source == nullptr || source->Size() == 0)
        return result;

    const TDecodeHandle channel(
        BASS_StreamCreateFile(TRUE, source->Memory(), 0, static_cast<QWORD>(source->Size()), BASS_STREAM_DECODE));
    BASS_CHANNELINFO info;
    float rate = 0;
    if (channel.Get() == 0 || !BASS_ChannelGetInfo(channel.Get(), &info) ||
        !BASS_ChannelGetAttribute(channel.Get(), BASS_ATTRIB_FREQ, &rate) || info.chans == 0 || rate < 1)
        return result;  // not audio: nothing to cut

    // The real channel count goes into the header: a "2" over data with more channels
    // would make every reader misplace the samples.
    const std::uint32_t channels = info.chans;
    const std::uint32_t bits = (info.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
    const std::uint32_t sampleRate = static_cast<std::uint32_t>(rate);
    const std::uint32_t blockAlign = channels * bits / 8;
    const std::uint32_t byteRate = blockAlign * sampleRate;

    std::array<std::uint8_t, kHeaderBytes> header{};
    std::memcpy(header.data() + 0, "RIFF", 4);
    std::memcpy(header.data() + 8, "WAVE", 4);
    std::memcpy(header.data() + 12, "fmt ", 4);
    Put32(header.data() + 16, 16);
    Put16(header.data() + 20, 1);
    Put16(header.data() + 22, channels);
    Put32(header.data() + 24, sampleRate);
    Put32(header.data() + 28, byteRate);
    Put16(header.data() + 32, blockAlign);
    Put16(header.data() + 34, bits);
    std::memcpy(header.data() + 36, "data", 4);
    result->WriteBuffer(header.data(), kHeaderBytes);  // both sizes 0 until the data is in

    const QWORD length = BASS_ChannelGetLength(channel.Get(), BASS_POS_BYTE);
    QWORD start = BASS_ChannelSeconds2Bytes(channel.Get(), startMs / 1000.0);
    QWORD end = BASS_ChannelSeconds2Bytes(channel.Get(), endMs / 1000.0);
    if (start < 0)
        start = 0;
    if (length >= 0 && end > length)
        end = length;

    // A start past the end of the audio cannot be seeked to; reading from wherever the
    // channel stands would hand back the wrong part of the file, so no data is taken.
    const bool positioned = length >= 0 && start <= length && BASS_ChannelSetPosition(channel.Get(), start, BASS_POS_BYTE);
    // The RIFF size fields are 32-bit; the data stops before they would overflow.
    const std::int64_t dataLimit = std::numeric_limits<std::uint32_t>::max() - kHeaderBytes;
    std::array<std::uint8_t, kReadBytes> buffer;
    while (positioned && BASS_ChannelIsActive(channel.Get()) != BASS_ACTIVE_STOPPED) {
        const QWORD position = BASS_ChannelGetPosition(channel.Get(), BASS_POS_BYTE);
        if (position < 0 || position >= end)
            break;
        const DWORD got = BASS_ChannelGetData(channel.Get(), buffer.data(), kReadBytes);
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;  // a decoder that stops delivering must not spin here
        if (result->Size() - kHeaderBytes + got > dataLimit)
            break;
        result->WriteBuffer(buffer.data(), got);
    }

    const std::int64_t total = result->Size();
    WriteSizeAt(*result, 4, static_cast<std::uint32_t>(total - 8));
    WriteSizeAt(*result, 40, static_cast<std::uint32_t>(total - kHeaderBytes));
    result->SetPosition(total);
    return result;
}
