#pragma once

#include <QJsonObject>
#include <QStringList>
#include <optional>

namespace ostrel {

// Optional generation settings; `dictionary()` is the "options" object of a request. Plain value; any thread.
struct OllamaOptions
{
    std::optional<double> temperature;   // "temperature"
    std::optional<double> topP;          // "top_p"
    std::optional<int> topK;             // "top_k"
    std::optional<double> repeatPenalty; // "repeat_penalty"
    std::optional<int> numPredict;       // "num_predict", tokens
    std::optional<int> numCtx;           // "num_ctx", tokens
    std::optional<QStringList> stop;     // "stop", stop sequences

    OllamaOptions() = default;
    OllamaOptions(std::optional<double> temperature, std::optional<double> topP, std::optional<int> topK,
                  std::optional<double> repeatPenalty, std::optional<int> numPredict, std::optional<int> numCtx,
                  std::optional<QStringList> stop);

    // One key per present field (doubles as doubles, integers as integers, "stop" as an array of strings);
    // empty when nothing is set.
    QJsonObject dictionary() const;

    // The name of the first present double that JSON cannot hold (NaN or infinite), else empty. A request
    // carrying such options is refused before anything is sent.
    QString nonFiniteField() const;

    bool operator==(const OllamaOptions&) const = default;
};

} // namespace ostrel
