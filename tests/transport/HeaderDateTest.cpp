#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "transport/HttpRequest.h"

namespace {

// 6 November 1994 08:49:37 UTC as a date-time: 34644 days after 30 December 1899.
constexpr double Instant = 34644.0 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
constexpr double Second = 1.0 / 86400.0;

}  // namespace

TEST(TransportHeaderDate, TheThreeFormsOfOneInstantAgree) {
    const char* forms[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "  sun, 06 nov 1994 08:49:37 gmt  "};
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        EXPECT_NEAR(HeaderDateToLocalTime(form), Instant - LocalBiasDays(), Second / 100);
    }
}

TEST(TransportHeaderDate, YearsZonesAndMidnight) {
    struct TCase {
        const char* Value;
        double Utc;  // the instant in UTC
    };
    const double day2079 = 65386.0;  // 6 Jan 2079
    const TCase cases[] = {
        {"Fri, 06-Jan-79 00:00:00 GMT", day2079},
        {"Sun, 06-Jan-80 00:00:00 GMT", 29226.0},  // 6 Jan 1980
        {"Sun, 06 Nov 1994 08:49:37 +0200", Instant - 2.0 / 24},
        {"Sun, 06 Nov 1994 08:49:37 -0130", Instant + 1.5 / 24},
        {"Sun, 06 Nov 1994 08:49:37 CET", Instant},
        {"06 Nov 1994", 34644.0},
        {"29 Feb 2000 12:00:00 GMT", 36585.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        EXPECT_NEAR(HeaderDateToLocalTime(c.Value), c.Utc - LocalBiasDays(), Second / 100);
    }
}

TEST(TransportHeaderDate, FailuresGiveZero) {
    const char* values[] = {"",
                            "   ",
                            "Sun, 06 Foo 1994 08:49:37 GMT",
                            "Sun, 06 Nov 1994 25:49:37 GMT",
                            "Sun, 06 Nov 1994 08:60:37 GMT",
                            "Sun, 31 Nov 1994 08:49:37 GMT",
                            "Mon, 29 Feb 1900 00:00:00 GMT",
                            "Sun, 00 Nov 1994 08:49:37 GMT",
                            "not a date"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        EXPECT_EQ(HeaderDateToLocalTime(value), 0.0);
    }
}

TEST(TransportHeaderDate, Helpers) {
    struct TCut {
        const char* Text;
        const char* Separator;
        bool Remove;
        const char* Token;
        const char* Rest;
    };
    const TCut cuts[] = {{"06-Nov-94", "-", true, "06", "Nov-94"},
                         {"06-Nov-94", "-", false, "06", "06-Nov-94"},
                         {"alone", " ", true, "alone", ""},
                         {"alone", " ", false, "alone", "alone"},
                         {" lead", " ", true, "", "lead"}};
    for (const auto& c : cuts) {
        ByteString text = c.Text;
        EXPECT_EQ(CutToken(text, c.Separator, c.Remove), c.Token);
        EXPECT_EQ(text, c.Rest);
    }
    EXPECT_EQ(WeekdayNumber("sun"), 1);
    EXPECT_EQ(WeekdayNumber("SAT"), 7);
    EXPECT_EQ(WeekdayNumber("Sunday"), 0);
    EXPECT_EQ(MonthNumber("jan"), 1);
    EXPECT_EQ(MonthNumber("Dec"), 12);
    EXPECT_EQ(MonthNumber("June"), 0);
    EXPECT_EQ(MonthNumber(""), 0);

    struct TZone {
        const char* Text;
        double Offset;
    };
    const TZone zones[] = {{"+0200", 2.0 / 24}, {"-0130", -1.5 / 24}, {" +0545 extra", 5.75 / 24},
                           {"GMT", 0},          {"+2400", 0},         {"+0060", 0},
                           {"+02", 0},          {"+ab00", 0},         {"", 0}};
    for (const auto& z : zones) {
        SCOPED_TRACE(z.Text);
        EXPECT_NEAR(ZoneSuffixToOffset(z.Text), z.Offset, 1e-12);
    }
}

TEST(TransportHeaderDate, LocalBiasFollowsTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    struct TCase {
        const char* Zone;
        double BiasHours;
    };
    const TCase cases[] = {{"UTC0", 0}, {"XST-3", -3}, {"YST+5:30", 5.5}};
    for (const auto& c : cases) {
        setenv("TZ", c.Zone, 1);
        tzset();
        EXPECT_NEAR(LocalBiasDays(), c.BiasHours / 24, 1e-12) << c.Zone;
    }
    setenv("TZ", "XST-3", 1);
    tzset();
    EXPECT_NEAR(HeaderDateToLocalTime("Sun, 06 Nov 1994 08:49:37 GMT"), Instant + 3.0 / 24, Second / 100);
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
