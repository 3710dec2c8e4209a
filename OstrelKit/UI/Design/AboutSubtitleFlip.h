#pragma once

#include <QString>
#include <QStringList>

// The About window's flipping tagline: the text split into user-perceived characters, and the one-letter
// case flip made on each tick. Pure functions; any thread.
namespace ostrel::AboutSubtitleFlip {

// The user-perceived characters (grapheme clusters) of `source`, in order.
QStringList letters(const QString& source);

// Flips the case of the character at `index`: an uppercase letter becomes its lowercase mapping, any other
// letter its uppercase mapping (full mapping, kept as one element even when longer). A non-letter (digit,
// blank, punctuation, emoji) and an index out of range change nothing. Returns whether the element changed.
bool flipAt(QStringList& letters, qsizetype index);

// One tick of the animation: draws an index uniformly from the list with the system's random generator and
// flips it. Does nothing on an empty list. Returns whether the element changed.
bool tick(QStringList& letters);

} // namespace ostrel::AboutSubtitleFlip
