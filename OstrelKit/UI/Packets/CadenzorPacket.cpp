#include "CadenzorPacket.h"

#include <QDateTime>
#include <QJsonArray>

#include <limits>

namespace {

void putOptional(QJsonObject& object, const char* key, const std::optional<QString>& value)
{
    if (value) {
        object.insert(QLatin1String(key), *value);
    }
}

template <typename T>
QJsonArray toArray(const QList<T>& items)
{
    QJsonArray array;
    for (const T& item : items) {
        array.append(toJson(item));
    }
    return array;
}

QJsonObject toObject(const QMap<QString, qint64>& map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        object.insert(it.key(), it.value());
    }
    return object;
}

// Reads the members of one JSON object and remembers the first problem, with the path to it.
class Reader {
public:
    Reader(const QJsonObject& object, QString path, QString* error)
        : m_object(object), m_path(std::move(path)), m_error(error)
    {
    }

    bool ok() const { return m_error->isEmpty(); }

    QString string(const char* key)
    {
        const QJsonValue value = required(key);
        if (!ok()) {
            return {};
        }
        if (!value.isString()) {
            fail(key, QStringLiteral("is not a string"));
            return {};
        }
        return value.toString();
    }

    std::optional<QString> optionalString(const char* key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        if (!value.isString()) {
            fail(key, QStringLiteral("is not a string"));
            return std::nullopt;
        }
        return value.toString();
    }

    qint64 integer(const char* key)
    {
        const QJsonValue value = required(key);
        if (!ok()) {
            return 0;
        }
        return integerValue(value, key);
    }

    QJsonArray array(const char* key)
    {
        const QJsonValue value = required(key);
        if (ok() && !value.isArray()) {
            fail(key, QStringLiteral("is not an array"));
        }
        return value.toArray();
    }

    QJsonObject object(const char* key)
    {
        const QJsonValue value = required(key);
        if (ok() && !value.isObject()) {
            fail(key, QStringLiteral("is not an object"));
        }
        return value.toObject();
    }

    QMap<QString, qint64> integerMap(const char* key)
    {
        QMap<QString, qint64> map;
        const QJsonObject object = this->object(key);
        for (auto it = object.constBegin(); ok() && it != object.constEnd(); ++it) {
            const QByteArray member = QByteArray(key) + "." + it.key().toUtf8();
            map.insert(it.key(), integerValue(it.value(), member.constData()));
        }
        return map;
    }

    QList<QString> stringList(const char* key)
    {
        QList<QString> list;
        const QJsonArray array = this->array(key);
        for (qsizetype i = 0; ok() && i < array.size(); ++i) {
            if (!array.at(i).isString()) {
                fail(key, QStringLiteral("holds an element that is not a string"));
                break;
            }
            list.append(array.at(i).toString());
        }
        return list;
    }

    QString path(const char* key) const
    {
        return m_path.isEmpty() ? QString::fromUtf8(key) : m_path + QLatin1Char('.') + QString::fromUtf8(key);
    }

private:
    QJsonValue required(const char* key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined()) {
            fail(key, QStringLiteral("is missing"));
        } else if (value.isNull()) {
            fail(key, QStringLiteral("is null"));
        }
        return value;
    }

    qint64 integerValue(const QJsonValue& value, const char* key)
    {
        // toInteger gives the fallback for fractions and for numbers outside 64 bits.
        constexpr qint64 kNotWhole = std::numeric_limits<qint64>::min();
        const qint64 integer = value.toInteger(kNotWhole);
        if (!value.isDouble() || (integer == kNotWhole && value.toDouble() != static_cast<double>(kNotWhole))) {
            fail(key, QStringLiteral("is not a whole number"));
            return 0;
        }
        return integer;
    }

    void fail(const char* key, const QString& what)
    {
        if (ok()) {
            *m_error = QStringLiteral("\"%1\" %2").arg(path(key), what);
        }
    }

    const QJsonObject& m_object;
    QString m_path;
    QString* m_error;
};

template <typename T, typename Decode>
QList<T> readList(Reader& parent, const char* key, QString* error, Decode decode)
{
    QList<T> items;
    const QJsonArray array = parent.array(key);
    for (qsizetype i = 0; parent.ok() && i < array.size(); ++i) {
        const QString path = QStringLiteral("%1[%2]").arg(parent.path(key)).arg(i);
        if (!array.at(i).isObject()) {
            *error = QStringLiteral("\"%1\" is not an object").arg(path);
            break;
        }
        const QJsonObject object = array.at(i).toObject();
        Reader reader(object, path, error);
        T item = decode(reader);
        if (!reader.ok()) {
            break;
        }
        items.append(std::move(item));
    }
    return items;
}

} // namespace

