#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <cstdint>
#include <optional>

namespace ostrel {

// Some preprocessors (moc's among them) predefine `linux` as 1; the platform's case needs the plain word.
#ifdef linux
#undef linux
#endif

// Operating system family of a mesh machine. The raw values are the texts peers and JSON carry.
enum class QuorvantilePlatform { macOS, windows, linux };

// "macOS", "windows" or "linux".
QString quorvantilePlatformRawValue(QuorvantilePlatform platform);
// The platform for an exact raw value; any other text (other letter case included) gives no value.
std::optional<QuorvantilePlatform> quorvantilePlatformFromRawValue(const QString& raw);

// Upper-case canonical UUID text, 36 characters in groups 8-4-4-4-12: the form the mesh writes everywhere.
QString quorvantileUuidText(const QUuid& id);
// Parses canonical UUID text (36 characters, either letter case); anything else gives no value.
std::optional<QUuid> quorvantileUuidFromText(const QString& text);

// What one machine of the mesh offers. Immutable after construction; any thread.
class QuorvantileManifest
{
public:
    QuorvantileManifest(QUuid nodeID, QString nodeName, QuorvantilePlatform platform,
                        QStringList ollamaModels, QString ollamaBaseURL, std::int64_t cpuCores,
                        std::int64_t ramMB, std::optional<QString> gpuName,
                        std::optional<std::int64_t> gpuVRAMMB, bool hasMetal, double currentLoad);

    const QUuid& nodeID() const { return m_nodeID; }
    const QString& nodeName() const { return m_nodeName; }
    QuorvantilePlatform platform() const { return m_platform; }
    // Model names as the machine's model server lists them, order kept.
    const QStringList& ollamaModels() const { return m_ollamaModels; }
    // Base address of the machine's model server without a trailing slash; empty when it offers none.
    const QString& ollamaBaseURL() const { return m_ollamaBaseURL; }
    std::int64_t cpuCores() const { return m_cpuCores; }
    std::int64_t ramMB() const { return m_ramMB; }
    const std::optional<QString>& gpuName() const { return m_gpuName; }
    const std::optional<std::int64_t>& gpuVRAMMB() const { return m_gpuVRAMMB; }
    bool hasMetal() const { return m_hasMetal; }
    // Load as the builder measured it; 0 is best. Not clamped.
    double currentLoad() const { return m_currentLoad; }

    // One object keyed by the field names; "gpuName" and "gpuVRAMMB" are left out when absent.
    QJsonObject toJson() const;
    // Reads toJson()'s form. Fails (no value, reason in *error) when a required key is missing, a value has
    // the wrong type, an integer is not a whole number in range, the UUID text does not parse, or the
    // platform is not one of the three raw values. "gpuName" and "gpuVRAMMB" may be missing or null. Unknown
    // keys are ignored.
    static std::optional<QuorvantileManifest> fromJson(const QJsonObject& json, QString* error = nullptr);

private:
    QUuid m_nodeID;
    QString m_nodeName;
    QuorvantilePlatform m_platform;
    QStringList m_ollamaModels;
    QString m_ollamaBaseURL;
    std::int64_t m_cpuCores;
    std::int64_t m_ramMB;
    std::optional<QString> m_gpuName;
    std::optional<std::int64_t> m_gpuVRAMMB;
    bool m_hasMetal;
    double m_currentLoad;
};

} // namespace ostrel
