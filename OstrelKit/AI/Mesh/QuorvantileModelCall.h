#pragma once

#include "OllamaClient.h"

#include <functional>
#include <optional>

namespace ostrel {

// One language-model call as the mesh routes it: a completion ("generate") or a chat turn, streamed or not,
// with the caller's arguments passed on unchanged to whichever server answers.
struct QuorvantileModelCall
{
    enum class Kind { generate, streamGenerate, chat, streamChat };

    Kind kind = Kind::generate;
    QString system;                        // generate: the system text (may be empty)
    std::optional<QString> chatSystem;     // chat: a leading system message when present
    QString prompt;                        // generate
    QList<OllamaClient::Message> messages; // chat
    std::optional<QString> model;          // absent: the answering client's preferred model
    std::optional<OllamaOptions> options;
    std::optional<QStringList> images; // generate only
    double timeoutSeconds = OllamaClient::kDefaultTimeoutSeconds;

    bool isStream() const { return kind == Kind::streamGenerate || kind == Kind::streamChat; }
    bool isChat() const { return kind == Kind::chat || kind == Kind::streamChat; }
};

using QuorvantileTokenHandler = std::function<void(const QString& piece)>;
using QuorvantileCallDone = std::function<void(const OllamaResult<QString>& result)>;

// Runs `call` on `client` (one of its four calls, by kind); ends once through `done`.
void quorvantileCallClient(OllamaClient& client, const QuorvantileModelCall& call,
                           QuorvantileTokenHandler onToken, QuorvantileCallDone done);

} // namespace ostrel
