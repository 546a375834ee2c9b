// Output formatted in slices on worker threads: its order, its pieces, and how it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "files/SliceWriter.h"

namespace {

constexpr std::size_t kNone = SIZE_MAX;

// Slice k holds numbered lines; every tenth is long enough to be handed on in pieces.
void FormatNumbered(std::size_t k, SliceBuffer& out) {
    const std::size_t lines = k % 10 == 3 ? 300000 : k + 1;
    char* p = out.Start();
    for (std::size_t i = 0; i < lines; ++i) {
        p = out.Room(p, 48);
        p += std::snprintf(p, 48, "%zu %zu\n", k, i);
    }
    out.Finish(p);
}

}  // namespace

// Every way of writing gives the slices in order; a failing sink is not called again, a
// formatter that throws on a worker fails the writing instead of ending the program, and
// the workers run only a few slices ahead of the writing, whatever happens.
TEST(SliceWriter, SlicesArriveInOrderAndAnyFailureEndsTheWriting) {
    const std::size_t count = 40;
    std::string all;
    std::vector<std::size_t> ends;  // where each slice ends in `all`
    for (std::size_t k = 0; k < count; ++k) {
        SliceBuffer b;
        FormatNumbered(k, b);
        all += b.View();
        ends.push_back(all.size());
    }
    struct Case {
        int workers;
        std::size_t failingCall, throwingSlice;
    };
    for (const Case& c : {Case{0, kNone, kNone}, Case{1, kNone, kNone}, Case{2, kNone, kNone},
                          Case{5, kNone, kNone}, Case{0, 4, kNone}, Case{2, 0, kNone},
                          Case{2, 4, kNone}, Case{3, 44, kNone}, Case{0, kNone, 7},
                          Case{2, kNone, 0}, Case{2, kNone, 7}, Case{3, kNone, 39}}) {
        SCOPED_TRACE(testing::Message() << c.workers << " workers, call " << c.failingCall
                                        << " fails, slice " << c.throwingSlice << " throws");
        std::string got;
        std::size_t calls = 0;
        std::atomic<std::size_t> slicesWritten = 0;
        const SliceFormatter format = [&](std::size_t k, SliceBuffer& out) {
            EXPECT_LE(k, slicesWritten + std::size_t(c.workers) * 2 + 2);
            if (k == c.throwingSlice) throw std::bad_alloc();
            FormatNumbered(k, out);
        };
        const bool ok = WriteSlicesInOrder(
            count, format,
            [&](std::string_view piece) {
                EXPECT_LE(calls, c.failingCall) << "called after failing";
                if (calls++ == c.failingCall) return false;
                EXPECT_LE(piece.size(), std::size_t(1) << 20);
                EXPECT_EQ(piece.back(), '\n');
                got += piece;
                while (slicesWritten < count && ends[slicesWritten] <= got.size()) ++slicesWritten;
                return true;
            },
            c.workers);
        const bool fails = c.failingCall != kNone || c.throwingSlice != kNone;
        EXPECT_EQ(ok, !fails);
        if (fails) {
            EXPECT_TRUE(all.starts_with(got));
            if (c.failingCall != kNone) {
                EXPECT_EQ(calls, c.failingCall + 1);
            } else {
                EXPECT_LE(got.size(), c.throwingSlice == 0 ? 0 : ends[c.throwingSlice - 1]);
            }
        } else {
            EXPECT_TRUE(got == all);
        }
    }
}

// Slices written by their own threads where they belong: every byte lands in its place
// whatever the number of threads, no place is written twice, a failing write fails the
// writing, and a formatter that throws leaves nothing written past its slice.
TEST(SliceWriter, PlacedSlicesLandWhereTheyBelong) {
    const std::size_t count = 40;
    std::string all;
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < count; ++k) {
        SliceBuffer b;
        FormatNumbered(k, b);
        starts.push_back(all.size());
        all += b.View();
    }
    struct Case {
        int workers;
        std::size_t failingWrite, throwingSlice;
    };
    for (const Case& c : {Case{0, kNone, kNone}, Case{1, kNone, kNone}, Case{2, kNone, kNone},
                          Case{5, kNone, kNone}, Case{2, 5, kNone}, Case{3, kNone, 17},
                          Case{0, 3, kNone}}) {
        SCOPED_TRACE(testing::Message() << c.workers << " workers");
        std::string got(all.size(), '\0');
        std::mutex mutex;
        std::vector<std::pair<int64_t, std::size_t>> writes;
        const bool ok = WriteSlicesPlaced(
            count,
            [&](std::size_t k, SliceBuffer& out) {
                if (k == c.throwingSlice) throw std::bad_alloc();
                FormatNumbered(k, out);
            },
            [&](std::string_view bytes, int64_t at) {
                std::lock_guard lock(mutex);
                writes.push_back({at, bytes.size()});
                if (writes.size() - 1 == c.failingWrite) return false;
                EXPECT_LE(std::size_t(at) + bytes.size(), all.size());
                got.replace(std::size_t(at), bytes.size(), bytes);
                return true;
            },
            c.workers);
        EXPECT_EQ(ok, c.failingWrite == kNone && c.throwingSlice == kNone);
        std::sort(writes.begin(), writes.end());
        for (std::size_t i = 1; i < writes.size(); ++i)
            EXPECT_GE(writes[i].first, writes[i - 1].first + int64_t(writes[i - 1].second));
        if (ok) {
            EXPECT_TRUE(got == all);
        }
        if (c.throwingSlice != kNone && !writes.empty()) {
            EXPECT_LE(std::size_t(writes.back().first) + writes.back().second, starts[c.throwingSlice]);
        }
    }
}
