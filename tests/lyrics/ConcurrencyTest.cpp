// One thread appends lines (as the sentence scan does) while another reads
// through the lookups; run under ThreadSanitizer by the test script.
#include "LRCHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Concurrency, AppendWhileReading)
{
    TLyricHandle doc;
    std::atomic<bool> done{false};
    constexpr int kLines = 3000;

    std::thread writer([&] {
        for (int i = 0; i < kLines; ++i)
            doc.Add(TLyricItem{"", "", i * 100, i * 100 + 99, lvDefault});
        doc.Clear();
        for (int i = 0; i < kLines; ++i)
            doc.Add(TLyricItem{"", "", i * 100, i * 100 + 99, lvDefault});
        done = true;
    });

    int checks = 0;
    while (!done || checks == 0) {
        const int count = doc.Count();
        const std::int32_t pos = (checks * 7919) % (kLines * 100);
        const std::int32_t start = doc.LineStartAt(pos);
        const std::int32_t end = doc.LineEndAt(pos);
        // A line either holds the position completely or there is none yet.
        if (start != 0 || end != 2147483647) {
            EXPECT_LE(start, pos);
            EXPECT_GE(end, pos);
        }
        EXPECT_EQ(doc.LineTextAt(pos), "");
        (void)doc.GetText();
        EXPECT_LE(count, kLines);
        ++checks;
    }
    writer.join();
    EXPECT_EQ(doc.Count(), kLines);
    EXPECT_EQ(doc.LineStartAt(12345), 12300);
}

TEST(Concurrency, LinesAddedTogetherAreSeenTogether)
{
    TLyricHandle doc;
    std::vector<TLyricItem> batch;
    for (int i = 0; i < 2000; ++i)
        batch.push_back(TLyricItem{"", "", i * 10, i * 10 + 9, lvDefault});
    std::atomic<bool> done{false};
    std::thread writer([&] {
        doc.AddLines(batch);
        done = true;
    });
    while (!done) {
        const int count = doc.Count();
        EXPECT_TRUE(count == 0 || count == 2000) << count;
    }
    writer.join();
    EXPECT_EQ(doc.LineStartAt(19995), 19990);  // still searched by halves: the batch is in order
}
