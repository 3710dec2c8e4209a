#include "OstrelValueFormat.h"

#include <QByteArray>

#include <algorithm>
#include <clocale>
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

} // namespace ostrel::OstrelValueFormat
