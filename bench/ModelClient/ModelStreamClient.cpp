// model_stream_client: one streaming generation against a server, timed from the request to the end of the
// stream. Prints "pieces <n> characters <n> elapsed_ms <ms>" and exits 0, or the error and exits 1.
//
//   model_stream_client <base URL>
#include "OllamaClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: model_stream_client <base URL>\n");
        return 2;
    }
    ostrel::OllamaClient client(QStringLiteral("bench"), QString::fromLocal8Bit(argv[1]));
    qint64 pieces = 0;
    QElapsedTimer timer;
    timer.start();
    int exitCode = 1;
    client.streamGenerate(
        QString(), QStringLiteral("Tell me a long story."), QStringLiteral("llama3.1:8b"), std::nullopt, std::nullopt,
        60, [&pieces](const QString&) { ++pieces; },
        [&](const ostrel::OllamaResult<QString>& result) {
            if (result.ok()) {
                std::printf("pieces %lld characters %lld elapsed_ms %lld\n", static_cast<long long>(pieces),
                            static_cast<long long>(result.value().size()), static_cast<long long>(timer.elapsed()));
                exitCode = 0;
            } else {
                std::fprintf(stderr, "model_stream_client: %s\n", qPrintable(result.error().errorDescription()));
            }
            QCoreApplication::quit();
        });
    app.exec();
    return exitCode;
}
