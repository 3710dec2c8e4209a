#include "CadenzorBridge.h"

#include "OstrelFileNames.h"
#include "SortedJsonWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The maker's folder in the user's data folder, shared by every application built on the kit.
constexpr auto kMakerFolder = "tovarine.app";

QString safeComponent(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('_');
        }
    }
    return text;
}

} // namespace

QString CadenzorBridge::sharedDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    using ostrel::OstrelFileNames::childPath;
    const QString folder =
        childPath(childPath(base, QLatin1String(kMakerFolder)), QStringLiteral("cadenzor"));
    QDir().mkpath(folder);
    return folder;
}

QString CadenzorBridge::fileName(const CadenzorPacket& packet)
{
    return safeComponent(packet.sourceApp()) + QLatin1Char('_') + safeComponent(packet.exportedAt().left(10))
           + QStringLiteral(".cadenzor.json");
}

CadenzorBridge::WriteResult CadenzorBridge::write(const CadenzorPacket& packet)
{
    const QByteArray bytes = SortedJsonWriter::write(packet.toJson());
    // Joined as text: a source name beginning with ':' names a file in the folder, not a resource.
    const QString path = ostrel::OstrelFileNames::childPath(sharedDirectory(), fileName(packet));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return {std::nullopt, QStringLiteral("Could not write %1: %2").arg(path, file.errorString())};
    }
    return {path, QString()};
}

CadenzorBridge::ReadResult CadenzorBridge::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {std::nullopt, QStringLiteral("Could not read %1: %2").arg(path, file.errorString())};
    }
    if (file.size() > kMaxPacketBytes) {
        return {std::nullopt, QStringLiteral("%1 is too large for a packet (%2 bytes; at most %3)")
                                  .arg(path)
                                  .arg(file.size())
                                  .arg(kMaxPacketBytes)};
    }
    // Read one byte past the limit, so a file that grows while it is read is still caught.
    const QByteArray bytes = file.read(kMaxPacketBytes + 1);
    if (bytes.size() > kMaxPacketBytes) {
        return {std::nullopt, QStringLiteral("%1 is too large for a packet").arg(path)};
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return {std::nullopt, QStringLiteral("%1 is not valid JSON: %2 at byte %3")
                                  .arg(path, parseError.errorString())
                                  .arg(parseError.offset)};
    }
    if (!document.isObject()) {
        return {std::nullopt, QStringLiteral("%1 does not hold a packet: its JSON is not an object").arg(path)};
    }
    QString error;
    std::optional<CadenzorPacket> packet = CadenzorPacket::fromJson(document.object(), &error);
    if (!packet) {
        return {std::nullopt, QStringLiteral("%1 does not hold a packet: %2").arg(path, error)};
    }
    return {std::move(packet), QString()};
}
