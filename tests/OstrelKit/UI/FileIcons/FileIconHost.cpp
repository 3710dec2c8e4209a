// Sets a folder's icon and this program's own file's icon with the kit's emoji icon generator, run as its own
// process so it meets the session bus a test gives it. Prints what could not be done, one line each:
//   folder: <result of setting the folder's icon>
//   application: <result of setting the application file's icon>
//   ostrel-file-icon-host <emoji> <folder>
#include "OstrelIconGenerator.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-file-icon-host"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: ostrel-file-icon-host <emoji> <folder>\n", stderr);
        return 2;
    }
    const auto line = [](const char* what, QString result) {
        result.replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::printf("%s: %s\n", what, result.toUtf8().constData());
    };
    line("folder", ostrel::OstrelIconGenerator::setFolderIcon(args[1], args[2]));
    line("application", ostrel::OstrelIconGenerator::setBundleIcon(args[1]));
    return 0;
}
