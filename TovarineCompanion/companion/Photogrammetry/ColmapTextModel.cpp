#include "ColmapTextModel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

namespace tovarine::ColmapTextModel {
namespace {

// The data lines of a COLMAP text file: comment lines dropped, empty lines kept (an image without
// observations has an empty second line).
bool readDataLines(const QString& path, QList<QByteArray>& lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray all = file.readAll();
    for (const QByteArray& line : all.split('\n')) {
        if (!line.startsWith('#')) {
            lines.append(line.trimmed());
        }
    }
    while (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return true;
}

QList<QByteArray> fields(const QByteArray& line)
{
    return line.simplified().split(' ');
}

} // namespace

Expected<SparseModel, QString> read(const QString& folder)
{
    const QDir dir(folder);
    SparseModel model;

    QList<QByteArray> imageLines;
    if (!readDataLines(dir.filePath(QStringLiteral("images.txt")), imageLines)) {
        return unexpected(QStringLiteral("The sparse model has no images.txt in %1.").arg(folder));
    }
    for (qsizetype i = 0; i < imageLines.size(); i += 2) {
        const QList<QByteArray> f = fields(imageLines[i]);
        if (f.size() < 10) {
            return unexpected(QStringLiteral("images.txt is malformed at data line %1.").arg(i + 1));
        }
        bool ok = true;
        std::array<double, 7> v{};
        for (int k = 0; k < 7; ++k) {
            bool fieldOk = false;
            v[k] = f[k + 1].toDouble(&fieldOk);
            ok = ok && fieldOk;
        }
        SparseImage image;
        bool idOk = false;
        image.id = f[0].toInt(&idOk);
        bool cameraOk = false;
        image.cameraId = f[8].toInt(&cameraOk);
        if (!ok || !idOk || !cameraOk) {
            return unexpected(QStringLiteral("images.txt is malformed at data line %1.").arg(i + 1));
        }
        image.rotation = geo::Mat3::fromQuaternion(v[0], v[1], v[2], v[3]);
        image.translation = {v[4], v[5], v[6]};
        // The name is the rest of the line: it may hold spaces.
        QList<QByteArray> nameParts = f.mid(9);
        image.name = QString::fromUtf8(nameParts.join(' '));
        model.images.push_back(image);
    }

    QList<QByteArray> pointLines;
    if (!readDataLines(dir.filePath(QStringLiteral("points3D.txt")), pointLines)) {
        return unexpected(QStringLiteral("The sparse model has no points3D.txt in %1.").arg(folder));
    }
    model.points.reserve(pointLines.size());
    for (qsizetype i = 0; i < pointLines.size(); ++i) {
        if (pointLines[i].isEmpty()) {
            continue;
        }
        const QList<QByteArray> f = fields(pointLines[i]);
        if (f.size() < 8 || (f.size() - 8) % 2 != 0) {
            return unexpected(QStringLiteral("points3D.txt is malformed at data line %1.").arg(i + 1));
        }
        SparsePoint point;
        bool ok = true;
        auto number = [&](int k) {
            bool fieldOk = false;
            const double value = f[k].toDouble(&fieldOk);
            ok = ok && fieldOk;
            return value;
        };
        point.position = {number(1), number(2), number(3)};
        for (int c = 0; c < 3; ++c) {
            point.color[c] = static_cast<std::uint8_t>(std::clamp(number(4 + c), 0.0, 255.0));
        }
        point.reprojectionErrorPx = number(7);
        for (qsizetype k = 8; k + 1 < f.size(); k += 2) {
            point.imageIds.push_back(static_cast<int>(number(static_cast<int>(k))));
        }
        if (!ok) {
            return unexpected(QStringLiteral("points3D.txt is malformed at data line %1.").arg(i + 1));
        }
        model.points.push_back(std::move(point));
    }

    QList<QByteArray> cameraLines;
    if (readDataLines(dir.filePath(QStringLiteral("cameras.txt")), cameraLines)) {
        for (qsizetype i = 0; i < cameraLines.size(); ++i) {
            if (cameraLines[i].isEmpty()) {
                continue;
            }
            const QList<QByteArray> f = fields(cameraLines[i]);
            SparseCamera camera;
            bool ok = f.size() >= 4;
            auto integer = [&](int k) {
                bool fieldOk = false;
                const int value = f.value(k).toInt(&fieldOk);
                ok = ok && fieldOk;
                return value;
            };
            camera.id = integer(0);
            camera.model = QString::fromLatin1(f.value(1));
            camera.widthPx = integer(2);
            camera.heightPx = integer(3);
            for (qsizetype k = 4; k < f.size(); ++k) {
                bool fieldOk = false;
                camera.params.push_back(f[k].toDouble(&fieldOk));
                ok = ok && fieldOk;
            }
            if (!ok) {
                return unexpected(QStringLiteral("cameras.txt is malformed at data line %1.").arg(i + 1));
            }
            model.cameras.push_back(std::move(camera));
        }
    }
    return model;
}

int registeredImageCount(const QString& folder)
{
    QList<QByteArray> lines;
    if (!readDataLines(QDir(folder).filePath(QStringLiteral("images.txt")), lines)) {
        return 0;
    }
    return static_cast<int>((lines.size() + 1) / 2);
}

QString largestModel(const QString& root)
{
    const QDir dir(root);
    QString best;
    int bestCount = 0;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const int count = registeredImageCount(dir.filePath(name));
        if (count > bestCount) {
            bestCount = count;
            best = dir.filePath(name);
        }
    }
    return best;
}

} // namespace tovarine::ColmapTextModel
