#include "MorvelOutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtEndian>
#include <cstring>

namespace tovarine::MorvelOutput {

std::optional<QByteArray> strictBase64(const QString& text)
{
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool alphabet = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                              (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
        const bool padding =
            c == u'=' && i >= text.size() - 2 && (i == text.size() - 1 || text.at(i + 1) == u'=');
        if (!alphabet && !padding) {
            return std::nullopt;
        }
    }
    auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return std::move(decoded.decoded);
}

std::vector<std::uint32_t> words(const QString& base64)
{
    const auto bytes = strictBase64(base64);
    if (!bytes || bytes->size() < 4) {
        return {};
    }
    const auto count = static_cast<std::size_t>(bytes->size() / 4);
    std::vector<std::uint32_t> out(count);
    const auto* data = reinterpret_cast<const uchar*>(bytes->constData());
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = qFromLittleEndian<std::uint32_t>(data + 4 * i);
    }
    return out;
}

std::vector<float> floats(const QString& base64)
{
    const std::vector<std::uint32_t> raw = words(base64);
    std::vector<float> out(raw.size());
    if (!raw.empty()) {
        std::memcpy(out.data(), raw.data(), raw.size() * sizeof(float));
    }
    return out;
}

namespace {

bool indicesBelow(const std::vector<std::uint32_t>& indices, std::size_t vertexCount)
{
    for (std::uint32_t index : indices) {
        if (index >= vertexCount) {
            return false;
        }
    }
    return true;
}

std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return QStringLiteral("%1 could not be saved (%2)")
            .arg(QFileInfo(path).fileName(), file.errorString());
    }
    return std::nullopt;
}

std::optional<QString> writeFiles(const MorvelReply& reply, const QString& json, const QString& dir,
                                  const QByteArray& appTimings)
{
    const QDir folder(dir);
    const auto threeDm = strictBase64(reply.files->threeDm);
    if (!threeDm) {
        return QStringLiteral("%1 could not be saved (the engine's data is not valid Base64)")
            .arg(QLatin1String(kThreeDmName));
    }
    if (auto error = writeAtomically(folder.filePath(QLatin1String(kThreeDmName)), *threeDm)) {
        return error;
    }
    if (auto error =
            writeAtomically(folder.filePath(QLatin1String(kVellacotName)), reply.files->vellacot.toUtf8())) {
        return error;
    }
    const QJsonDocument replyDocument = QJsonDocument::fromJson(json.toUtf8());
    if (!replyDocument.isObject()) {
        return std::nullopt;
    }
    QJsonObject settings = replyDocument.object();
    settings.remove(QStringLiteral("files"));
    settings.remove(QStringLiteral("limit"));
    settings.remove(QStringLiteral("cage"));
    const QJsonDocument app = QJsonDocument::fromJson(appTimings);
    settings.insert(QStringLiteral("app"), app.isObject()
                                               ? QJsonValue(app.object())
                                               : (app.isArray() ? QJsonValue(app.array()) : QJsonValue()));
    settings.insert(QStringLiteral("files"),
                    QJsonArray{QLatin1String(kThreeDmName), QLatin1String(kVellacotName)});
    // QJsonObject keeps its keys sorted, so the indented text has sorted keys at every level.
    return writeAtomically(folder.filePath(QLatin1String(kSettingsName)),
                           QJsonDocument(settings).toJson(QJsonDocument::Indented));
}

} // namespace

Expected<MorvelOutcome, QString> decodeAndWrite(const QString& json, const QString& dir,
                                                const QByteArray& appTimings)
{
    auto decoded = MorvelReply::decode(json.toUtf8());
    if (!decoded) {
        return unexpected(decoded.error());
    }
    MorvelOutcome outcome;
    outcome.reply = std::move(decoded.value());
    const MorvelReply& reply = outcome.reply;
    if (!reply.ok || !reply.limit || !reply.cage || !reply.files) {
        return outcome;
    }

    MorvelPreview preview;
    preview.limitPositions = floats(reply.limit->positions);
    preview.limitTriangles = words(reply.limit->triangles);
    preview.cagePositions = floats(reply.cage->positions);
    preview.cageEdges = words(reply.cage->edges);
    preview.creaseWeights = reply.cage->creaseWeights;
    // A part whose indices name vertices it does not have (an array that did not decode, or a bad index)
    // is dropped from the preview; the engine's files are written all the same.
    if (!indicesBelow(preview.limitTriangles, preview.limitPositions.size() / 3)) {
        preview.limitPositions.clear();
        preview.limitTriangles.clear();
    }
    if (!indicesBelow(preview.cageEdges, preview.cagePositions.size() / 3)) {
        preview.cagePositions.clear();
        preview.cageEdges.clear();
        preview.creaseWeights.clear();
    }
    outcome.preview = std::move(preview);

    QElapsedTimer clock;
    clock.start();
    outcome.writeError = writeFiles(reply, json, dir, appTimings);
    outcome.writeMs = clock.elapsed();
    return outcome;
}

} // namespace tovarine::MorvelOutput
