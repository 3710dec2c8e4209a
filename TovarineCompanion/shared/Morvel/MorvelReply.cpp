#include "MorvelReply.h"

#include "OstrelNumberFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <cmath>

namespace tovarine {

namespace {

// A small strict reader: each function fails with the path of the faulty member.
struct Reader
{
    QString error;

    bool fail(const QString& path, const char* what)
    {
        if (error.isEmpty()) {
            error =
                QStringLiteral("the engine's reply is not readable (%1 %2)").arg(path, QLatin1String(what));
        }
        return false;
    }

    bool present(const QJsonObject& object, const char* key) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        return !value.isUndefined() && !value.isNull();
    }

    bool string(const QJsonObject& object, const char* key, const QString& path, QString& out)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) {
            return fail(path + QLatin1String(key), "is missing");
        }
        if (!value.isString()) {
            return fail(path + QLatin1String(key), "is not a string");
        }
        out = value.toString();
        return true;
    }

    bool number(const QJsonObject& object, const char* key, const QString& path, double& out)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isDouble()) {
            return fail(path + QLatin1String(key), value.isUndefined() ? "is missing" : "is not a number");
        }
        out = value.toDouble();
        return true;
    }

    bool object(const QJsonObject& parent, const char* key, const QString& path, QJsonObject& out)
    {
        const QJsonValue value = parent.value(QLatin1String(key));
        if (!value.isObject()) {
            return fail(path + QLatin1String(key), "is not an object");
        }
        out = value.toObject();
        return true;
    }

    bool optionalString(const QJsonObject& object, const char* key, const QString& path,
                        std::optional<QString>& out)
    {
        if (!present(object, key)) {
            return true;
        }
        QString text;
        if (!string(object, key, path, text)) {
            return false;
        }
        out = text;
        return true;
    }
};

} // namespace

Expected<MorvelReply, QString> MorvelReply::decode(const QByteArray& json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return unexpected(
            QStringLiteral("the engine's reply is not JSON (%1)").arg(parseError.errorString()));
    }
    if (!document.isObject()) {
        return unexpected(QStringLiteral("the engine's reply is not a JSON object"));
    }
    const QJsonObject top = document.object();
    Reader r;
    MorvelReply reply;
    const QString root;

    const QJsonValue ok = top.value(QLatin1String("ok"));
    if (!ok.isBool()) {
        r.fail(QStringLiteral("ok"), ok.isUndefined() ? "is missing" : "is not a boolean");
        return unexpected(r.error);
    }
    reply.ok = ok.toBool();
    r.optionalString(top, "reason", root, reply.reason);
    r.optionalString(top, "route", root, reply.route);

    if (r.present(top, "quads")) {
        double quads = 0;
        if (r.number(top, "quads", root, quads)) {
            if (std::trunc(quads) != quads || quads < -9223372036854775808.0 ||
                quads >= 9223372036854775808.0) {
                r.fail(QStringLiteral("quads"), "is not an integer");
            } else {
                reply.quads = static_cast<std::int64_t>(quads);
            }
        }
    }
    if (r.present(top, "deviation")) {
        QJsonObject deviation;
        if (r.object(top, "deviation", root, deviation)) {
            reply.deviation = Deviation{};
            if (r.present(deviation, "scanToLimit")) {
                QJsonObject stats;
                Stats s;
                if (r.object(deviation, "scanToLimit", QStringLiteral("deviation."), stats) &&
                    r.number(stats, "mean", QStringLiteral("deviation.scanToLimit."), s.mean) &&
                    r.number(stats, "p99", QStringLiteral("deviation.scanToLimit."), s.p99)) {
                    reply.deviation->scanToLimit = s;
                }
            }
        }
    }
    if (r.present(top, "host")) {
        QJsonObject host;
        if (r.object(top, "host", root, host)) {
            reply.host = Host{};
            r.optionalString(host, "solveIn", QStringLiteral("host."), reply.host->solveIn);
        }
    }
    if (r.present(top, "limit")) {
        QJsonObject limit;
        Mesh mesh;
        if (r.object(top, "limit", root, limit) &&
            r.string(limit, "positions", QStringLiteral("limit."), mesh.positions) &&
            r.string(limit, "triangles", QStringLiteral("limit."), mesh.triangles)) {
            reply.limit = mesh;
        }
    }
    if (r.present(top, "cage")) {
        QJsonObject cage;
        Cage c;
        if (r.object(top, "cage", root, cage) &&
            r.string(cage, "positions", QStringLiteral("cage."), c.positions) &&
            r.string(cage, "edges", QStringLiteral("cage."), c.edges)) {
            const QJsonValue weights = cage.value(QLatin1String("creaseWeights"));
            if (!weights.isArray()) {
                r.fail(QStringLiteral("cage.creaseWeights"), "is not an array");
            } else {
                for (const QJsonValue& w : weights.toArray()) {
                    if (!w.isDouble()) {
                        r.fail(QStringLiteral("cage.creaseWeights"), "holds a value that is not a number");
                        break;
                    }
                    c.creaseWeights.push_back(w.toDouble());
                }
                reply.cage = c;
            }
        }
    }
    if (r.present(top, "files")) {
        QJsonObject files;
        Files f;
        if (r.object(top, "files", root, files) &&
            r.string(files, "threeDm", QStringLiteral("files."), f.threeDm) &&
            r.string(files, "vellacot", QStringLiteral("files."), f.vellacot)) {
            reply.files = f;
        }
    }
    if (!r.error.isEmpty()) {
        return unexpected(r.error);
    }
    return reply;
}

QString MorvelReply::summary(std::int64_t totalMs, const std::optional<QString>& writeError) const
{
    QStringList parts;
    parts << QLocale().toString(static_cast<qlonglong>(quads.value_or(0))) + QStringLiteral(" quads");
    if (deviation && deviation->scanToLimit) {
        parts << QStringLiteral("mean ") +
                     ostrel::OstrelNumberFormat::fixed(deviation->scanToLimit->mean, 1) +
                     QStringLiteral(" mm from the scan, 99% within ") +
                     ostrel::OstrelNumberFormat::fixed(deviation->scanToLimit->p99, 1) +
                     QStringLiteral(" mm");
    }
    const double seconds = static_cast<double>(totalMs) / 1000.0;
    parts << ostrel::OstrelNumberFormat::fixed(seconds, seconds < 10 ? 1 : 0) + QStringLiteral(" s");
    if (route && route->startsWith(QLatin1String("fallback"))) {
        parts << QStringLiteral("fallback cage (quad layout refused)");
    }
    if (host && host->solveIn && host->solveIn->startsWith(QLatin1String("page"))) {
        parts << QStringLiteral("solved without a worker");
    }
    QString line = parts.join(QStringLiteral(" \u00B7 "));
    if (writeError) {
        line += QStringLiteral(" \u00B7 files not saved: ") + *writeError;
    }
    return line;
}

} // namespace tovarine
