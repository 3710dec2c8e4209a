#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

// The answering rules of the "tovarine-engine" scheme, free of the web engine so they are tested alone.
// Any thread; pure apart from reading the requested file.
namespace tovarine::EngineSchemeRules {

inline constexpr char kScheme[] = "tovarine-engine";
inline constexpr char kPositionsKey[] = "__data/scan_positions.f32";
inline constexpr char kTrianglesKey[] = "__data/scan_triangles.u32";

struct Answer
{
    int status = 404; // 200 or 404
    QString key;      // the percent-decoded URL path without its leading slashes
    QString mimeType; // "text/plain" for a 404
    QByteArray body;  // "not found" for a 404
    QString logLine;  // for a 404: "tovarine.morvel: engine file not found: <key>"
};

// Content type by the lower-cased text after the last "." of the last path component:
// mjs/js, wasm, html, json, md/txt; anything else "application/octet-stream".
QString mime(const QString& path);

// Key = the URL's percent-decoded path with every leading "/" dropped (the host is ignored). A blob under the
// key wins; else, when `root` is not empty, the file root/key is read whole, provided its cleaned path lies
// strictly under the cleaned root (".." cannot climb out; the root itself is not under it). Anything else,
// or a failed read, is the 404 answer with its log line.
Answer answer(const QUrl& url, const QHash<QString, QByteArray>& blobs, const QString& root);

} // namespace tovarine::EngineSchemeRules
