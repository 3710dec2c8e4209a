#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tovarine {

// A cage fit at the phone's recorded settings, read from the result folder's "phone_morvel_settings.json".
struct PhoneMorvelRedo
{
    QJsonObject options;                    // the standard dictionary, adjusted by the phone's hints
    std::int64_t targetQuads = 3000;        // the quad target put into the options, at least 30
    std::optional<std::int64_t> phoneQuads; // the phone fit's top-level "quads", when it is a number

    // Reads the file synchronously on the calling thread (any thread). Every fault (missing, unreadable,
    // not JSON, wrong shape) gives nothing; a member of the wrong kind is skipped. Never logs.
    static std::optional<PhoneMorvelRedo> load(const QString& resultDir);
    // The same rules over the file's bytes.
    static std::optional<PhoneMorvelRedo> fromJson(const QByteArray& bytes);
};

} // namespace tovarine
