#include "htmlview/CssColors.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "htmlview/CssText.h"

using namespace csstext;

namespace {

std::optional<TRgba> RgbFunction(const std::vector<std::string_view>& arguments) {
    if (arguments.size() < 3 || arguments.size() > 4) return std::nullopt;
    double channel[4] = {0, 0, 0, 1};
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string unit;
        if (!Number(arguments[i], channel[i], unit) || (!unit.empty() && unit != "%")) return std::nullopt;
        if (unit == "%") channel[i] = i < 3 ? channel[i] * 2.55 : channel[i] / 100;
    }
    return TRgba{std::clamp(channel[0], 0.0, 255.0), std::clamp(channel[1], 0.0, 255.0),
                 std::clamp(channel[2], 0.0, 255.0), std::clamp(channel[3], 0.0, 1.0)};
}

std::optional<TRgba> HslFunction(const std::vector<std::string_view>& arguments) {
    if (arguments.size() < 3 || arguments.size() > 4) return std::nullopt;
    double hue, saturation, lightness, alpha = 1;
    std::string unit;
    if (!Number(arguments[0], hue, unit)) return std::nullopt;
    if (unit == "turn")
        hue *= 360;
    else if (unit == "rad")
        hue *= 180 / M_PI;
    else if (unit == "grad")
        hue *= 0.9;
    else if (!unit.empty() && unit != "deg")
        return std::nullopt;
    if (!Number(arguments[1], saturation, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
    if (!Number(arguments[2], lightness, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
    if (arguments.size() == 4) {
        if (!Number(arguments[3], alpha, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
        if (unit == "%") alpha /= 100;
    }
    const QColor color = QColor::fromHslF(static_cast<float>(std::fmod(std::fmod(hue, 360) + 360, 360) / 360),
                                          static_cast<float>(std::clamp(saturation / 100, 0.0, 1.0)),
                                          static_cast<float>(std::clamp(lightness / 100, 0.0, 1.0)));
    return TRgba{color.redF() * 255.0, color.greenF() * 255.0, color.blueF() * 255.0,
                 std::clamp(alpha, 0.0, 1.0)};
}

std::optional<TRgba> HexColor(std::string_view digits) {
    if (digits.size() != 3 && digits.size() != 4 && digits.size() != 6 && digits.size() != 8)
        return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return std::nullopt;
    const bool shortForm = digits.size() <= 4;
    const size_t count = shortForm ? digits.size() : digits.size() / 2;
    double channel[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < count; ++i) {
        const std::string part = shortForm ? std::string(2, digits[i]) : std::string(digits.substr(2 * i, 2));
        channel[i] = static_cast<double>(std::strtol(part.c_str(), nullptr, 16));
    }
    return TRgba{channel[0], channel[1], channel[2], channel[3] / 255};
}

bool IsPassedColorKeyword(const std::string& lower) {
    static const char* const kKeywords[] = {"inherit",
                                            "buttonface",
                                            "threedface",
                                            "buttontext",
                                            "window",
                                            "windowtext",
                                            "highlight",
                                            "highlighttext",
                                            "captiontext",
                                            "activecaption",
                                            "infobackground",
                                            "infotext",
                                            "menu",
                                            "menutext",
                                            "threedshadow",
                                            "buttonshadow",
                                            "threedhighlight",
                                            "buttonhighlight",
                                            "threeddarkshadow",
                                            "graytext",
                                            "canvas",
                                            "canvastext",
                                            "linktext"};
    return std::find(std::begin(kKeywords), std::end(kKeywords), lower) != std::end(kKeywords);
}

}  // namespace

std::optional<TRgba> TColorReader::Value(std::string_view word, int depth) const {
    word = Stripped(word);
    if (word.empty() || depth > 8) return std::nullopt;
    const std::string lower = Lower(word);
    if (lower[0] == '#') return HexColor(std::string_view(lower).substr(1));
    if (StartsWith(lower, "rgb(") || StartsWith(lower, "rgba(")) return RgbFunction(Arguments(lower));
    if (StartsWith(lower, "hsl(") || StartsWith(lower, "hsla(")) return HslFunction(Arguments(lower));
    if (StartsWith(lower, "var(")) {
        const std::string resolved = Var(lower, depth);
        return resolved.empty() ? std::nullopt : Value(resolved, depth + 1);
    }
    if (lower == "transparent") return TRgba{0, 0, 0, 0};
    if (!std::all_of(lower.begin(), lower.end(), [](unsigned char c) { return std::isalpha(c); }))
        return std::nullopt;
    const QColor named =
        QColor::fromString(QString::fromLatin1(lower.data(), static_cast<qsizetype>(lower.size())));
    if (!named.isValid()) return std::nullopt;
    return TRgba{static_cast<double>(named.red()), static_cast<double>(named.green()),
                 static_cast<double>(named.blue()), 1};
}

std::string TColorReader::Text(std::string_view word) const {
    const std::string lower = Lower(Stripped(word));
    if (IsPassedColorKeyword(lower)) return lower;
    const auto value = Value(word);
    return value ? Format(*value) : std::string();
}

std::optional<TRgba> TColorReader::Gradient(std::string_view call) const {
    TRgba sum{0, 0, 0, 0};
    int stops = 0;
    for (std::string_view argument : Arguments(call))
        if (const auto stop = Value(argument)) {
            sum.r += stop->r;
            sum.g += stop->g;
            sum.b += stop->b;
            sum.a += stop->a;
            ++stops;
        }
    if (stops == 0) return std::nullopt;
    return TRgba{sum.r / stops, sum.g / stops, sum.b / stops, sum.a / stops};
}

std::string TColorReader::Format(const TRgba& color) {
    auto channel = [](double value) { return std::to_string(static_cast<int>(std::lround(value))); };
    if (color.a >= 0.999) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", static_cast<int>(std::lround(color.r)),
                      static_cast<int>(std::lround(color.g)), static_cast<int>(std::lround(color.b)));
        return hex;
    }
    char alpha[16];
    std::snprintf(alpha, sizeof alpha, "%.3f", color.a);
    return "rgba(" + channel(color.r) + ", " + channel(color.g) + ", " + channel(color.b) + ", " + alpha +
           ")";
}

std::string TColorReader::Var(std::string_view call, int depth) const {
    const size_t open = call.find('(');
    if (open == std::string_view::npos || call.back() != ')' || depth > 8) return {};
    std::string_view inside = call.substr(open + 1, call.size() - open - 2);
    const size_t comma = inside.find(',');
    const std::string name = Lower(Stripped(inside.substr(0, comma)));
    auto found = custom_.find(name);
    if (found != custom_.end()) return found->second;
    return comma == std::string_view::npos ? std::string() : std::string(Stripped(inside.substr(comma + 1)));
}