CadenzorPacket::CadenzorPacket(QString sourceApp, QString title, QList<CadenzorBeat> beats,
                               QList<CadenzorScene> scenes, QList<CadenzorAct> acts, CadenzorSummary summary)
    : beats(std::move(beats)), scenes(std::move(scenes)), acts(std::move(acts)), summary(std::move(summary)),
      m_version(1), m_sourceApp(std::move(sourceApp)),
      m_exportedAt(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"))),
      m_title(std::move(title))
{
}

QJsonObject toJson(const CadenzorBeat& beat)
{
    QJsonObject object{{QStringLiteral("id"), beat.id},
                       {QStringLiteral("timestamp"), beat.timestamp},
                       {QStringLiteral("tier"), beat.tier},
                       {QStringLiteral("contentLength"), beat.contentLength},
                       {QStringLiteral("wordCount"), beat.wordCount}};
    putOptional(object, "sourceApp", beat.sourceApp);
    putOptional(object, "sceneId", beat.sceneId);
    putOptional(object, "actId", beat.actId);
    return object;
}

QJsonObject toJson(const CadenzorScene& scene)
{
    QJsonObject object{{QStringLiteral("id"), scene.id},
                       {QStringLiteral("startedAt"), scene.startedAt},
                       {QStringLiteral("beatCount"), scene.beatCount}};
    putOptional(object, "actId", scene.actId);
    putOptional(object, "endedAt", scene.endedAt);
    return object;
}

QJsonObject toJson(const CadenzorAct& act)
{
    QJsonObject object{{QStringLiteral("id"), act.id},
                       {QStringLiteral("startedAt"), act.startedAt},
                       {QStringLiteral("sceneCount"), act.sceneCount},
                       {QStringLiteral("beatCount"), act.beatCount}};
    putOptional(object, "title", act.title);
    putOptional(object, "endedAt", act.endedAt);
    return object;
}

QJsonObject toJson(const CadenzorSummary& summary)
{
    return QJsonObject{{QStringLiteral("totalBeats"), summary.totalBeats},
                       {QStringLiteral("totalScenes"), summary.totalScenes},
                       {QStringLiteral("totalActs"), summary.totalActs},
                       {QStringLiteral("totalCharacters"), summary.totalCharacters},
                       {QStringLiteral("tierBreakdown"), toObject(summary.tierBreakdown)},
                       {QStringLiteral("sourceBreakdown"), toObject(summary.sourceBreakdown)},
                       {QStringLiteral("dateRange"), QJsonArray::fromStringList(summary.dateRange)}};
}

QJsonObject CadenzorPacket::toJson() const
{
    return QJsonObject{{QStringLiteral("version"), m_version},
                       {QStringLiteral("sourceApp"), m_sourceApp},
                       {QStringLiteral("exportedAt"), m_exportedAt},
                       {QStringLiteral("title"), m_title},
                       {QStringLiteral("beats"), toArray(beats)},
                       {QStringLiteral("scenes"), toArray(scenes)},
                       {QStringLiteral("acts"), toArray(acts)},
                       {QStringLiteral("summary"), ::toJson(summary)}};
}

std::optional<CadenzorPacket> CadenzorPacket::fromJson(const QJsonObject& object, QString* error)
{
    QString problem;
    Reader reader(object, QString(), &problem);
    CadenzorPacket packet;
    packet.m_version = reader.integer("version");
    packet.m_sourceApp = reader.string("sourceApp");
    packet.m_exportedAt = reader.string("exportedAt");
    packet.m_title = reader.string("title");
    packet.beats = readList<CadenzorBeat>(reader, "beats", &problem, [](Reader& r) {
        CadenzorBeat beat;
        beat.id = r.string("id");
        beat.timestamp = r.string("timestamp");
        beat.tier = r.string("tier");
        beat.sourceApp = r.optionalString("sourceApp");
        beat.contentLength = r.integer("contentLength");
        beat.wordCount = r.integer("wordCount");
        beat.sceneId = r.optionalString("sceneId");
        beat.actId = r.optionalString("actId");
        return beat;
    });
    packet.scenes = readList<CadenzorScene>(reader, "scenes", &problem, [](Reader& r) {
        CadenzorScene scene;
        scene.id = r.string("id");
        scene.actId = r.optionalString("actId");
        scene.startedAt = r.string("startedAt");
        scene.endedAt = r.optionalString("endedAt");
        scene.beatCount = r.integer("beatCount");
        return scene;
    });
    packet.acts = readList<CadenzorAct>(reader, "acts", &problem, [](Reader& r) {
        CadenzorAct act;
        act.id = r.string("id");
        act.title = r.optionalString("title");
        act.startedAt = r.string("startedAt");
        act.endedAt = r.optionalString("endedAt");
        act.sceneCount = r.integer("sceneCount");
        act.beatCount = r.integer("beatCount");
        return act;
    });
    const QJsonObject summaryObject = reader.object("summary");
    if (reader.ok()) {
        Reader r(summaryObject, QStringLiteral("summary"), &problem);
        packet.summary.totalBeats = r.integer("totalBeats");
        packet.summary.totalScenes = r.integer("totalScenes");
        packet.summary.totalActs = r.integer("totalActs");
        packet.summary.totalCharacters = r.integer("totalCharacters");
        packet.summary.tierBreakdown = r.integerMap("tierBreakdown");
        packet.summary.sourceBreakdown = r.integerMap("sourceBreakdown");
        packet.summary.dateRange = r.stringList("dateRange");
    }
    if (!problem.isEmpty()) {
        if (error) {
            *error = problem;
        }
        return std::nullopt;
    }
    return packet;
}
