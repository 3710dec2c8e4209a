// libFuzzer entry over the readers of the photogrammetry's files: any bytes as the fused point cloud (PLY),
// as a depth or normal map array, and as a frame whose JPEG header is read and whose scans are followed to
// their end (frames cut short). The readers take a path, so the
// bytes go to a file of this process first.
#include "DensePoints.h"
#include "DenseWorkspace.h"
#include "FrameStaging.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString path =
        QDir::temp().filePath(QStringLiteral("tovarine-fuzz-dense-%1.bin").arg(qint64(::getpid())));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    (void)tovarine::DensePoints::read(path);
    int width = 0, height = 0, channels = 0;
    std::vector<float> values;
    (void)tovarine::stereo::readColmapArray(path.toStdString(), width, height, channels, values);
    (void)tovarine::FrameStaging::readJpegFrame(path);
    return 0;
}
