#include "OstrelFileNames.h"

namespace ostrel::OstrelFileNames {

bool isSingleComponent(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString plainPath(const QString& path)
{
    return path.startsWith(QLatin1Char(':')) ? QStringLiteral("./") + path : path;
}

QString childPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || !isSingleComponent(name)) {
        return {};
    }
    QString path = plainPath(folder);
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path + name;
}

} // namespace ostrel::OstrelFileNames
