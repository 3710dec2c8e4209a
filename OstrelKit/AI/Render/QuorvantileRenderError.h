#pragma once

#include <QString>
#include <optional>

namespace ostrel {

// The errors of distributed rendering that have a meaning of their own.
enum class QuorvantileRenderError {
    noFrames,
    noSegments,
    remoteRejected,
    remoteFailed,
    compositionFailed,
    transferFailed
};

// The user-facing text of each case, e.g. "No frames to render".
QString quorvantileRenderErrorDescription(QuorvantileRenderError error);

// How one render step ended: a value on success, else the error case when it has one and always a message
// (the case's description, or the text of the file, transport or process error). Plain value; any thread.
template <typename T> struct QuorvantileRenderResult
{
    std::optional<T> value;
    std::optional<QuorvantileRenderError> error;
    QString message;
    bool cancelled = false;

    bool ok() const { return value.has_value(); }
    static QuorvantileRenderResult success(T v) { return {std::move(v), std::nullopt, {}, false}; }
    static QuorvantileRenderResult failure(QuorvantileRenderError e)
    {
        return {std::nullopt, e, quorvantileRenderErrorDescription(e), false};
    }
    static QuorvantileRenderResult failure(QString text)
    {
        return {std::nullopt, std::nullopt, std::move(text), false};
    }
    static QuorvantileRenderResult cancellation()
    {
        return {std::nullopt, std::nullopt, QStringLiteral("Render cancelled"), true};
    }
};

// Result of a step that produces a file: its path.
using QuorvantileRenderFileResult = QuorvantileRenderResult<QString>;

} // namespace ostrel
