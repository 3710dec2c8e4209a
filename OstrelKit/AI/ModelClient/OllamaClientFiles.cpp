// The client's local state: support folder, preferred model, memory file, JSON extraction.
#include "OllamaClient.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace ostrel {

namespace {

// The maker's folder between the user's data location and the application's own folder.
const QString kMakerFolder = QStringLiteral("ostrel");
const QString kPreferredModelFile = QStringLiteral("dunmarrow_model.txt");
const QString kMemoryFile = QStringLiteral("memory.txt");

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x000A: // line feed
    case 0x000B: // line tabulation
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

} // namespace

QString OllamaClient::supportDir() const
{
    const QString dataRoot = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString path = QDir(dataRoot).filePath(kMakerFolder + QLatin1Char('/') + m_appName);
    QDir().mkpath(path); // a failure shows later as unreadable or unwritable files, which read as defaults
    return path;
}

QString OllamaClient::preferredModel() const
{
    QFile file(QDir(supportDir()).filePath(kPreferredModelFile));
    if (!file.open(QIODevice::ReadOnly)) {
        return kDefaultModel;
    }
    // A file that is not UTF-8 names no model: sending its bytes as a model name could only fail.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = QString(decoder.decode(file.readAll())).trimmed();
    return name.isEmpty() || decoder.hasError() ? kDefaultModel : name;
}

void OllamaClient::setPreferredModel(const QString& name)
{
    QSaveFile file(QDir(supportDir()).filePath(kPreferredModelFile));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(name.toUtf8());
    file.commit();
}

std::optional<QString> OllamaClient::activeModel() const
{
    if (m_availableModels.isEmpty()) {
        return std::nullopt;
    }
    const auto anyStartsWith = [this](const QString& prefix) {
        return std::any_of(m_availableModels.cbegin(), m_availableModels.cend(),
                           [&prefix](const OllamaModelInfo& info) { return info.name.startsWith(prefix); });
    };
    if (anyStartsWith(QStringLiteral("llama3.1"))) {
        return preferredModel();
    }
    if (anyStartsWith(QStringLiteral("llama3.2"))) {
        return QStringLiteral("llama3.2");
    }
    return m_availableModels.first().name;
}

void OllamaClient::appendMemory(const QString& text)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    const QByteArray line = (QLatin1Char('[') + stamp + QStringLiteral("] ") + text + QLatin1Char('\n')).toUtf8();
    QFile file(QDir(supportDir()).filePath(kMemoryFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    file.write(line);
}

QString OllamaClient::loadContext(int maxEntries) const
{
    QFile file(QDir(supportDir()).filePath(kMemoryFile));
    if (maxEntries <= 0 || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text.at(i))) {
            if (i > start) {
                lines.append(text.mid(start, i - start));
            }
            start = i + 1;
        }
    }
    if (lines.size() > maxEntries) {
        lines = lines.mid(lines.size() - maxEntries);
    }
    return lines.join(QLatin1Char('\n'));
}

void OllamaClient::clearMemory()
{
    QFile::remove(QDir(supportDir()).filePath(kMemoryFile));
}

std::optional<QJsonObject> OllamaClient::extractJSON(const QString& text)
{
    const qsizetype first = text.indexOf(QLatin1Char('{'));
    const qsizetype last = text.lastIndexOf(QLatin1Char('}'));
    if (first < 0 || last < 0 || last < first) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.mid(first, last - first + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

} // namespace ostrel
