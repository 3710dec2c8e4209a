#pragma once

#include <QString>
#include <QUuid>
#include <optional>

namespace ostrel {

// This user's private folder (mode 0700) for segment files, "quorvantile-render-<uid>" in the temporary
// folder. Created when missing; no value, with the reason in *error, when it cannot be made private (for
// example a file, a link or someone else's folder of that name). Any thread.
std::optional<QString> quorvantilePrivateRenderDirectory(QString* error = nullptr);

// "quorvantile_segment_<ID>.mov" in `directory`, the ID in upper case.
QString quorvantileSegmentPath(const QString& directory, const QUuid& jobID);

// Whether `host` is safe to put into a URL and onto an ssh or scp command line: a DNS name (letters, digits,
// '-', '.', not starting with '-' or '.') or an IPv4/IPv6 address literal without brackets or zone. Any
// thread.
bool quorvantileIsValidRenderHost(const QString& host);

// Short name of a node: its name up to the first space. Worker name: ".local" removed, cut at the first '.'.
QString quorvantileRenderShortName(const QString& nodeName);
QString quorvantileRenderWorkerName(const QString& nodeName);

} // namespace ostrel
