#include "LRCHandle.h"

#include "Exceptions.h"
#include "Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace {

constexpr std::int32_t kNoEnd = std::numeric_limits<std::int32_t>::max();  // 2147483647

bool IsBlankByte(unsigned char c) { return c <= 32; }

std::string Trimmed(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlankByte(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && IsBlankByte(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

std::string TwoDigits(long long value)
{
    std::string digits = std::to_string(value);
    return digits.size() == 1 ? "0" + digits : digits;
}

// Reads an offset value: optional sign, then decimal digits, or hexadecimal
// digits after "$", "x" or "0x". The whole text must be used and the value must
// fit a signed 32-bit integer.
bool ReadOffsetValue(const std::string& text, std::int32_t& value)
{
    std::size_t p = 0;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    int base = 10;
    if (p < text.size() && text[p] == '$') {
        base = 16;
        ++p;
    } else if (p < text.size() && (text[p] == 'x' || text[p] == 'X')) {
        base = 16;
        ++p;
    } else if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p >= text.size())
        return false;
    long long magnitude = 0;
    for (; p < text.size(); ++p) {
        const char c = text[p];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > 2147483648LL)
            return false;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

// Milliseconds from a collected time-tag text such as "00:12.34", "-1:05" or "12".
std::int32_t TimeOfTagText(const std::string& tagText)
{
    std::size_t p = 0;
    const bool negative = !tagText.empty() && tagText[0] == '-';
    if (negative)
        p = 1;
    int fields[4] = {};
    int fieldCount = 0;
    char lastSeparator = 0;
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        std::size_t digits = 0;
        while (p < tagText.size() && tagText[p] >= '0' && tagText[p] <= '9') {
            value = (value * 10 + (tagText[p] - '0')) % 100;  // only the last two digits count
            ++p;
            ++digits;
        }
        if (p < tagText.size())
            lastSeparator = tagText[p];
        if (digits > 0)
            fields[fieldCount++] = value;
        if (p >= tagText.size())
            break;
        ++p;  // step over the separator
    }
    std::int32_t ms = 0;
    const int* f = fields;
    if (lastSeparator == '.') {
        switch (fieldCount) {
        case 4: ms = f[0] * 3600000 + f[1] * 60000 + f[2] * 1000 + f[3] * 10; break;
        case 3: ms = f[0] * 60000 + f[1] * 1000 + f[2] * 10; break;
        case 2: ms = f[0] * 1000 + f[1] * 10; break;
        case 1: ms = f[0] * 1000; break;
        default: break;
        }
    } else {
        switch (fieldCount) {
        case 4:
        case 3: ms = f[0] * 3600000 + f[1] * 60000 + f[2] * 1000; break;
        case 2: ms = f[0] * 60000 + f[1] * 1000; break;
        case 1: ms = f[0] * 1000; break;
        default: break;
        }
    }
    return negative ? -ms : ms;
}

// Minutes of the hour, seconds and hundredths ("nn:ss.zz") of a re-based time.
std::string SegmentLabel(std::int64_t ms)
{
    const std::int64_t ofDay = (ms < 0 ? -ms : ms) % 86400000;
    const std::int64_t minutes = ofDay / 60000 % 60;
    const std::int64_t seconds = ofDay / 1000 % 60;
    const std::int64_t hundredths = ofDay % 1000 / 10;
    return TwoDigits(minutes) + ":" + TwoDigits(seconds) + "." + TwoDigits(hundredths);
}

}  // namespace

// ---- labels and comparison --------------------------------------------------

std::string FormatTimeLabel(std::int32_t ms)
{
    const bool negative = ms < 0;
    const std::int64_t value = negative ? -static_cast<std::int64_t>(ms) : ms;
    const std::int64_t hundredths = value % 1000 / 10;
    const std::int64_t totalSeconds = value / 1000;
    const std::int64_t hours = totalSeconds / 3600;
    const std::int64_t minutes = totalSeconds % 3600 / 60;
    const std::int64_t seconds = totalSeconds % 60;

    const std::string hoursPiece = hours == 0 ? "" : TwoDigits(hours) + ":";
    std::string minutesPiece;
    if (minutes == 0)
        minutesPiece = hoursPiece.empty() ? "" : "00:";
    else
        minutesPiece = TwoDigits(minutes) + ":";
    const std::string label = hoursPiece + minutesPiece + TwoDigits(seconds) + "." + TwoDigits(hundredths);
    return negative ? "-" + label : label;
}

int CompareLineTimes(const TLyricItem& a, const TLyricItem& b)
{
    return a.Time < b.Time ? -1 : a.Time > b.Time ? 1 : 0;
}

// ---- the parser ---------------------------------------------------------------

// One left-to-right pass over the trimmed text, restarting at each "[".
// Positions are 1-based byte indexes, as in the tag grammar's description.
struct LyricParser {
    enum class Kind { None, Time };
    enum class Class { None, Digit, Letter, Punctuation, Blank };

    struct Token {
        Class cls = Class::None;
        std::size_t pos = 0;
        std::size_t length = 0;
    };

    TLyricHandle& doc;
    const std::string s;
    const std::size_t len;

    std::size_t scanPos = 1;
    std::size_t tagStart = 0;
    std::size_t tagEnd = 0;
    std::size_t previousEnd = 0;
    Kind kind = Kind::None;
    std::string collected;
    std::vector<std::string> pending;

    LyricParser(TLyricHandle& document, std::string trimmed)
        : doc(document), s(std::move(trimmed)), len(s.size()) {}

    unsigned char At(std::size_t pos) const { return static_cast<unsigned char>(s[pos - 1]); }

    static Class ClassOf(unsigned char c)
    {
        if (c >= '0' && c <= '9')
            return Class::Digit;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return Class::Letter;
        if ((c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126))
            return Class::Punctuation;
        return Class::Blank;
    }

    // Reads one token at the scan position. At the end of the text the token is
    // empty and the scan position stays where it was.
    Token ReadToken()
    {
        std::size_t p = scanPos;
        while (p <= len && ClassOf(At(p)) == Class::Blank)
            ++p;
        if (p > len)
            return {};
        const Class cls = ClassOf(At(p));
        if (cls == Class::Punctuation) {
            scanPos = p + 1;
            return {cls, p, 1};
        }
        // A run: the text's last byte joins only a run that starts on it.
        std::size_t q = p;
        while (q + 1 < len && ClassOf(At(q + 1)) == cls)
            ++q;
        scanPos = q + 1;
        return {cls, p, q - p + 1};
    }

    bool IsByte(const Token& token, char c) const
    {
        return token.cls == Class::Punctuation && At(token.pos) == static_cast<unsigned char>(c);
    }
    std::string TextOf(const Token& token) const { return s.substr(token.pos - 1, token.length); }

    std::size_t FindByte(char c, std::size_t from) const  // 0: not found
    {
        if (from < 1 || from > len)
            return 0;
        const std::size_t at = s.find(c, from - 1);
        return at == std::string::npos ? 0 : at + 1;
    }

    void Restart()
    {
        kind = Kind::None;
        collected.clear();
        tagStart = FindByte('[', tagStart + 1);
        if (tagStart != 0)
            scanPos = tagStart + 1;
    }

    enum class Attempt { Accepted, Restarted, Continue };

    // A time tag from the scan position; its text collects in `collected`.
    Attempt TryTimeTag()
    {
        kind = Kind::Time;
        if (At(scanPos) == '-') {
            collected += '-';
            ++scanPos;
        }
        auto digitRun = [this]() {
            const Token t = ReadToken();
            if (t.cls != Class::Digit)
                return false;
            collected += TextOf(t);
            return true;
        };
        auto restart = [this]() {
            Restart();
            return Attempt::Restarted;
        };
        auto accept = [this](const Token& closing) {
            tagEnd = closing.pos;
            return Attempt::Accepted;
        };
        auto fraction = [&]() {
            collected += '.';
            if (!digitRun())
                return restart();
            const Token t = ReadToken();
            if (IsByte(t, ']'))
                return accept(t);
            // Not closed: the search goes on from here with this tag's text kept.
            return Attempt::Continue;
        };

        // Up to three digit runs joined by ":", closed by "]" or followed by a fraction.
        if (!digitRun())
            return restart();
        for (int colons = 0;; ++colons) {
            const Token separator = ReadToken();
            if (IsByte(separator, ']'))
                return accept(separator);
            if (IsByte(separator, '.'))
                return fraction();
            if (colons == 2 || !IsByte(separator, ':'))
                return restart();
            collected += ':';
            if (!digitRun())
                return restart();
        }
    }

    static bool SameLetters(const std::string& bytes, const char* name)
    {
        const std::size_t n = std::strlen(name);
        if (bytes.size() != n)
            return false;
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c >= 'A' && c <= 'Z')
                c = static_cast<unsigned char>(c - 'A' + 'a');
            if (c != static_cast<unsigned char>(name[i]))
                return false;
        }
        return true;
    }

    // A header tag whose name starts at the scan position.
    bool TryHeaderTag()
    {
        static const char* const names[] = {"ti", "ar", "al", "by", "la", "offset"};
        for (const char* name : names) {
            const std::size_t n = std::strlen(name);
            if (!SameLetters(s.substr(scanPos - 1, n), name))
                continue;
            scanPos += n;
            const Token colon = ReadToken();
            if (!IsByte(colon, ':'))
                return false;
            const std::size_t closing = FindByte(']', scanPos);
            if (closing == 0)
                return false;
            const std::size_t cr = FindByte('\r', scanPos);
            const std::size_t valueEnd = (cr != 0 && cr < closing) ? cr : closing;
            StoreHeader(name, Trimmed(s.substr(scanPos - 1, valueEnd - scanPos)));
            // The kind is left as it was: right after an unclosed fraction it is
            // still "time", and the tag found then counts as a time tag with the
            // text collected so far (its end does not move).
            scanPos = closing;
            return true;
        }
        return false;
    }

    void StoreHeader(const std::string& name, const std::string& value)
    {
        TLRCInfo& info = doc.FInfo;
        if (name == "ti")
            info.Title = value;
        else if (name == "ar")
            info.Artist = value;
        else if (name == "al")
            info.Album = value;
        else if (name == "by")
            info.By = value;
        else if (name == "la")
            info.La = value;
        else
            ReadOffsetValue(value, info.Offset);  // an unreadable value leaves Offset as it was
    }

    // Finds the next tag; false when there is none.
    bool FindNextTag()
    {
        Restart();
        while (tagStart != 0 && len - tagStart >= 5 && scanPos < len) {
            const unsigned char c = At(scanPos);
            const Class cls = ClassOf(c);
            if (cls == Class::Digit || c == '-') {
                if (TryTimeTag() == Attempt::Accepted)
                    return true;
            } else if (cls == Class::Letter) {
                if (TryHeaderTag())
                    return true;
                Restart();
            } else {
                Restart();
            }
        }
        return false;
    }

    // Makes one line per pending time-tag text, all with the text that runs from
    // after the previous tag up to the first CR or `limit` (exclusive).
    void Flush(std::size_t limit)
    {
        const std::size_t from = previousEnd + 1;
        const std::size_t cr = FindByte('\r', std::max<std::size_t>(previousEnd, 1));
        const std::size_t end = (cr != 0 && cr < limit) ? cr : limit;
        const std::string text = end > from ? Trimmed(s.substr(from - 1, end - from)) : std::string();
        for (const std::string& tagText : pending) {
            TLyricItem item;
            item.Text = text;
            item.Time = TimeOfTagText(tagText);
            item.Visibility = lvDefault;
            doc.FLines.push_back(std::move(item));
        }
        pending.clear();
    }

    void Run()
    {
        if (len <= 3)
            return;
        while (FindNextTag()) {
            const bool isTime = kind == Kind::Time;
            if (!pending.empty()) {
                if (isTime && tagStart == previousEnd + 1)
                    pending.push_back(collected);
                else
                    Flush(tagStart);
            }
            if (isTime && pending.empty())
                pending.push_back(collected);
            previousEnd = tagEnd;
        }
        if (!pending.empty())
            Flush(len + 1);
    }
};

