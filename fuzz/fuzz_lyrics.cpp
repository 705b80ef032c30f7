// Arbitrary bytes as an LRC text: parsing, rendering and every lookup must
// neither crash nor break the document's invariants, and the lookups must agree
// with the plain walk from the first line.
#include "LRCHandle.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TLyricHandle doc;
    doc.SetText(text);

    const int count = doc.Count();
    std::int32_t next = 2147483647;
    for (int i = count - 1; i >= 0; --i) {
        const TLyricItem line = doc.GetItem(i);
        Check(line.EndTime == next - 1);
        Check(line.TimeLabel == FormatTimeLabel(line.Time));
        Check(i == 0 || doc.GetItem(i - 1).Time <= line.Time);
        next = line.Time;
    }

    const std::string rendered = doc.GetText();
    Check(count == 0 ? rendered.empty() : !rendered.empty());
    TLyricHandle again;
    again.SetText(rendered);
    (void)again.GetText();

    // A few positions around every line start.
    for (int i = 0; i < count && i < 64; ++i) {
        const std::int32_t t = doc.GetItem(i).Time;
        for (const std::int32_t pos : {t - 1, t, t + 1}) {
            std::string text;
            std::int32_t start = 0;
            bool found = false;
            for (int j = 0; j < count; ++j) {
                const TLyricItem line = doc.GetItem(j);
                if (!found && line.Time <= pos && pos <= line.EndTime) {
                    start = line.Time;
                    found = true;
                }
            }
            for (int j = 0; j < count && doc.GetItem(j).Time <= pos; ++j)
                text = doc.GetItem(j).Text;
            Check(doc.LineStartAt(pos) == start);
            Check(doc.LineTextAt(pos) == text);
        }
    }
    doc.SetLineShownAt(count > 0 ? doc.GetItem(0).Time : 0, false);
    doc.SetShowAll(false);
    doc.SortByTime();
    return 0;
}
