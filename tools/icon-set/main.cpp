// Writes an application icon set from an emoji: <prefix>_<size>.png for every standard size.
//   tovarine-icon-set <emoji> <output folder> <prefix>
// Exits 1 with a message saying why when a size could not be written.

#include "OstrelIconGenerator.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // a build step has no display
    }
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: tovarine-icon-set <emoji> <output folder> <prefix>\n", stderr);
        return 2;
    }
    QString problem;
    const QStringList written =
        ostrel::OstrelIconGenerator::generateAppIconPNGs(args[1], args[2], args[3], &problem);
    if (written.size() != ostrel::OstrelIconGenerator::standardSizes.size()) {
        std::fprintf(stderr, "tovarine-icon-set: wrote %d of %d icons into %s: %s\n", int(written.size()),
                     int(ostrel::OstrelIconGenerator::standardSizes.size()), qPrintable(args[2]),
                     qPrintable(problem));
        return 1;
    }
    return 0;
}
