#pragma once

#include "base/Text.h"

// Days since 30 December 1899; the fraction is the time of day. 0 stands for no date.
using TDateTime = double;

// Response header dates.

// Decodes an HTTP date (RFC 1123, RFC 850 or asctime form, optional numeric zone suffix) into
// local time; 0 when the value is empty or not a date.
TDateTime HeaderDateToLocalTime(const ByteString& value);
// The token before the first separator (all of the text without one); with remove set the text
// becomes what follows the separator (empty without one).
ByteString CutToken(ByteString& text, const ByteString& separator, bool remove);
// 1 to 7 for "SUN" to "SAT", case-insensitive, else 0.
int WeekdayNumber(const ByteString& text);
// 1 to 12 for "JAN" to "DEC", case-insensitive, else 0.
int MonthNumber(const ByteString& text);
// "+hhmm" or "-hhmm" as days, else 0.
TDateTime ZoneSuffixToOffset(const ByteString& text);
// UTC minus local time, in days, as at this moment (daylight saving included).
TDateTime LocalBiasDays();