// ---- TLyricHandle: storage ------------------------------------------------------

void TLyricHandle::CheckIndex(long long index, std::size_t limit) const
{
    if (index < 0 || static_cast<unsigned long long>(index) >= limit)
        throw EListError(index);
}

void TLyricHandle::ClearLocked()
{
    FLines.clear();
    FInfo = TLRCInfo{};
    FTimesAscending = true;
    FEndsAscending = true;
}

void TLyricHandle::Clear()
{
    const std::lock_guard lock(FLock);
    ClearLocked();
}

int TLyricHandle::Count() const
{
    const std::lock_guard lock(FLock);
    return static_cast<int>(FLines.size());
}

void TLyricHandle::NoteInsertedAt(std::size_t index)
{
    const TLyricItem& item = FLines[index];
    if (index > 0) {
        FTimesAscending = FTimesAscending && FLines[index - 1].Time <= item.Time;
        FEndsAscending = FEndsAscending && FLines[index - 1].EndTime <= item.EndTime;
    }
    if (index + 1 < FLines.size()) {
        FTimesAscending = FTimesAscending && item.Time <= FLines[index + 1].Time;
        FEndsAscending = FEndsAscending && item.EndTime <= FLines[index + 1].EndTime;
    }
}

void TLyricHandle::RecheckOrder()
{
    FTimesAscending = true;
    FEndsAscending = true;
    for (std::size_t i = 1; i < FLines.size(); ++i) {
        FTimesAscending = FTimesAscending && FLines[i - 1].Time <= FLines[i].Time;
        FEndsAscending = FEndsAscending && FLines[i - 1].EndTime <= FLines[i].EndTime;
    }
}

