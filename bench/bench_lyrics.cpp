// The lyric document on a 100,000-line text: parsing, one million current-line
// lookups and rendering, each beside the plain walk / literal rendering on the
// same document. Results are checked equal before anything is timed.
#include "LRCHandle.h"
#include "ReferenceLyrics.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kLines = 100000;

// A song-like text: every line tagged, a fifth of the lines repeating one of a
// few chorus lines, some lines with two tags.
const std::string& LargeLrc()
{
    static const std::string text = [] {
        std::mt19937 random(5);
        std::string lrc = "[ti:Bench]\r\n[ar:Someone]\r\n";
        std::int64_t ms = 0;
        for (int i = 0; i < kLines; ++i) {
            ms += 500 + static_cast<int>(random() % 4000);
            lrc += "[" + FormatTimeLabel(static_cast<std::int32_t>(ms % 359999990)) + "]";
            if (random() % 5 == 0)
                lrc += "chorus line " + std::to_string(random() % 8);
            else
                lrc += "verse line number " + std::to_string(i) + " with some words";
            lrc += "\r\n";
        }
        return lrc;
    }();
    return text;
}

const TLyricHandle& LargeDocument()
{
    static TLyricHandle doc;
    static const bool loaded = [] {
        doc.SetText(LargeLrc());
        return true;
    }();
    (void)loaded;
    return doc;
}

std::vector<std::int32_t> Positions(std::size_t count)
{
    std::mt19937 random(9);
    const std::int32_t last = LargeDocument().GetItem(LargeDocument().Count() - 1).Time;
    std::vector<std::int32_t> positions(count);
    for (auto& pos : positions)
        pos = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(last + 10000));
    return positions;
}

void BM_Parse(benchmark::State& state)
{
    const std::string& lrc = LargeLrc();
    for (auto _ : state) {
        TLyricHandle doc;
        doc.SetText(lrc);
        benchmark::DoNotOptimize(doc.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(lrc.size()));
}

void BM_LineTextAt_Million(benchmark::State& state)
{
    const TLyricHandle& doc = LargeDocument();
    const auto positions = Positions(1000000);
    for (auto _ : state)
        for (const std::int32_t pos : positions)
            benchmark::DoNotOptimize(doc.LineTextAt(pos));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000000);
}

// The plain walk is far slower: timed on 2,000 lookups; items/s compares.
void BM_LineTextAt_PlainWalk(benchmark::State& state)
{
    const auto lines = reference::LinesOf(LargeDocument());
    const auto positions = Positions(2000);
    for (auto _ : state)
        for (const std::int32_t pos : positions)
            benchmark::DoNotOptimize(reference::LineTextAt(lines, true, pos));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2000);
}

void BM_GetText(benchmark::State& state)
{
    const TLyricHandle& doc = LargeDocument();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.GetText());
}

void BM_GetText_Literal(benchmark::State& state)
{
    TLyricHandle& doc = const_cast<TLyricHandle&>(LargeDocument());
    const std::string header = doc.GetHeaderText();
    const auto lines = reference::LinesOf(doc);
    for (auto _ : state)
        benchmark::DoNotOptimize(reference::GetText(header, lines));
}

// Same answers before timing: a faster version that differs is worthless.
void CheckSameResults()
{
    TLyricHandle& doc = const_cast<TLyricHandle&>(LargeDocument());
    const auto lines = reference::LinesOf(doc);
    for (const std::int32_t pos : Positions(3000)) {
        if (doc.LineTextAt(pos) != reference::LineTextAt(lines, true, pos) ||
            doc.LineStartAt(pos) != reference::LineStartAt(lines, pos)) {
            std::fprintf(stderr, "lookup differs at %d\n", pos);
            std::exit(1);
        }
    }
    if (doc.GetText() != reference::GetText(doc.GetHeaderText(), lines)) {
        std::fprintf(stderr, "GetText differs from the literal rendering\n");
        std::exit(1);
    }
    std::fprintf(stderr, "results identical: %d lines\n", doc.Count());
}

}  // namespace

BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineTextAt_Million)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineTextAt_PlainWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetText_Literal)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CheckSameResults();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
