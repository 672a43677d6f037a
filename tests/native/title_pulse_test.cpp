// The About box title's pulse over long runs and across openings, and the
// type size fitted to a frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "about/TitlePulse.h"

namespace {

using about::FitTitleFont;
using about::FittedFontSize;
using about::TitlePulse;

// Ticks a pulse count times; returns how far each side has moved outward in
// total, and checks every single move is one pixel.
int TickMany(TitlePulse& pulse, int count)
{
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        const int step = pulse.Tick();
        EXPECT_TRUE(step == 1 || step == -1) << "tick " << pulse.Counter() << " moved " << step;
        offset += step;
    }
    return offset;
}

TEST(TitlePulse, GrowsFor49TicksThenShrinksAndGrowsIn50TickRuns)
{
    struct Stretch {
        int first;
        int last;
        int move;
    };
    const Stretch stretches[] = {{1, 49, +1}, {50, 99, -1}, {100, 149, +1}, {150, 199, -1}, {200, 249, +1}};
    TitlePulse pulse;
    for (const Stretch& s : stretches) {
        for (int tick = s.first; tick <= s.last; ++tick) {
            const int move = pulse.Tick();
            ASSERT_EQ(pulse.Counter(), tick);
            ASSERT_EQ(move, s.move) << "tick " << tick;
            ASSERT_EQ(pulse.Step(), move) << "the step kept after tick " << tick;
        }
    }
}

TEST(TitlePulse, EachSideSwingsBetween49OutsideAnd1Inside)
{
    TitlePulse pulse;
    int offset = 0;
    int widest = 0;
    int narrowest = 0;
    for (int tick = 1; tick <= 10000; ++tick) {
        offset += pulse.Tick();
        ASSERT_LE(offset, 49) << "tick " << tick;
        ASSERT_GE(offset, -1) << "tick " << tick;
        widest = std::max(widest, offset);
        narrowest = std::min(narrowest, offset);
        if (tick == 49) {
            EXPECT_EQ(offset, 49) << "the first swing peaks at tick 49";
        }
        if (tick == 99) {
            EXPECT_EQ(offset, -1) << "the first trough is at tick 99";
        }
    }
    EXPECT_EQ(widest, 49);
    EXPECT_EQ(narrowest, -1);
    // Tick 9999 ends a shrinking run (one pixel inside); tick 10000 turns.
    EXPECT_EQ(offset, 0);
}

TEST(TitlePulse, AnOpeningCarriesOnFromTheSavedCounterAndStep)
{
    // One opening stopped at tick 60, inside a shrinking run.
    TitlePulse& first = TitlePulse::Shared();
    const int start = first.Counter();
    ASSERT_EQ(start, 0) << "nothing else in this program ticks the shared pulse";
    EXPECT_EQ(TickMany(first, 60), 49 - 11);

    // The next opening sees the same state: it keeps shrinking to tick 99,
    // not growing from +1 again, then turns at 100.
    TitlePulse& second = TitlePulse::Shared();
    EXPECT_EQ(&second, &first);
    EXPECT_EQ(second.Counter(), 60);
    EXPECT_EQ(second.Step(), -1);
    EXPECT_EQ(TickMany(second, 39), -39) << "ticks 61 to 99";
    EXPECT_EQ(second.Tick(), 1) << "tick 100";
    EXPECT_EQ(second.Counter(), 100);
}

TEST(FitTitleFont, TypeSpansTheFrameLessOnePixelAndSharesTheWidth)
{
    struct Case {
        long right;
        long bottom;
        int length;
        long height;
        long width;
    };
    // Widths worked out by hand: right / (length + 2), rounded down.
    const Case cases[] = {
        {286, 50, 7, 49, 31},   // "Veltmor"
        {384, 148, 7, 147, 42}, // the same frame 49 pixels out on every side
        {284, 48, 7, 47, 31},   // and one pixel in
        {100, 20, 0, 19, 50},   // an empty title still divides by two
        {100, 20, 1, 19, 33},
        {9, 20, 7, 19, 1},      // exactly one pixel per share
        {8, 20, 7, 19, 0},      // narrower than the shares: width left to the font mapper
        {1000, 1, 3, 0, 200},   // a one-pixel frame asks for height 0
        {2610, 30, 259, 29, 10},
        {2609, 30, 259, 29, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.right) + "x" + std::to_string(c.bottom) + ", " +
                     std::to_string(c.length) + " characters");
        const FittedFontSize size = FitTitleFont(c.right, c.bottom, c.length);
        EXPECT_EQ(size.height, c.height);
        EXPECT_EQ(size.width, c.width);
    }
}

}  // namespace
