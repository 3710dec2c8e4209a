#include "AboutSubtitleFlip.h"

#include <QRandomGenerator>
#include <QTextBoundaryFinder>

namespace ostrel::AboutSubtitleFlip {

QStringList letters(const QString& source)
{
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, source);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        result.append(source.mid(start, end - start));
        start = end;
    }
    return result;
}

bool flipAt(QStringList& letters, qsizetype index)
{
    if (index < 0 || index >= letters.size()) {
        return false;
    }
    const QString& character = letters.at(index);
    const char32_t first = character.toUcs4().value(0);
    if (!QChar::isLetter(first)) {
        return false;
    }
    const QString flipped = QChar::isUpper(first) ? character.toLower() : character.toUpper();
    if (flipped == character) {
        return false;
    }
    letters[index] = flipped;
    return true;
}

bool tick(QStringList& letters)
{
    if (letters.isEmpty()) {
        return false;
    }
    const auto index = qsizetype(QRandomGenerator::system()->bounded(quint32(letters.size())));
    return flipAt(letters, index);
}

} // namespace ostrel::AboutSubtitleFlip
