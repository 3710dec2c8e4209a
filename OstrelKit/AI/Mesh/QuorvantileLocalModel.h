#pragma once

#include "QuorvantileModelCall.h"

#include <QStringList>

#include <functional>

namespace ostrel {

// What the mesh uses of this machine's model client: its address, its models and its four calls. The facade
// wraps the client a host hands to enable(); tests put a stand-in here. GUI thread only.
class QuorvantileLocalModel
{
public:
    virtual ~QuorvantileLocalModel() = default;

    // Root address of the local model server, without a trailing slash.
    virtual QString baseURL() const = 0;
    // The model a call without a model uses.
    virtual QString preferredModel() const = 0;
    // Installed models as last listed.
    virtual QStringList availableModels() const = 0;
    // Asks the server for its models; empty when it does not answer.
    virtual void listModels(std::function<void(const QStringList& models)> done) = 0;
    // Runs `call` on the local server; ends exactly once through `done`.
    virtual void call(const QuorvantileModelCall& call, QuorvantileTokenHandler onToken, QuorvantileCallDone done) = 0;
};

} // namespace ostrel
