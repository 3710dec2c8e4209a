// fake_model_server: the scripted model server as a process, for tests and benchmarks that need the server
// outside their own process.
//
//   fake_model_server [--port N] [--script FILE] [--models a,b] [--answer TEXT]
//
// Listens on 127.0.0.1 (port 0: a free one) and prints "listening on http://127.0.0.1:<port>" as its first
// line; then one JSON line per request received: {"method", "path", "body"}. Without a script it behaves
// like a server holding --models (default llama3.1:8b) that answers --answer (default "Hello there").
// A script is a JSON object {"routes": [route, ...]}; each route has "method", "path" and one body source:
//   "json": object | "text": string | "base64": string | "lines": [object or string, ...]
// with optional "status" (200), "repeat" (lines repeated N times), "finalLines" (sent once after them),
// "finalLineFeed" (true), "splitEvery" (bytes per written piece), "chunked" (true for "lines"), "headerDelayMs", "pieceDelayMs",
// "ending" ("close", "stall", "reset"), "notHttp" (false), "once" (false: a one-shot reply queued first).
#include "FakeModelServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

using tovarine::test::FakeModelReply;
using tovarine::test::FakeModelServer;
using tovarine::test::RecordedRequest;

namespace {

std::optional<FakeModelReply> routeReply(const QJsonObject& route, QString& error)
{
    FakeModelReply reply;
    const int status = route.value(QStringLiteral("status")).toInt(200);
    if (route.contains(QStringLiteral("json"))) {
        reply = FakeModelReply::json(route.value(QStringLiteral("json")).toObject(), status);
    } else if (route.contains(QStringLiteral("text"))) {
        reply = FakeModelReply::text(status, route.value(QStringLiteral("text")).toString().toUtf8());
    } else if (route.contains(QStringLiteral("base64"))) {
        reply = FakeModelReply::text(
            status, QByteArray::fromBase64(route.value(QStringLiteral("base64")).toString().toLatin1()));
    } else if (route.contains(QStringLiteral("lines"))) {
        QList<QByteArray> lines;
        for (const QJsonValue& line : route.value(QStringLiteral("lines")).toArray()) {
            lines.append(line.isString() ? line.toString().toUtf8()
                                         : QJsonDocument(line.toObject()).toJson(QJsonDocument::Compact));
        }
        const int repeat = route.value(QStringLiteral("repeat")).toInt(1);
        QList<QByteArray> repeated;
        repeated.reserve(lines.size() * repeat);
        for (int i = 0; i < repeat; ++i) {
            repeated.append(lines);
        }
        for (const QJsonValue& line : route.value(QStringLiteral("finalLines")).toArray()) {
            repeated.append(line.isString() ? line.toString().toUtf8()
                                            : QJsonDocument(line.toObject()).toJson(QJsonDocument::Compact));
        }
        reply = FakeModelReply::lines(repeated, route.value(QStringLiteral("finalLineFeed")).toBool(true));
        reply.status = status;
    } else {
        error = QStringLiteral("a route needs \"json\", \"text\", \"base64\" or \"lines\"");
        return std::nullopt;
    }
    if (route.contains(QStringLiteral("chunked"))) {
        reply.chunked = route.value(QStringLiteral("chunked")).toBool();
    }
    if (const int bytes = route.value(QStringLiteral("splitEvery")).toInt(0); bytes > 0) {
        reply.splitEvery(bytes);
    }
    reply.notHttp = route.value(QStringLiteral("notHttp")).toBool(false);
    reply.headerDelayMs = route.value(QStringLiteral("headerDelayMs")).toInt(0);
    reply.pieceDelayMs = route.value(QStringLiteral("pieceDelayMs")).toInt(0);
    const QString ending = route.value(QStringLiteral("ending")).toString(QStringLiteral("close"));
    if (ending == QLatin1String("stall")) {
        reply.ending = FakeModelReply::Ending::stall;
    } else if (ending == QLatin1String("reset")) {
        reply.ending = FakeModelReply::Ending::reset;
    } else if (ending != QLatin1String("close")) {
        error = QStringLiteral("unknown ending \"") + ending + QLatin1Char('"');
        return std::nullopt;
    }
    return reply;
}

bool loadScript(FakeModelServer& server, const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = parseError.errorString();
        return false;
    }
    for (const QJsonValue& value : document.object().value(QStringLiteral("routes")).toArray()) {
        const QJsonObject route = value.toObject();
        const std::optional<FakeModelReply> reply = routeReply(route, error);
        if (!reply) {
            return false;
        }
        const QByteArray method = route.value(QStringLiteral("method")).toString(QStringLiteral("GET")).toLatin1();
        const QString routePath = route.value(QStringLiteral("path")).toString();
        if (route.value(QStringLiteral("once")).toBool(false)) {
            server.enqueueReply(method, routePath, *reply);
        } else {
            server.setReply(method, routePath, *reply);
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: a free one)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption scriptOption(QStringLiteral("script"), QStringLiteral("JSON file of scripted routes."),
                                          QStringLiteral("file"));
    const QCommandLineOption modelsOption(QStringLiteral("models"), QStringLiteral("Comma-separated model names."),
                                          QStringLiteral("names"), QStringLiteral("llama3.1:8b"));
    const QCommandLineOption answerOption(QStringLiteral("answer"), QStringLiteral("The answer to every prompt."),
                                          QStringLiteral("text"), QStringLiteral("Hello there"));
    parser.addOptions({portOption, scriptOption, modelsOption, answerOption});
    parser.process(app);

    FakeModelServer server;
    const QString models = parser.value(modelsOption);
    server.serveModels(models.isEmpty() ? QStringList() : models.split(QLatin1Char(',')), parser.value(answerOption));
    if (parser.isSet(scriptOption)) {
        QString error;
        if (!loadScript(server, parser.value(scriptOption), error)) {
            std::fprintf(stderr, "fake_model_server: %s: %s\n", qPrintable(parser.value(scriptOption)),
                         qPrintable(error));
            return 2;
        }
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535 || !server.listen(static_cast<quint16>(port))) {
        std::fprintf(stderr, "fake_model_server: cannot listen on 127.0.0.1:%s\n", qPrintable(parser.value(portOption)));
        return 1;
    }
    std::printf("listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    QObject::connect(&server, &FakeModelServer::requestReceived, [](const RecordedRequest& request) {
        const QJsonObject line{{QStringLiteral("method"), QString::fromLatin1(request.method)},
                               {QStringLiteral("path"), request.path},
                               {QStringLiteral("body"), QString::fromUtf8(request.body)}};
        std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    return app.exec();
}
