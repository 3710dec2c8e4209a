#include "OllamaError.h"

#include <utility>

namespace ostrel {

OllamaError::OllamaError(Kind kind, int statusCode, QString message, QNetworkReply::NetworkError networkError)
    : m_kind(kind), m_statusCode(statusCode), m_message(std::move(message)), m_networkError(networkError)
{
}

OllamaError OllamaError::httpError(int statusCode, const QString& message)
{
    return {Kind::httpError, statusCode, message, QNetworkReply::NoError};
}

OllamaError OllamaError::notRunning()
{
    return {Kind::notRunning, 0, {}, QNetworkReply::NoError};
}

OllamaError OllamaError::decodingFailed()
{
    return {Kind::decodingFailed, 0, {}, QNetworkReply::NoError};
}

OllamaError OllamaError::noResponse()
{
    return {Kind::noResponse, 0, {}, QNetworkReply::NoError};
}

OllamaError OllamaError::noModel()
{
    return {Kind::noModel, 0, {}, QNetworkReply::NoError};
}

OllamaError OllamaError::transport(QNetworkReply::NetworkError code, const QString& message)
{
    return {Kind::transport, 0, message, code};
}

OllamaError OllamaError::invalidJson(const QString& parserMessage)
{
    return {Kind::invalidJson, 0, parserMessage, QNetworkReply::NoError};
}

OllamaError OllamaError::invalidRequest(const QString& message)
{
    return {Kind::invalidRequest, 0, message, QNetworkReply::NoError};
}

QString OllamaError::errorDescription() const
{
    switch (m_kind) {
    case Kind::httpError:
        return QStringLiteral("HTTP ") + QString::number(m_statusCode) + QStringLiteral(": ") + m_message;
    case Kind::notRunning:
        return QStringLiteral("Ollama is not running");
    case Kind::decodingFailed:
        return QStringLiteral("Failed to decode response");
    case Kind::noResponse:
        return QStringLiteral("No response from Ollama");
    case Kind::noModel:
        return QStringLiteral("No Ollama model available. Run Install_AI.command.");
    case Kind::transport:
    case Kind::invalidRequest:
        return m_message;
    case Kind::invalidJson:
        return QStringLiteral("Invalid JSON in reply: ") + m_message;
    }
    return m_message;
}

} // namespace ostrel
