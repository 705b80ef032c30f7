// Decryption throughput of DecryptStreamEcb (MB/s) for the three key lengths, over
// in-memory streams, plus DecipherText on the stored guide as the program uses it.
// Compare with: openssl speed -decrypt -evp aes-128-ecb
#include "ElAES.h"
#include "StoredTexts.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

template <class Key>
void BM_DecryptStreamEcb(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    TMemoryStream source(RandomBytes(size));
    TMemoryStream dest;
    dest.SetSize(static_cast<std::int64_t>(size));  // written in place: the stream's growth is not measured
    Key rawKey{};
    for (std::size_t i = 0; i < rawKey.size(); ++i)
        rawKey[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const auto key = ExpandDecryptionKey(rawKey);
    for (auto _ : state) {
        source.SetPosition(0);
        dest.SetPosition(0);
        DecryptStreamEcb(source, static_cast<std::uint32_t>(size), key, dest);
        benchmark::DoNotOptimize(dest.Memory());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

void BM_DecryptBlock128(benchmark::State& state)
{
    const auto key = ExpandDecryptionKey(TAESKey128{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    TAESBuffer block{};
    for (auto _ : state) {
        block = DecryptBlock(block, key);  // chained: each block waits for the last
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}

void BM_DecipherStoredGuide(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DecipherText(StoredGuideText, GuidePassPhrase, kAESKeySize128));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations())
                            * static_cast<std::int64_t>(StoredGuideText.size() / 2));
}

}  // namespace

BENCHMARK_TEMPLATE(BM_DecryptStreamEcb, TAESKey128)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_DecryptStreamEcb, TAESKey192)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_DecryptStreamEcb, TAESKey256)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_DecryptStreamEcb, TAESKey128)->Arg(16 << 10);
BENCHMARK(BM_DecryptBlock128);
BENCHMARK(BM_DecipherStoredGuide);

BENCHMARK_MAIN();
