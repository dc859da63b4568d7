// The display's show time: minutes, seconds and milliseconds, rounded to the
// nearest millisecond (carrying into the next second and minute), minutes
// past 59 counted on, nothing below zero, and a short buffer cut, not overrun;
// the frame rate line.
#include "app/hud.h"
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <string>

static std::string showTime(float seconds, int size = 32)
{
    char out[32];
    memset(out, '#', sizeof out);
    formatShowTime(seconds, out, size);
    return out;
}

TEST(HudShowTime, MinutesSecondsAndMilliseconds)
{
    EXPECT_EQ("00:00.000", showTime(0.0f));
    EXPECT_EQ("01:01.500", showTime(61.5f));
    EXPECT_EQ("00:07.250", showTime(7.25f));
    EXPECT_EQ("01:00.000", showTime(59.9996f));   // 59999.6 ms rounds up into the next minute
    EXPECT_EQ("00:59.999", showTime(59.9994f));
    EXPECT_EQ("62:03.250", showTime(3723.25f));
    EXPECT_EQ("00:00.000", showTime(-1.0f));
    EXPECT_EQ("00:00.000", showTime(NAN));
    EXPECT_EQ("01:0", showTime(61.5f, 5));   // cut to the buffer, terminated
}

TEST(HudFrameRate, TheRateIsTheFramesInASecond)
{
    char out[96];
    formatFrameRate(40.0f, 3, out, sizeof out);
    EXPECT_STREQ("40.0 ms  25.0 fps  GL errors 3", out);
    formatFrameRate(0.0f, 0, out, sizeof out);   // no frame timed yet
    EXPECT_STREQ("0.0 ms  0.0 fps  GL errors 0", out);
}
