#pragma once

#include <QString>
#include <QtGlobal>

// Friendly adjective-noun names ("quiet-teacup") for captures that carry no usable name of their own.
// Pure functions; any thread.
namespace tovarine::Wordbank {

// The adjective at |value| mod 42, a hyphen, and the noun at (|value| div 31) mod 42.
QString name(qint64 value);

// 64-bit FNV-1a over the UTF-8 bytes of `text`, masked to its low 31 bits (never negative): the argument
// for name() when a name is derived from a machine-made text.
qint64 seed(const QString& text);

// True for machine-made names that should not become folder names: all-numeric texts, UUIDs, and texts of
// more than 20 characters made only of hexadecimal digits and hyphens.
bool looksLikeIdentifier(const QString& text);

} // namespace tovarine::Wordbank
