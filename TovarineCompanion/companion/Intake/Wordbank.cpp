#include "Wordbank.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <array>
#include <unicode/uchar.h>

namespace tovarine::Wordbank {

namespace {

constexpr std::array<const char*, 42> kAdjectives = {
    "quiet",    "bronze",   "chalked", "woven",    "folded",    "sunlit", "dusted", "creased", "silvered",
    "inked",    "kiln",     "paper",   "stone",    "driftwood", "linen",  "lamp",   "plain",   "hollowed",
    "hammered", "patinaed", "brick",   "glazed",   "ruled",     "wax",    "slate",  "oyster",  "ember",
    "kelp",     "rinsed",   "pressed", "graphite", "amber",     "velvet", "marble", "walnut",  "tin",
    "morning",  "evening",  "muted",   "cedar",    "birch",     "thistle"};

// "handle" appears twice (31 and 36); both entries stay so every index keeps its word.
constexpr std::array<const char*, 42> kNouns = {
    "teacup", "pebble",   "bowl",   "vessel",  "token",      "shard",  "plate",    "form",  "tovarine",
    "study",  "fragment", "marker", "casting", "impression", "relief", "artifact", "model", "block",
    "pin",    "cast",     "rung",   "tile",    "stake",      "box",    "lantern",  "spool", "bead",
    "ring",   "knob",     "hinge",  "latch",   "handle",     "spike",  "coin",     "seal",  "cipher",
    "handle", "key",      "nib",    "bobbin",  "husk",       "leaf"};

QStringList graphemes(const QString& text)
{
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        result.append(text.mid(start, end - start));
        start = end;
    }
    return result;
}

bool isHexDigit(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F') ||
           (c >= U'\uFF10' && c <= U'\uFF19') || (c >= U'\uFF21' && c <= U'\uFF26') ||
           (c >= U'\uFF41' && c <= U'\uFF46');
}

// A character is numeric when its first code point has a Unicode Numeric_Type: digits of every script,
// fractions, and numeral ideographs such as U+4E09 (three) and U+4E07 (ten thousand), which are letters by
// general category and so not QChar::isNumber.
bool isNumeric(const QString& character)
{
    const QList<uint> scalars = character.toUcs4();
    return !scalars.isEmpty() &&
           u_getIntPropertyValue(UChar32(scalars.front()), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isUuid(const QString& text)
{
    static const QRegularExpression kUuid(
        QStringLiteral("\\A[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\z"));
    return kUuid.match(text).hasMatch();
}

} // namespace

QString name(qint64 value)
{
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    return QString::fromLatin1(kAdjectives[magnitude % 42]) + QLatin1Char('-') +
           QString::fromLatin1(kNouns[(magnitude / 31) % 42]);
}

qint64 seed(const QString& text)
{
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char byte : text.toUtf8()) {
        hash ^= quint64(quint8(byte));
        hash *= 0x100000001b3ULL;
    }
    return qint64(hash & 0x7fffffffULL);
}

bool looksLikeIdentifier(const QString& text)
{
    if (text.isEmpty()) {
        return false;
    }
    const QStringList characters = graphemes(text);
    if (std::all_of(characters.begin(), characters.end(), isNumeric)) {
        return true;
    }
    if (isUuid(text)) {
        return true;
    }
    if (characters.size() > 20) {
        if (characters.contains(QStringLiteral(" ")) || characters.contains(QStringLiteral("_"))) {
            return false;
        }
        return std::all_of(characters.begin(), characters.end(), [](const QString& character) {
            const QList<uint> scalars = character.toUcs4();
            return scalars.size() == 1 && (scalars.front() == U'-' || isHexDigit(scalars.front()));
        });
    }
    return false;
}

} // namespace tovarine::Wordbank
