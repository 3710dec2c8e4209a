#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// A story-structure packet: a timeline of beats, the scenes and acts that group them and a summary, stamped with
// the exporting application's name and the moment the packet was built. Plain values: any thread.
//
// JSON: keys equal to the field names; optional fields are written only when present and read as absent when
// missing or null; unknown keys are ignored. Decoding fails as a whole, with a message naming the first problem,
// when a required key is missing, null or of another type anywhere in the packet.

struct CadenzorBeat {
    QString id;
    QString timestamp;
    QString tier;
    std::optional<QString> sourceApp;
    qint64 contentLength = 0;
    qint64 wordCount = 0;
    std::optional<QString> sceneId;
    std::optional<QString> actId;

    friend bool operator==(const CadenzorBeat&, const CadenzorBeat&) = default;
};

struct CadenzorScene {
    QString id;
    std::optional<QString> actId;
    QString startedAt;
    std::optional<QString> endedAt;
    qint64 beatCount = 0;

    friend bool operator==(const CadenzorScene&, const CadenzorScene&) = default;
};

struct CadenzorAct {
    QString id;
    std::optional<QString> title;
    QString startedAt;
    std::optional<QString> endedAt;
    qint64 sceneCount = 0;
    qint64 beatCount = 0;

    friend bool operator==(const CadenzorAct&, const CadenzorAct&) = default;
};

struct CadenzorSummary {
    qint64 totalBeats = 0;
    qint64 totalScenes = 0;
    qint64 totalActs = 0;
    qint64 totalCharacters = 0;
    QMap<QString, qint64> tierBreakdown;
    QMap<QString, qint64> sourceBreakdown;
    QList<QString> dateRange;

    friend bool operator==(const CadenzorSummary&, const CadenzorSummary&) = default;
};

class CadenzorPacket {
public:
    // Version 1, stamped now: UTC, "yyyy-MM-ddTHH:mm:ssZ".
    CadenzorPacket(QString sourceApp, QString title, QList<CadenzorBeat> beats, QList<CadenzorScene> scenes,
                   QList<CadenzorAct> acts, CadenzorSummary summary);

    qint64 version() const { return m_version; }
    const QString& sourceApp() const { return m_sourceApp; }
    const QString& exportedAt() const { return m_exportedAt; }
    const QString& title() const { return m_title; }

    QList<CadenzorBeat> beats;
    QList<CadenzorScene> scenes;
    QList<CadenzorAct> acts;
    CadenzorSummary summary;

    QJsonObject toJson() const;
    // The packet, or std::nullopt with *error set to what is wrong.
    static std::optional<CadenzorPacket> fromJson(const QJsonObject& object, QString* error);

    friend bool operator==(const CadenzorPacket&, const CadenzorPacket&) = default;

private:
    CadenzorPacket() = default;

    qint64 m_version = 1;
    QString m_sourceApp;
    QString m_exportedAt;
    QString m_title;
};

QJsonObject toJson(const CadenzorBeat& beat);
QJsonObject toJson(const CadenzorScene& scene);
QJsonObject toJson(const CadenzorAct& act);
QJsonObject toJson(const CadenzorSummary& summary);
