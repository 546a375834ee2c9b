// The record writer's numbers: the same characters as the standard library's formatting.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "files/TextFileIo.h"

namespace {

std::string Fixed(double v) {
    RecordText t;
    t.Fixed(v);
    return std::string(t.View());
}

std::string Library(double v) {
    char text[2100];
    return std::string(text, std::to_chars(text, text + sizeof text, v,
                                           std::chars_format::fixed, 6).ptr);
}

}  // namespace

// Coordinates, exact ties between two millionths, values that round to a signed zero, the
// edges of the integer rounding and random bit patterns all read as %.6lf writes them.
TEST(RecordText, FixedWritesWhatTheLibraryWrites) {
    for (double v : {0.0, -0.0, 1e-7, -1e-7, 5e-7, -5e-7, 0.0078125, -0.0234375, 2.5e-6,
                     123456.7890625, 9.2233720368547758e18, 1.8446744073709552e19, 1e300,
                     -1e-300, 4.9406564584124654e-324, HUGE_VAL, -HUGE_VAL, std::nan("")})
        EXPECT_EQ(Fixed(v), Library(v)) << v;
    std::mt19937_64 rng(26);
    std::uniform_real_distribution<double> coordinate(-1e6, 1e6);
    for (int i = 0; i < 200000; ++i) {
        uint64_t bits = rng();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        const double dyadic = std::ldexp(double(int64_t(rng() % 2000001) - 1000000), -int(rng() % 40));
        for (double v : {any, coordinate(rng), dyadic}) ASSERT_EQ(Fixed(v), Library(v)) << v;
    }
}

TEST(RecordText, IntWritesDigitsRightAligned) {
    struct Case {
        int64_t v;
        int width;
        const char* text;
    };
    for (const Case& c : {Case{0, 0, "0"}, Case{7, 5, "    7"}, Case{-42, 5, "  -42"},
                          Case{123456, 5, "123456"}, Case{INT64_MIN, 0, "-9223372036854775808"},
                          Case{INT64_MAX, 3, "9223372036854775807"}}) {
        RecordText t;
        t.Int(c.v, c.width);
        EXPECT_EQ(t.View(), c.text) << c.v;
    }
    // Numbers below 10^8 are written as two halves of four digits: each half takes all its
    // values, at every length, right-aligned or not, as printf writes it.
    for (int64_t k = 0; k < 10000; ++k) {
        for (int64_t v : {k, k * 10000 + k * 37 % 10000, k * 10000}) {
            for (int width : {0, 2, 5}) {
                RecordText t;
                t.Int(v, width);
                char text[32];
                std::snprintf(text, sizeof text, "%*lld", width, static_cast<long long>(v));
                ASSERT_EQ(t.View(), text) << v << " " << width;
            }
        }
    }
}