void TLyricHandle::Insert(int index, const TLyricItem& item)
{
    const std::lock_guard lock(FLock);
    CheckIndex(index, FLines.size() + 1);
    FLines.insert(FLines.begin() + index, item);
    NoteInsertedAt(static_cast<std::size_t>(index));
}

void TLyricHandle::Add(const TLyricItem& item)
{
    const std::lock_guard lock(FLock);
    FLines.push_back(item);
    NoteInsertedAt(FLines.size() - 1);
}

void TLyricHandle::AddLines(const std::vector<TLyricItem>& items)
{
    const std::lock_guard lock(FLock);
    FLines.reserve(FLines.size() + items.size());
    for (const TLyricItem& item : items) {
        FLines.push_back(item);
        NoteInsertedAt(FLines.size() - 1);
    }
}

void TLyricHandle::Delete(int index)
{
    const std::lock_guard lock(FLock);
    CheckIndex(index, FLines.size());
    FLines.erase(FLines.begin() + index);
    if (!FTimesAscending || !FEndsAscending)
        RecheckOrder();
}

TLyricItem TLyricHandle::GetItem(int index) const
{
    const std::lock_guard lock(FLock);
    CheckIndex(index, FLines.size());
    return FLines[static_cast<std::size_t>(index)];
}

void TLyricHandle::SetItemLocked(std::size_t index, const TLyricItem& item)
{
    TLyricItem& line = FLines[index];
    const bool timesMoved = line.Time != item.Time || line.EndTime != item.EndTime;
    line = item;
    line.Text = Trimmed(line.Text);
    line.TimeLabel = FormatTimeLabel(line.Time);
    if (!timesMoved)
        return;
    if (FTimesAscending && FEndsAscending)
        NoteInsertedAt(index);
    else
        RecheckOrder();
}

