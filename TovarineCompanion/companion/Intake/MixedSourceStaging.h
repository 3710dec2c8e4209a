#pragma once

#include <QString>
#include <optional>

// Captures can hold two kinds of frames side by side: `frame_` files (the phone's continuous capture) and
// `hires_` stills. Such a capture is fed to the session through a staging folder of symbolic links to one
// kind only. Any thread (file-system work only).
namespace tovarine::MixedSourceStaging {

struct Staged
{
    QString path; // <tempDir>/tovarine-recon-<UUID>, symbolic links named like their targets
    QString note; // the status line saying which kind is used
};

// Counts the jpg/jpeg entries (any letter case; HEIC does not count) named `frame_*` and `hires_*`
// (case-sensitive). With both kinds present, links the stills when there are 20 or more, else the frames,
// into a fresh staging folder. Nothing (and no folder left behind) when the folder cannot be listed, only one
// kind is present, or the folder or a link cannot be made.
std::optional<Staged> stage(const QString& imagesPath, const QString& tempDir);

} // namespace tovarine::MixedSourceStaging
