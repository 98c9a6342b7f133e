#include "transport/HeaderDate.h"

#include <cctype>
#include <ctime>
#include <stdexcept>

#include "base/Text.h"

namespace {

ByteString UpperCase(ByteString text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

ByteString TrimLeft(const ByteString& text) {
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') ++start;
    return text.substr(start);
}

// Days from 30 December 1899 to the given date; throws for a date outside the calendar.
double EncodeDate(int year, int month, int day) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12) throw std::range_error("date");
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = lengths[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day < 1 || day > length) throw std::range_error("date");
    // Days since the civil epoch 1970-01-01, then shifted to 1899-12-30.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days + 25569);
}

}  // namespace

ByteString CutToken(ByteString& text, const ByteString& separator, bool remove) {
    const size_t at = text.find(separator);
    if (at == ByteString::npos) {
        ByteString token = text;
        if (remove) text.clear();
        return token;
    }
    ByteString token = text.substr(0, at);
    if (remove) text.erase(0, at + separator.size());
    return token;
}

int WeekdayNumber(const ByteString& text) {
    static const char* const names[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const ByteString upper = UpperCase(text);
    for (int k = 0; k < 7; ++k)
        if (upper == names[k]) return k + 1;
    return 0;
}

int MonthNumber(const ByteString& text) {
    static const char* const names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const ByteString upper = UpperCase(text);
    for (int k = 0; k < 12; ++k)
        if (upper == names[k]) return k + 1;
    return 0;
}

TDateTime ZoneSuffixToOffset(const ByteString& text) {
    const ByteString s = Trim(text).substr(0, 5);
    if (s.empty() || (s[0] != '+' && s[0] != '-')) return 0;
    int32_t hours = 0, minutes = 0;
    if (s.size() < 5 || !IsIntegerText(s.substr(1, 2), hours) || !IsIntegerText(s.substr(3, 2), minutes))
        return 0;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return 0;
    const double offset = hours / 24.0 + minutes / 1440.0;
    return s[0] == '-' ? -offset : offset;
}

TDateTime LocalBiasDays() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_gmtoff is local minus UTC, daylight saving included.
    return -static_cast<double>(local.tm_gmtoff) / 86400.0;
}

TDateTime HeaderDateToLocalTime(const ByteString& value) {
    ByteString s = Trim(value);
    if (s.empty()) return 0;
    double result = 0;
    try {
        if (WeekdayNumber(s.substr(0, 3)) != 0) {
            CutToken(s, " ", true);
            s = TrimLeft(s);
        }
        ByteString separator = " ";
        const size_t hyphen = s.find('-');
        const size_t blank = s.find(' ');
        if (hyphen != ByteString::npos && hyphen + 1 >= 2 && blank != ByteString::npos && hyphen < blank)
            separator = "-";

        int day = 1, month = 0;
        auto readDay = [&] {
            day = IntegerValue(CutToken(s, separator, true), 1);
            s = TrimLeft(s);
        };
        auto readMonth = [&] {
            month = MonthNumber(CutToken(s, separator, true));
            s = TrimLeft(s);
        };
        if (MonthNumber(CutToken(s, separator, false)) != 0) {
            readMonth();
            readDay();
        } else {
            readDay();
            readMonth();
        }

        ByteString token = CutToken(s, " ", true);
        int32_t year = IntegerValue(token, 1900);
        if (year == 1900) {
            year = IntegerValue(s, 1900);
            s = token;
        }
        auto shortYear = static_cast<uint16_t>(year);
        if (shortYear < 80)
            shortYear = static_cast<uint16_t>(shortYear + 2000);
        else if (shortYear < 100)
            shortYear = static_cast<uint16_t>(shortYear + 1900);
        result = EncodeDate(shortYear, month, day);

        if (s.find(':') != ByteString::npos) {
            ByteString time = CutToken(s, " ", true);
            const int32_t hours = IntegerValue(CutToken(time, ":", true), 0);
            const int32_t minutes = IntegerValue(CutToken(time, ":", true), 0);
            const int32_t seconds = IntegerValue(CutToken(time, " ", true), 0);
            if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
                return 0;
            result += (hours * 3600 + minutes * 60 + seconds) / 86400.0;
        }
        s = TrimLeft(s);
    } catch (const std::exception&) {
        return 0;
    }
    const double offset = s.size() >= 5 ? ZoneSuffixToOffset(s) : 0.0;
    return result - offset - LocalBiasDays();
}
