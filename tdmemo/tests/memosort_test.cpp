#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tdmemo/memosort.h"
#include "tdmemo/schedule.h"

namespace {

struct Item {
    int id;
    ECHOMEMOLISTENTRY entry;
};

ECHOMEMOLISTENTRY Entry(const char* description, int frequency, int played, uint32_t next,
                        int notify, int length) {
    ECHOMEMOLISTENTRY e{};
    SetMemoListPath(&e, QStringLiteral("/m/%1.wav").arg(description));
    SetMemoListDescription(&e, QString::fromLatin1(description));
    e.memo.frequency = frequency;
    e.memo.played = played;
    e.memo.notify = notify;
    e.nextTime = next;
    e.length = length;
    return e;
}

std::vector<Item> Sample() {
    std::vector<Item> items;
    std::mt19937 random(7);
    const char* names[] = {"alpha", "Alpha", "beta", "BETA", "gamma", ""};
    for (int i = 0; i < 60; ++i) {
        const int kind = int(random() % 7);
        items.push_back({i, Entry(names[random() % 6], kind, int(random() % 2), 1000 + random() % 4,
                                  int(random() % 2), int(random() % 3))});
    }
    return items;
}

std::vector<int> Ids(const std::vector<Item>& items) {
    std::vector<int> ids;
    for (const Item& i : items)
        ids.push_back(i.id);
    return ids;
}

// Irreflexive, asymmetric, transitive, and "neither before the other" transitive too:
// what std::sort needs of a comparison. The Notify rule that looks at one memo only, and a
// Next Playback rule that puts both of two played memos after the other, fail here.
TEST(MemoSort, EveryColumnIsAStrictWeakOrder) {
    const std::vector<Item> items = Sample();
    for (int column = 0; column < kMemoColumnCount; ++column) {
        for (const Item& a : items) {
            EXPECT_FALSE(MemoBefore(a.entry, a.entry, column)) << column;
            for (const Item& b : items) {
                const bool ab = MemoBefore(a.entry, b.entry, column);
                const bool ba = MemoBefore(b.entry, a.entry, column);
                EXPECT_FALSE(ab && ba) << column;
                for (const Item& c : items) {
                    const bool bc = MemoBefore(b.entry, c.entry, column);
                    if (ab && bc) {
                        EXPECT_TRUE(MemoBefore(a.entry, c.entry, column)) << column;
                    }
                    const bool eqAB = !ab && !ba;
                    const bool eqBC = !bc && !MemoBefore(c.entry, b.entry, column);
                    if (eqAB && eqBC) {
                        EXPECT_FALSE(MemoBefore(a.entry, c.entry, column) ||
                                     MemoBefore(c.entry, a.entry, column))
                            << column;
                    }
                }
            }
            if (HasFailure())
                return;
        }
    }
}

TEST(MemoSort, NextPlaybackPutsMemosWithoutATimeLastAscendingAndFirstDescending) {
    std::vector<Item> items = {{0, Entry("played", MEMO_ONCE, 1, 2145913199, 0, 1)},
                               {1, Entry("late", MEMO_DAILY, 0, 3000, 0, 1)},
                               {2, Entry("user", MEMO_USER_INITIATED, 0, 2145913199, 0, 1)},
                               {3, Entry("early", MEMO_HOURLY, 0, 2000, 0, 1)}};
    SortMemos(&items, kMemoColumnNextPlayback, true);
    EXPECT_EQ(Ids(items), (std::vector<int>{3, 1, 0, 2}));
    SortMemos(&items, kMemoColumnNextPlayback, false);
    EXPECT_EQ(Ids(items), (std::vector<int>{0, 2, 1, 3}));
}

// Equal values keep their order in both directions: sorting by a column where every
// memo is alike changes nothing.
TEST(MemoSort, EqualValuesKeepTheirOrder) {
    std::vector<Item> items;
    for (int i = 0; i < 40; ++i)
        items.push_back({i, Entry(i % 2 ? "Same" : "same", MEMO_DAILY, 0, 5000, 1, 3)});
    const std::vector<int> before = Ids(items);
    for (int column = 0; column < kMemoColumnCount; ++column) {
        SortMemos(&items, column, true);
        EXPECT_EQ(Ids(items), before) << column;
        SortMemos(&items, column, false);
        EXPECT_EQ(Ids(items), before) << column;
    }
    SortMemos(&items, 17, true);  // no such column: nothing moves
    EXPECT_EQ(Ids(items), before);
}

TEST(MemoSort, DescriptionIgnoresCaseAndTheOtherColumnsCompareNumbers) {
    std::vector<Item> items = {{0, Entry("beta", MEMO_YEARLY, 0, 1, 1, 9)},
                               {1, Entry("Alpha", MEMO_ONCE, 0, 1, 0, 2)},
                               {2, Entry("ALPHA", MEMO_DAILY, 0, 1, 1, 5)}};
    SortMemos(&items, kMemoColumnDescription, true);
    EXPECT_EQ(Ids(items), (std::vector<int>{1, 2, 0}));
    SortMemos(&items, kMemoColumnDescription, false);
    EXPECT_EQ(Ids(items), (std::vector<int>{0, 1, 2}));
    SortMemos(&items, kMemoColumnNotify, true);
    EXPECT_EQ(Ids(items), (std::vector<int>{1, 0, 2}));
    SortMemos(&items, kMemoColumnFrequency, true);
    EXPECT_EQ(Ids(items), (std::vector<int>{1, 2, 0}));
    SortMemos(&items, kMemoColumnLength, false);
    EXPECT_EQ(Ids(items), (std::vector<int>{0, 2, 1}));
}

}  // namespace
