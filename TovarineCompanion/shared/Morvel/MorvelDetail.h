#pragma once

#include <QJsonObject>
#include <QString>
#include <array>
#include <optional>

namespace tovarine {

// The three cage detail levels, in the order of the panel's picker.
enum class MorvelDetail { preview, standard, fine };

// Helpers of MorvelDetail. Any thread; pure.
namespace MorvelDetails {

inline constexpr std::array<MorvelDetail, 3> kAllCases{MorvelDetail::preview, MorvelDetail::standard,
                                                       MorvelDetail::fine};

// "preview", "standard", "fine".
QString rawValue(MorvelDetail detail);
// The level of an exact raw value; nothing for any other string (letter case counts).
std::optional<MorvelDetail> fromRawValue(const QString& raw);
// "Preview 600", "Standard 3000", "Fine 8000".
QString title(MorvelDetail detail);
// The host's hard stop for the level: 300, 900 or 1800 seconds.
int timeLimitSeconds(MorvelDetail detail);
// A new engine options dictionary for the level (eleven keys).
QJsonObject options(MorvelDetail detail);

} // namespace MorvelDetails

// The engine settings of the quick preview fit, which the preview level reuses.
namespace MorvelPreviewSettings {
// The eight engine keys "targetQuads" ... "limitLevel" of the preview level.
QJsonObject options();
} // namespace MorvelPreviewSettings

// The time limit of a redo from the phone's settings, in seconds.
inline constexpr int kPhoneRedoTimeLimitSeconds = 1800;

} // namespace tovarine
