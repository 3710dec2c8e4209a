#include "OstrelValueFormat.h"

#include <QByteArray>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>
#include <string>

namespace ostrel::OstrelValueFormat {

namespace {
constexpr long long kMaxWidth = kMaxWidthOrPrecision;

// Only ASCII digits: the C library reads no other script's digits as a width.
bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

std::optional<QString> problem(const QString& format)
{
    int conversions = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != QLatin1Char('%')) {
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == QLatin1Char('%')) {
            continue;
        }
        while (i < format.size() && QStringLiteral("-+ #0").contains(format[i])) {
            ++i;
        }
        // Width and precision are bounded: a huge one would make the formatted text huge.
        const auto number = [&format, &i] {
            long long n = 0;
            while (i < format.size() && isAsciiDigit(format[i])) {
                n = std::min<long long>(n * 10 + format[i].digitValue(), kMaxWidth + 1);
                ++i;
            }
            return n;
        };
        const long long width = number();
        long long precision = 0;
        if (i < format.size() && format[i] == QLatin1Char('.')) {
            ++i;
            precision = number();
        }
        if (width > kMaxWidth || precision > kMaxWidth) {
            return QStringLiteral("The number format \"%1\" asks for a width or precision above %2.")
                .arg(format)
                .arg(kMaxWidth);
        }
        if (i >= format.size() || !QStringLiteral("fFeEgG").contains(format[i])) {
            return QStringLiteral(
                       "The number format \"%1\" has a conversion other than one for a decimal number.")
                .arg(format);
        }
        ++conversions;
    }
    if (conversions != 1) {
        return QStringLiteral(
                   "The number format \"%1\" must hold exactly one number conversion; it holds %2.")
            .arg(format)
            .arg(conversions);
    }
    return std::nullopt;
}

std::optional<QString> format(const QString& format, double value)
{
    if (problem(format)) {
        return std::nullopt;
    }
    // The C library's own rounding (of the exact binary value), in the C locale whatever the process's
    // locale is; the format was checked above to take exactly this one double.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = uselocale(cLocale);
    const QByteArray pattern = format.toUtf8();
    const int length = std::snprintf(nullptr, 0, pattern.constData(), value);
    std::string text(std::size_t(std::max(length, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern.constData(), value);
    uselocale(previous);
    text.resize(std::size_t(std::max(length, 0)));
    return QString::fromStdString(text);
}

std::optional<ShownNumber> shownNumber(const QString& text, qsizetype from)
{
    for (qsizetype start = std::max<qsizetype>(from, 0); start < text.size(); ++start) {
        qsizetype i = start;
        if (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')) {
            ++i;
        }
        const qsizetype wholeStart = i;
        while (i < text.size() && isAsciiDigit(text[i])) {
            ++i;
        }
        const bool whole = i > wholeStart;
        int decimals = 0;
        if (i < text.size() && text[i] == QLatin1Char('.')) {
            qsizetype j = i + 1;
            while (j < text.size() && isAsciiDigit(text[j])) {
                ++j;
            }
            decimals = int(std::min<qsizetype>(j - i - 1, kMaxWidthOrPrecision));
            if (whole || decimals > 0) {
                i = j;
            }
        }
        if (!whole && decimals == 0) {
            continue; // no digit here: a sign or point of the surrounding text
        }
        qsizetype end = i;
        int exponent = 0;
        if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
            qsizetype j = i + 1;
            const bool negative = j < text.size() && text[j] == QLatin1Char('-');
            if (j < text.size() && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+'))) {
                ++j;
            }
            const qsizetype digitsStart = j;
            long long magnitude = 0;
            while (j < text.size() && isAsciiDigit(text[j])) {
                magnitude = std::min<long long>(magnitude * 10 + text[j].digitValue(), 100000);
                ++j;
            }
            if (j > digitsStart) {
                exponent = int(negative ? -magnitude : magnitude);
                end = j;
            }
        }
        bool ok = false;
        const double value = text.mid(start, end - start).toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            return std::nullopt;
        }
        return ShownNumber{value,
                           int(std::clamp<long long>(static_cast<long long>(decimals) - exponent, 0, 400))};
    }
    return std::nullopt;
}

qsizetype literalPrefixLength(const QString& format)
{
    qsizetype length = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == QChar(0)) {
            break; // the C library's formatting ends there
        }
        if (format[i] == QLatin1Char('%')) {
            if (i + 1 < format.size() && format[i + 1] == QLatin1Char('%')) {
                ++i;
            } else {
                break;
            }
        }
        ++length;
    }
    return length;
}

} // namespace ostrel::OstrelValueFormat
