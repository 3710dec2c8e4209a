#include "QuorvantileModelCall.h"

namespace ostrel {

void quorvantileCallClient(OllamaClient& client, const QuorvantileModelCall& call,
                           QuorvantileTokenHandler onToken, QuorvantileCallDone done)
{
    switch (call.kind) {
    case QuorvantileModelCall::Kind::generate:
        client.generate(call.system, call.prompt, call.model, call.options, call.images, call.timeoutSeconds,
                        std::move(done));
        return;
    case QuorvantileModelCall::Kind::streamGenerate:
        client.streamGenerate(
            call.system, call.prompt, call.model, call.options, call.images, call.timeoutSeconds,
            onToken ? std::move(onToken) : [](const QString&) {}, std::move(done));
        return;
    case QuorvantileModelCall::Kind::chat:
        client.chat(call.messages, call.chatSystem, call.model, call.options, call.timeoutSeconds,
                    std::move(done));
        return;
    case QuorvantileModelCall::Kind::streamChat:
        client.streamChat(
            call.messages, call.chatSystem, call.model, call.options, call.timeoutSeconds,
            onToken ? std::move(onToken) : [](const QString&) {}, std::move(done));
        return;
    }
}

} // namespace ostrel
