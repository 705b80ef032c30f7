// The plain, literal versions of the lyric document's lookups and rendering:
// a walk from the first line, and rendering by repeated removal. The tests and
// the benchmark hold the document's faster versions against them.
#pragma once

#include "LRCHandle.h"

#include <string>
#include <vector>

namespace reference {

inline std::vector<TLyricItem> LinesOf(const TLyricHandle& doc)
{
    std::vector<TLyricItem> lines;
    for (int i = 0; i < doc.Count(); ++i)
        lines.push_back(doc.GetItem(i));
    return lines;
}

inline std::string LineTextAt(const std::vector<TLyricItem>& lines, bool showAll, std::int32_t pos)
{
    const TLyricItem* found = nullptr;
    for (const TLyricItem& line : lines) {
        if (line.Time > pos)
            break;
        found = &line;
    }
    if (!found)
        return {};
    const bool shown = found->Visibility == lvShown || (found->Visibility == lvDefault && showAll);
    return shown ? found->Text : std::string();
}

inline std::int32_t LineStartAt(const std::vector<TLyricItem>& lines, std::int32_t pos)
{
    for (const TLyricItem& line : lines)
        if (line.Time <= pos && pos <= line.EndTime)
            return line.Time;
    return 0;
}

// GetText by the book: sort by taking the earliest line again and again, then
// build each group by removing every later line with the same text.
inline std::string GetText(const std::string& headerText, std::vector<TLyricItem> lines)
{
    if (lines.empty())
        return {};
    std::vector<TLyricItem> sorted;
    while (!lines.empty()) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < lines.size(); ++i)
            if (lines[i].Time < lines[best].Time)
                best = i;
        sorted.push_back(lines[best]);
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(best));
    }
    std::string body;
    while (!sorted.empty()) {
        const std::string text = sorted.front().Text;
        std::string group = "[" + sorted.front().TimeLabel + "]";
        sorted.erase(sorted.begin());
        for (std::size_t i = 0; i < sorted.size();) {
            if (sorted[i].Text == text) {
                group += "[" + sorted[i].TimeLabel + "]";
                sorted.erase(sorted.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        body += group + text + "\r\n";
    }
    return headerText + "\r\n" + body;
}

}  // namespace reference