void TLyricHandle::SetItem(int index, const TLyricItem& item)
{
    const std::lock_guard lock(FLock);
    CheckIndex(index, FLines.size());
    SetItemLocked(static_cast<std::size_t>(index), item);
}

void TLyricHandle::SetText(const std::string& text)
{
    const std::lock_guard lock(FLock);
    ClearLocked();
    LyricParser parser(*this, Trimmed(text));
    parser.Run();
    SortLinesLocked();

    // End times: each line ends one millisecond before the next one starts.
    std::int32_t next = kNoEnd;
    for (std::size_t i = FLines.size(); i-- > 0;) {
        TLyricItem& line = FLines[i];
        line.EndTime = next - 1;
        next = line.Time;
        line.Text = Trimmed(line.Text);
        line.TimeLabel = FormatTimeLabel(line.Time);
    }
    RecheckOrder();
}

void TLyricHandle::LoadFromStream(TStream& stream)
{
    const std::int64_t count = std::max<std::int64_t>(stream.Size() - stream.Position(), 0);
    std::string text(static_cast<std::size_t>(count), '\0');
    stream.ReadBuffer(text.data(), count);
    SetText(text);
}

TLRCInfo TLyricHandle::Info() const
{
    const std::lock_guard lock(FLock);
    return FInfo;
}

