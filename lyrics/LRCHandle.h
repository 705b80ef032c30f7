// The in-memory LRC lyric document: a header of named tags and a list of timed
// lines. Text is bytes (code page 936 / GB18030 or whatever the file holds);
// the parser classifies every byte by its value alone.
//
// Threads: every public operation takes the document's own mutex, so one thread
// may append lines (the background sentence scan calls Add and Clear) while the
// GUI thread reads through the lookups; a reader never sees the list while it
// grows. Operations are individually atomic, nothing more: a caller that needs
// several reads to agree (Count, then GetItem) must tolerate lines appearing in
// between.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TStream;
class TMemoryStream;

// The header tags. Offset is stored and written back but shifts no time.
struct TLRCInfo {
    std::string Title;   // "ti"
    std::string By;      // "by"
    std::string La;      // "la"
    std::string Artist;  // "ar"
    std::string Album;   // "al"
    std::int32_t Offset = 0;  // "offset"

    bool operator==(const TLRCInfo&) const = default;
};

enum TLyricVisibility : std::uint8_t {
    lvDefault = 0,  // follows the document's ShowAll flag
    lvHidden = 1,   // never displayed
    lvShown = 2,    // always displayed
};

// One timed line; callers exchange copies.
struct TLyricItem {
    std::string Text;       // trimmed once the line has passed through SetItem
    std::string TimeLabel;  // FormatTimeLabel(Time) once the line has passed through SetItem
    std::int32_t Time = 0;      // start in milliseconds, may be negative
    std::int32_t EndTime = 0;   // last millisecond that belongs to the line
    TLyricVisibility Visibility = lvDefault;

    bool operator==(const TLyricItem&) const = default;
};

// Milliseconds as a label: [-][hh:][mm:]ss.xx, empty hour and minute fields left
// out (5000 -> "05.00", 62030 -> "01:02.03", 3600000 -> "01:00:00.00").
std::string FormatTimeLabel(std::int32_t ms);

// -1, 0 or 1: the sign of a.Time compared with b.Time.
int CompareLineTimes(const TLyricItem& a, const TLyricItem& b);

class TLyricHandle {
public:
    TLyricHandle() = default;
    ~TLyricHandle() = default;
    TLyricHandle(const TLyricHandle&) = delete;
    TLyricHandle& operator=(const TLyricHandle&) = delete;

    // ---- storage -----------------------------------------------------------
    // Removes every line and empties the header; ShowAll is kept.
    void Clear();
    int Count() const;
    // index 0..Count; EListError otherwise. Stores the item exactly as given.
    void Insert(int index, const TLyricItem& item);
    // Appends the item exactly as given (no sorting, no end time, no label).
    void Add(const TLyricItem& item);
    // Appends several items as one step: a reader sees all of them or none.
    void AddLines(const std::vector<TLyricItem>& items);
    void Delete(int index);                      // EListError outside the list
    TLyricItem GetItem(int index) const;         // EListError outside the list
    // Overwrites the line, then trims its text and sets its label from its time.
    void SetItem(int index, const TLyricItem& item);

    // Replaces the whole content with the parse of an LRC text. Never fails on
    // malformed text: what does not match the tag grammar is skipped or becomes
    // part of a line's text.
    void SetText(const std::string& text);
    // SetText of every byte from the stream's position to its end.
    void LoadFromStream(TStream& stream);

    TLRCInfo Info() const;
    void SetInfo(const TLRCInfo& info);
    bool ShowAll() const;

    // ---- timeline ----------------------------------------------------------
    bool HasLines() const;
    // Span search: the first line in list order with Time <= ms <= EndTime.
    // Start: its Time, 0 when none. End: its EndTime, 2147483647 when none.
    std::int32_t LineStartAt(std::int32_t ms) const;
    std::int32_t LineEndAt(std::int32_t ms) const;
    // Current-line search: walking from the first line while Time <= ms, the last
    // line walked (none when the first line starts after ms). EndTime is ignored.
    std::string LineTextAt(std::int32_t ms) const;
    bool IsLineShownAt(std::int32_t ms) const;
    void SetLineShownAt(std::int32_t ms, bool shown);
    // Sets ShowAll and returns every line to lvDefault.
    void SetShowAll(bool value);

    // ---- output ------------------------------------------------------------
    // Stable reorder by Time.
    void SortByTime();
    // The header tags, one per line; trims the five header strings in place.
    std::string GetHeaderText();
    // The whole document as LRC text; lines with the same text share one line
    // with all their labels. Leaves the document as it found it.
    std::string GetText() const;
    void SaveToStream(TStream& stream) const;
    // Creates (replaces) the file; EFCreateError when it cannot be created.
    void SaveToFile(const std::string& fileName) const;
    // The lines starting in [start, end), re-based to start, under the given
    // header, as LRC text in a new stream positioned at its end. Also writes the
    // scratch file "kkk.lrc" in the current directory.
    std::unique_ptr<TMemoryStream> ExtractSegment(std::int32_t start, std::int32_t end, const TLRCInfo& header) const;

private:
    // Unlocked bodies; callers hold FLock.
    void ClearLocked();
    void SetItemLocked(std::size_t index, const TLyricItem& item);
    void NoteInsertedAt(std::size_t index);
    void RecheckOrder();
    void SortLinesLocked();
    void SortByTimeLocked();
    static std::string HeaderTextOf(TLRCInfo& info);
    std::string GetTextLocked() const;
    std::ptrdiff_t SpanLineAt(std::int32_t ms) const;     // -1: none
    std::ptrdiff_t CurrentLineAt(std::int32_t ms) const;  // -1: none
    void CheckIndex(long long index, std::size_t limit) const;

    mutable std::mutex FLock;
    TLRCInfo FInfo;
    std::vector<TLyricItem> FLines;
    bool FShowAll = true;
    // Kept exact on every edit so the lookups may search by halves: lines are
    // in non-decreasing Time order, and their EndTimes are non-decreasing too.
    // False only ever means "use the plain walk".
    bool FTimesAscending = true;
    bool FEndsAscending = true;

    friend struct LyricParser;
};
