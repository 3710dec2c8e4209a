#include "EngineSchemeRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tovarine::EngineSchemeRules {

QString mime(const QString& path)
{
    const QString last = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : last.mid(dot + 1).toLower();
    if (extension == QLatin1String("mjs") || extension == QLatin1String("js")) {
        return QStringLiteral("text/javascript");
    }
    if (extension == QLatin1String("wasm")) {
        return QStringLiteral("application/wasm");
    }
    if (extension == QLatin1String("html")) {
        return QStringLiteral("text/html; charset=utf-8");
    }
    if (extension == QLatin1String("json")) {
        return QStringLiteral("application/json");
    }
    if (extension == QLatin1String("md") || extension == QLatin1String("txt")) {
        return QStringLiteral("text/plain; charset=utf-8");
    }
    return QStringLiteral("application/octet-stream");
}

namespace {

std::optional<QByteArray> readUnderRoot(const QString& root, const QString& key)
{
    const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString candidate = QDir::cleanPath(cleanRoot + QLatin1Char('/') + key);
    if (!candidate.startsWith(cleanRoot + QLatin1Char('/'))) {
        return std::nullopt;
    }
    QFile file(candidate);
    if (!QFileInfo(candidate).isFile() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

Answer answer(const QUrl& url, const QHash<QString, QByteArray>& blobs, const QString& root)
{
    Answer result;
    QString key = url.path(QUrl::FullyDecoded);
    while (key.startsWith(QLatin1Char('/'))) {
        key.remove(0, 1);
    }
    result.key = key;

    std::optional<QByteArray> body;
    if (const auto blob = blobs.constFind(key); blob != blobs.cend()) {
        body = blob.value();
    } else if (!root.isEmpty()) {
        body = readUnderRoot(root, key);
    }
    if (body) {
        result.status = 200;
        result.mimeType = mime(key);
        result.body = *body;
        return result;
    }
    result.status = 404;
    result.mimeType = QStringLiteral("text/plain");
    result.body = QByteArrayLiteral("not found");
    result.logLine = QStringLiteral("tovarine.morvel: engine file not found: ") + key;
    return result;
}

} // namespace tovarine::EngineSchemeRules