void TLyricHandle::SetInfo(const TLRCInfo& info)
{
    const std::lock_guard lock(FLock);
    FInfo = info;
}

bool TLyricHandle::ShowAll() const
{
    const std::lock_guard lock(FLock);
    return FShowAll;
}

// The order that the list's quicksort leaves, ties included: the middle line is
// the pivot, both ends step inwards and swap, the left part is sorted first and
// the right part continues the loop. Disjoint ranges do not affect each other,
// so an explicit work list replaces the recursion (no deep stack on long lists).
void TLyricHandle::SortLinesLocked()
{
    if (FLines.size() < 2)
        return;
    // Strictly ascending lines come out of the quicksort untouched.
    bool strictlyAscending = true;
    for (std::size_t i = 1; i < FLines.size() && strictlyAscending; ++i)
        strictlyAscending = FLines[i - 1].Time < FLines[i].Time;
    if (strictlyAscending)
        return;

    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> work;
    work.emplace_back(0, static_cast<std::ptrdiff_t>(FLines.size()) - 1);
    while (!work.empty()) {
        auto [left, right] = work.back();
        work.pop_back();
        std::ptrdiff_t i;
        do {
            i = left;
            std::ptrdiff_t j = right;
            const std::int32_t pivot = FLines[static_cast<std::size_t>((left + right) / 2)].Time;
            do {
                while (FLines[static_cast<std::size_t>(i)].Time < pivot)
                    ++i;
                while (FLines[static_cast<std::size_t>(j)].Time > pivot)
                    --j;
                if (i <= j) {
                    std::swap(FLines[static_cast<std::size_t>(i)], FLines[static_cast<std::size_t>(j)]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (left < j)
                work.emplace_back(left, j);
            left = i;
        } while (i < right);
    }
}

// ---- TLyricHandle: timeline -----------------------------------------------------

bool TLyricHandle::HasLines() const
{
    const std::lock_guard lock(FLock);
    return !FLines.empty();
}

std::ptrdiff_t TLyricHandle::SpanLineAt(std::int32_t ms) const
{
    if (FTimesAscending && FEndsAscending) {
        // Lines with Time <= ms are a prefix and lines with EndTime >= ms a
        // suffix; the first line of the suffix holds ms when it is in the prefix.
        const auto it = std::lower_bound(FLines.begin(), FLines.end(), ms,
            [](const TLyricItem& line, std::int32_t value) { return line.EndTime < value; });
        return (it != FLines.end() && it->Time <= ms) ? it - FLines.begin() : -1;
    }
    for (std::size_t i = 0; i < FLines.size(); ++i)
        if (FLines[i].Time <= ms && ms <= FLines[i].EndTime)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::ptrdiff_t TLyricHandle::CurrentLineAt(std::int32_t ms) const
{
    if (FTimesAscending) {
        const auto it = std::upper_bound(FLines.begin(), FLines.end(), ms,
            [](std::int32_t value, const TLyricItem& line) { return value < line.Time; });
        return (it - FLines.begin()) - 1;
    }
    std::size_t i = 0;
    while (i < FLines.size() && FLines[i].Time <= ms)
        ++i;
    return static_cast<std::ptrdiff_t>(i) - 1;
}

std::int32_t TLyricHandle::LineStartAt(std::int32_t ms) const
{
    const std::lock_guard lock(FLock);
    const std::ptrdiff_t i = SpanLineAt(ms);
    return i < 0 ? 0 : FLines[static_cast<std::size_t>(i)].Time;
}

std::int32_t TLyricHandle::LineEndAt(std::int32_t ms) const
{
    const std::lock_guard lock(FLock);
    const std::ptrdiff_t i = SpanLineAt(ms);
    return i < 0 ? kNoEnd : FLines[static_cast<std::size_t>(i)].EndTime;
}

std::string TLyricHandle::LineTextAt(std::int32_t ms) const
{
    const std::lock_guard lock(FLock);
    const std::ptrdiff_t i = CurrentLineAt(ms);
    if (i < 0)
        return {};
    const TLyricItem& line = FLines[static_cast<std::size_t>(i)];
    const bool shown = line.Visibility == lvShown || (line.Visibility == lvDefault && FShowAll);
    return shown ? line.Text : std::string();
}

bool TLyricHandle::IsLineShownAt(std::int32_t ms) const
{
    const std::lock_guard lock(FLock);
    const std::ptrdiff_t i = CurrentLineAt(ms);
    if (i < 0)
        return false;
    switch (FLines[static_cast<std::size_t>(i)].Visibility) {
    case lvShown: return true;
    case lvDefault: return FShowAll;
    default: return false;
    }
}

void TLyricHandle::SetLineShownAt(std::int32_t ms, bool shown)
{
    const std::lock_guard lock(FLock);
    const std::ptrdiff_t i = CurrentLineAt(ms);
    if (i < 0)
        return;
    TLyricItem item = FLines[static_cast<std::size_t>(i)];
    item.Visibility = shown ? lvShown : lvHidden;
    SetItemLocked(static_cast<std::size_t>(i), item);
}

void TLyricHandle::SetShowAll(bool value)
{
    const std::lock_guard lock(FLock);
    FShowAll = value;
    for (std::size_t i = 0; i < FLines.size(); ++i) {
        TLyricItem item = FLines[i];
        item.Visibility = lvDefault;
        SetItemLocked(i, item);
    }
}

// ---- TLyricHandle: output -------------------------------------------------------

void TLyricHandle::SortByTimeLocked()
{
    if (FLines.size() < 2)
        return;
    // Taking the earliest line again and again, the first of equals first, is
    // exactly a stable sort by time.
    std::stable_sort(FLines.begin(), FLines.end(),
        [](const TLyricItem& a, const TLyricItem& b) { return a.Time < b.Time; });
    RecheckOrder();
}

void TLyricHandle::SortByTime()
{
    const std::lock_guard lock(FLock);
    SortByTimeLocked();
}

std::string TLyricHandle::HeaderTextOf(TLRCInfo& info)
{
    info.Title = Trimmed(info.Title);
    info.By = Trimmed(info.By);
    info.La = Trimmed(info.La);
    info.Artist = Trimmed(info.Artist);
    info.Album = Trimmed(info.Album);

    std::string text;
    if (!info.La.empty())
        text += "[La:" + info.La + "]\r\n";
    if (!info.Title.empty())
        text += "[Ti:" + info.Title + "]\r\n";
    if (!info.Album.empty())
        text += "[Al:" + info.Album + "]\r\n";
    if (!info.Artist.empty())
        text += "[Ar:" + info.Artist + "]\r\n";
    if (!info.By.empty())
        text += "[By:" + info.By + "]\r\n";
    if (info.Offset != 0)
        text += "[Offset:" + std::to_string(info.Offset) + "]";
    while (!text.empty() && IsBlankByte(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::string TLyricHandle::GetHeaderText()
{
    const std::lock_guard lock(FLock);
    return HeaderTextOf(FInfo);
}

std::string TLyricHandle::GetTextLocked() const
{
    if (FLines.empty())
        return {};
    // Works on copies, so the document keeps its header and line order.
    TLRCInfo header = FInfo;
    std::vector<const TLyricItem*> sorted;
    sorted.reserve(FLines.size());
    for (const TLyricItem& line : FLines)
        sorted.push_back(&line);
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const TLyricItem* a, const TLyricItem* b) { return a->Time < b->Time; });

    // Lines with the same text share the line of the earliest one, labels in time order.
    struct Group {
        const std::string* text;
        std::string labels;
    };
    std::vector<Group> groups;
    std::unordered_map<std::string_view, std::size_t> groupOfText;
    groupOfText.reserve(sorted.size());
    for (const TLyricItem* line : sorted) {
        const auto [it, added] = groupOfText.try_emplace(line->Text, groups.size());
        if (added)
            groups.push_back({&line->Text, {}});
        std::string& labels = groups[it->second].labels;
        labels += '[';
        labels += line->TimeLabel;
        labels += ']';
    }

    std::string text = HeaderTextOf(header) + "\r\n";
    for (const Group& group : groups) {
        text += group.labels;
        text += *group.text;
        text += "\r\n";
    }
    return text;
}

std::string TLyricHandle::GetText() const
{
    const std::lock_guard lock(FLock);
    return GetTextLocked();
}

void TLyricHandle::SaveToStream(TStream& stream) const
{
    stream.WriteString(GetText());
}

void TLyricHandle::SaveToFile(const std::string& fileName) const
{
    const std::string text = GetText();
    TFileStream file(fileName, TFileStream::Mode::Create);
    file.WriteString(text);
    file.Close();
}

std::unique_ptr<TMemoryStream> TLyricHandle::ExtractSegment(std::int32_t start, std::int32_t end,
                                                            const TLRCInfo& header) const
{
    TLyricHandle segment;
    segment.FInfo = header;
    {
        const std::lock_guard lock(FLock);
        for (std::size_t i = FLines.size(); i-- > 0;) {
            const TLyricItem& line = FLines[i];
            if (line.Time >= end)
                continue;
            TLyricItem copy = line;
            if (line.Time >= start) {
                // Re-based; wraps like the 32-bit field it is stored in.
                const std::int64_t rebased = static_cast<std::int64_t>(line.Time) - start;
                copy.Time = static_cast<std::int32_t>(static_cast<std::uint32_t>(rebased));
                copy.TimeLabel = SegmentLabel(copy.Time);
                segment.FLines.push_back(std::move(copy));
                continue;
            }
            if (line.EndTime > start) {
                copy.Time = 0;
                copy.TimeLabel = SegmentLabel(0);
                segment.FLines.push_back(std::move(copy));
            }
            break;
        }
    }
    segment.SaveToFile("kkk.lrc");
    auto stream = std::make_unique<TMemoryStream>();
    segment.SaveToStream(*stream);
    return stream;
}
