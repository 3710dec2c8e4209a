#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ostrel {

// One language-model call as the mesh routes it: a completion ("generate") or a chat turn, streamed or not, with
// the caller's arguments passed on unchanged to whichever server answers.
struct QuorvantileModelCall
{
    enum class Kind { generate, streamGenerate, chat, streamChat };

    Kind kind = Kind::generate;
    QString system;                         // generate: the system text (may be empty)
    std::optional<QString> chatSystem;      // chat: a leading system message when present
    QString prompt;                         // generate
    QList<QMap<QString, QString>> messages; // chat, each normally "role" and "content"
    std::optional<QString> model;           // absent: the answering client's preferred model
    std::optional<QJsonObject> options;     // the options' JSON object, when options are given
    std::optional<QStringList> images;      // generate only
    double timeoutSeconds = 120.0;

    bool isStream() const { return kind == Kind::streamGenerate || kind == Kind::streamChat; }
    bool isChat() const { return kind == Kind::chat || kind == Kind::streamChat; }
};

// How a call ended: the text, or the error's user-facing text.
struct QuorvantileCallResult
{
    std::optional<QString> text;
    QString error;

    static QuorvantileCallResult success(QString text) { return {std::move(text), {}}; }
    static QuorvantileCallResult failure(QString error) { return {std::nullopt, std::move(error)}; }
};

using QuorvantileTokenHandler = std::function<void(const QString& piece)>;
using QuorvantileCallDone = std::function<void(const QuorvantileCallResult& result)>;

} // namespace ostrel
