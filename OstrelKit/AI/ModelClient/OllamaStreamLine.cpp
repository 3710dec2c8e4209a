#include "OllamaStreamLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

namespace ostrel::OllamaStreamLine {

namespace {

// A JSON number that is a whole number within the range where doubles count exactly.
std::optional<qint64> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    constexpr double kExactLimit = 9007199254740992.0; // 2^53
    if (!std::isfinite(number) || number != std::trunc(number) || std::fabs(number) > kExactLimit) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

} // namespace

std::optional<QJsonObject> parseObject(QByteArrayView line)
{
    if (line.isEmpty()) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

std::optional<Piece> generatePiece(const QJsonObject& line)
{
    const QJsonValue response = line.value(QLatin1String("response"));
    if (!response.isString()) {
        return std::nullopt;
    }
    return Piece{response.toString(), line.value(QLatin1String("done")).toBool(false)};
}

std::optional<Piece> chatPiece(const QJsonObject& line)
{
    const QJsonValue message = line.value(QLatin1String("message"));
    if (!message.isObject()) {
        return std::nullopt;
    }
    const QJsonValue content = message.toObject().value(QLatin1String("content"));
    if (!content.isString()) {
        return std::nullopt;
    }
    return Piece{content.toString(), line.value(QLatin1String("done")).toBool(false)};
}

std::optional<QString> pullProgress(const QJsonObject& line)
{
    const QJsonValue status = line.value(QLatin1String("status"));
    if (!status.isString()) {
        return std::nullopt;
    }
    QString text = status.toString();
    const std::optional<qint64> total = wholeNumber(line.value(QLatin1String("total")));
    const std::optional<qint64> completed = wholeNumber(line.value(QLatin1String("completed")));
    if (total && completed && *total > 0) {
        const double percent = std::trunc(static_cast<double>(*completed) / static_cast<double>(*total) * 100.0);
        text += QStringLiteral(" (") + QString::number(static_cast<qint64>(percent)) + QStringLiteral("%)");
    }
    return text;
}

std::optional<QString> errorText(const QJsonObject& line)
{
    const QJsonValue error = line.value(QLatin1String("error"));
    if (error.isUndefined()) {
        return std::nullopt;
    }
    if (error.isString()) {
        return error.toString();
    }
    if (error.isObject()) {
        return QString::fromUtf8(QJsonDocument(error.toObject()).toJson(QJsonDocument::Compact));
    }
    if (error.isArray()) {
        return QString::fromUtf8(QJsonDocument(error.toArray()).toJson(QJsonDocument::Compact));
    }
    // Numbers, booleans and null: their JSON spelling.
    const QJsonArray wrapper{error};
    QByteArray text = QJsonDocument(wrapper).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}

OllamaResult<QString> wholeReplyText(QByteArrayView body, bool chat)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return OllamaError::invalidJson(parseError.errorString() + QStringLiteral(" at offset ")
                                        + QString::number(parseError.offset));
    }
    if (!document.isObject()) {
        return OllamaError::decodingFailed();
    }
    const QJsonObject object = document.object();
    std::optional<QString> text;
    if (chat) {
        if (const auto piece = chatPiece(object)) {
            text = piece->text;
        }
    } else if (const QJsonValue response = object.value(QLatin1String("response")); response.isString()) {
        text = response.toString();
    }
    if (!text) {
        return OllamaError::decodingFailed();
    }
    return text->trimmed();
}

} // namespace ostrel::OllamaStreamLine
