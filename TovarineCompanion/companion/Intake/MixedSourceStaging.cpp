#include "MixedSourceStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace tovarine::MixedSourceStaging {

namespace {

// Fewer stills than this and the continuous frames give the better reconstruction.
constexpr int kMinimumStills = 20;

} // namespace

std::optional<Staged> stage(const QString& imagesPath, const QString& tempDir)
{
    QDir images(imagesPath);
    if (!images.exists() || !images.isReadable()) {
        return std::nullopt;
    }
    const QStringList entries = images.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);

    QStringList frames;
    QStringList stills;
    for (const QString& entry : entries) {
        const QString extension = QFileInfo(entry).suffix().toLower();
        if (extension != QLatin1String("jpg") && extension != QLatin1String("jpeg")) {
            continue;
        }
        if (entry.startsWith(QLatin1String("frame_"))) {
            frames.append(entry);
        } else if (entry.startsWith(QLatin1String("hires_"))) {
            stills.append(entry);
        }
    }
    if (frames.isEmpty() || stills.isEmpty()) {
        return std::nullopt;
    }

    const bool useStills = stills.size() >= kMinimumStills;
    const QString stagingPath = QDir(tempDir).filePath(
        QStringLiteral("tovarine-recon-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    QDir staging(stagingPath);
    if (!QDir().mkpath(stagingPath)) {
        return std::nullopt;
    }
    for (const QString& name : useStills ? stills : frames) {
        if (!QFile::link(images.absoluteFilePath(name), staging.filePath(name))) {
            staging.removeRecursively();
            return std::nullopt;
        }
    }

    const QString stillCount = QString::number(stills.size());
    const QString frameCount = QString::number(frames.size());
    const QString note =
        useStills ? QStringLiteral("mixed-source images \u00b7 using %1 hires_* \u00b7 skipping %2 frame_*")
                        .arg(stillCount, frameCount)
                  : QStringLiteral("mixed-source images \u00b7 only %1 hires_* \u00b7 using %2 frame_*")
                        .arg(stillCount, frameCount);
    return Staged{stagingPath, note};
}

} // namespace tovarine::MixedSourceStaging
