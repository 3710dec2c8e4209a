#pragma once

#include <QString>

namespace tovarine {

// The ways a print-preparation mesh tool can fail; each tool wraps it in its own nested Failure, which words
// the message for the file it writes.
struct MeshToolFailure
{
    enum class Kind {
        read,      // the input could not be read or is not UTF-8 text; `text` holds the cause
        write,     // an output could not be written; `text` holds the cause
        empty,     // no usable geometry before or after the weld
        thickness, // the thickness asked for is zero or below, not a number, or absurdly large
        range,     // a vertex in use lies kMaxCoordinateMm or more from the origin; `text` names it
        cancelled, // the caller's stop token was triggered; nothing further was written
    };
    Kind kind = Kind::empty;
    QString text;

    // The message for `writeWhat` ("thinmap", "shell", "grown mesh"): "couldn't read mesh: …",
    // "couldn't write <writeWhat>: …", "mesh had no usable geometry", …
    QString describe(const QString& writeWhat) const;
};

} // namespace tovarine
