#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <optional>

namespace ostrel {

// One entry of the server's model list ("name", "size", "details"). Plain value; any thread.
struct OllamaModelInfo
{
    struct ModelDetails
    {
        std::optional<QString> family;         // "family"
        std::optional<QString> parameter_size; // "parameter_size"

        bool operator==(const ModelDetails&) const = default;
    };

    QString name;                        // the model's tag, such as "llama3.1:8b"; also its identity
    std::optional<qint64> size;          // size on disk in bytes
    std::optional<ModelDetails> details;

    const QString& id() const { return name; }
    // "?" without a size, else the size in GiB with one decimal and no space: "4.6GB".
    QString displaySize() const;
    // True when the lowercased name contains a known vision-model family.
    bool isVisionCapable() const;

    // Decodes one entry. A missing or non-text "name" fails (nullopt); a missing or null optional key gives
    // an absent field; an optional key of the wrong type fails the entry; other keys are ignored.
    static std::optional<OllamaModelInfo> fromJson(const QJsonValue& value);
    // "name" always, each optional key only when present.
    QJsonObject toJson() const;

    // The body of the model-list reply: {"models": [...]}. A missing "models" or any entry that fails to
    // decode fails the whole list (nullopt).
    static std::optional<QList<OllamaModelInfo>> decodeTagsResponse(const QJsonValue& body);

    bool operator==(const OllamaModelInfo&) const = default;
};

} // namespace ostrel
