#include "QuorvantileRenderPaths.h"

#include "OstrelFileNames.h"
#include "QuorvantileManifest.h"

#include <QDir>
#include <QHostAddress>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

std::optional<QString> quorvantilePrivateRenderDirectory(QString* error)
{
    const QString path =
        QDir(QDir::tempPath()).filePath(QStringLiteral("quorvantile-render-%1").arg(::getuid()));
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (error) {
            *error =
                QStringLiteral("Could not create %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        }
        return std::nullopt;
    }
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 0077) != 0) {
        if (error) {
            *error = QStringLiteral("%1 is not a private folder of this user").arg(path);
        }
        return std::nullopt;
    }
    return path;
}

QString quorvantileSegmentPath(const QString& directory, const QUuid& jobID)
{
    return ostrel::OstrelFileNames::childPath(directory, QStringLiteral("quorvantile_segment_") +
                                                             quorvantileUuidText(jobID) +
                                                             QStringLiteral(".mov"));
}

bool quorvantileIsValidRenderHost(const QString& host)
{
    if (host.isEmpty() || host.size() > 253) {
        return false;
    }
    if (host.contains(QLatin1Char(':'))) {
        QHostAddress address;
        return !host.contains(QLatin1Char('%')) && address.setAddress(host) &&
               address.protocol() == QAbstractSocket::IPv6Protocol;
    }
    if (host.startsWith(QLatin1Char('-')) || host.startsWith(QLatin1Char('.'))) {
        return false;
    }
    return std::all_of(host.cbegin(), host.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
               u == u'-' || u == u'.';
    });
}

QString quorvantileRenderShortName(const QString& nodeName)
{
    const qsizetype space = nodeName.indexOf(QLatin1Char(' '));
    return space < 0 ? nodeName : nodeName.left(space);
}

QString quorvantileRenderWorkerName(const QString& nodeName)
{
    QString name = nodeName;
    name.remove(QStringLiteral(".local"));
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace ostrel
