#include "solar/timetext.h"

#include <gtest/gtest.h>

#include <string>

namespace pimu::solar {
namespace {

struct Case {
    double t;
    const char *expected;
};

TEST(FormatHM, TruncatesMinutes) {
    const Case cases[] = {
        {8.5, "08:30"}, {9.99, "09:59"}, {16.0, "16:00"}, {7.0 + 59.9 / 60, "07:59"}};
    for (const auto &c : cases) EXPECT_EQ(c.expected, FormatHM(c.t)) << c.t;
}

TEST(FormatHMS, RaisesSecondsToFiveAndCarries) {
    const Case cases[] = {
        {8.5, "08:30'00\""},
        {8.999, "09:00'00\""},  // 59 min 56.4 s: carried twice
        {8 + 1.0 / 60 + 1.0 / 3600, "08:01'05\""},
        {8 + 1.0 / 60 + 10.0 / 3600, "08:01'10\""},
        {9 + 59.0 / 60 + 57.0 / 3600, "10:00'00\""},
        {0.25, "00:15'00\""},
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, FormatHMS(c.t)) << c.t;
}

TEST(FormatClock, UnpaddedHoursPaddedMinutesAndSeconds) {
    const Case cases[] = {
        {9.25, "9:15:00"},
        {12 - 1.498 / 60, "11:58:30"},
        {10 + 5.0 / 60 + 7.0 / 3600, "10:05:07"},  // seconds are not raised
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, FormatClock(c.t)) << c.t;
}

// Instants are produced by adding the step again and again; a sum a hair below the minute must
// still be labelled with that minute.
TEST(TimeTexts, AccumulatedStepsKeepTheirMinute) {
    for (double step : {0.1, 1.0 / 6, 1.0 / 60}) {
        double t = 8.0;
        for (int i = 1; i <= 40; ++i) {
            t += step;
            const int total = static_cast<int>(8 * 60 + step * 60 * i + 0.5);
            char hm[16];
            std::snprintf(hm, sizeof hm, "%02d:%02d", total / 60, total % 60);
            ASSERT_EQ(hm, FormatHM(t)) << "step " << step << " i " << i;
            ASSERT_EQ(std::string(hm) + "'00\"", FormatHMS(t)) << "step " << step << " i " << i;
        }
    }
}

}  // namespace
}  // namespace pimu::solar
