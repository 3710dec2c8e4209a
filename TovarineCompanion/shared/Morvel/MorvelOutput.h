#pragma once

#include "Expected.h"
#include "MorvelPreview.h"
#include "MorvelReply.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovarine {

// What decoding and writing a reply gave.
struct MorvelOutcome
{
    MorvelReply reply;
    std::optional<MorvelPreview> preview; // only when ok and limit, cage and files are all present
    std::int64_t writeMs = 0;             // time spent on the three files; 0 when nothing was attempted
    std::optional<QString> writeError;    // the error that stopped the writes
};

// Turns the engine's reply into the preview geometry and the three cage files beside the result.
// Any thread except that it writes files in `dir`; keeps no state.
namespace MorvelOutput {

inline constexpr char kThreeDmName[] = "model_morvel.3dm";
inline constexpr char kVellacotName[] = "model_morvel.vellacot";
inline constexpr char kSettingsName[] = "model_morvel_settings.json";

// Decodes `json` (MorvelReply::decode). When ok and limit, cage and files are present: builds the preview
// and writes, each atomically and stopping at the first error, model_morvel.3dm (files.threeDm
// Base64-decoded), model_morvel.vellacot (files.vellacot as UTF-8) and model_morvel_settings.json (the reply
// less "files", "limit" and "cage", plus "app" = `appTimings` parsed and "files" = the two names; keys
// sorted, indented). Fails (nothing written) only when the reply cannot be decoded. A preview part whose
// indices are not all below its vertex count (limit.triangles, cage.edges; an array that is not valid Base64
// counts as empty) comes back empty, cage crease weights included, and the files are written all the same.
// Write problems never fail the call: they come back in writeError, and the files written before the problem
// stay.
Expected<MorvelOutcome, QString> decodeAndWrite(const QString& json, const QString& dir,
                                                const QByteArray& appTimings);

// Strict standard Base64 (RFC 4648 alphabet, padded, nothing else); nothing when the text breaks the rule.
std::optional<QByteArray> strictBase64(const QString& text);

// Base64 text to 4-byte little-endian elements; invalid Base64 or fewer than 4 bytes give an empty array,
// and one to three trailing bytes are ignored.
std::vector<std::uint32_t> words(const QString& base64);
std::vector<float> floats(const QString& base64);

} // namespace MorvelOutput

} // namespace tovarine
