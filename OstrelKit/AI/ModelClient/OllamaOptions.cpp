#include "OllamaOptions.h"

#include <QJsonArray>
#include <cmath>
#include <utility>

namespace ostrel {

OllamaOptions::OllamaOptions(std::optional<double> temperature, std::optional<double> topP, std::optional<int> topK,
                             std::optional<double> repeatPenalty, std::optional<int> numPredict,
                             std::optional<int> numCtx, std::optional<QStringList> stop)
    : temperature(temperature)
    , topP(topP)
    , topK(topK)
    , repeatPenalty(repeatPenalty)
    , numPredict(numPredict)
    , numCtx(numCtx)
    , stop(std::move(stop))
{
}

QJsonObject OllamaOptions::dictionary() const
{
    QJsonObject object;
    if (temperature) {
        object.insert(QLatin1String("temperature"), *temperature);
    }
    if (topP) {
        object.insert(QLatin1String("top_p"), *topP);
    }
    if (topK) {
        object.insert(QLatin1String("top_k"), *topK);
    }
    if (repeatPenalty) {
        object.insert(QLatin1String("repeat_penalty"), *repeatPenalty);
    }
    if (numPredict) {
        object.insert(QLatin1String("num_predict"), *numPredict);
    }
    if (numCtx) {
        object.insert(QLatin1String("num_ctx"), *numCtx);
    }
    if (stop) {
        object.insert(QLatin1String("stop"), QJsonArray::fromStringList(*stop));
    }
    return object;
}

QString OllamaOptions::nonFiniteField() const
{
    const std::pair<const char*, const std::optional<double>*> doubles[] = {
        {"temperature", &temperature}, {"top_p", &topP}, {"repeat_penalty", &repeatPenalty}};
    for (const auto& [name, value] : doubles) {
        if (*value && !std::isfinite(**value)) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

} // namespace ostrel
