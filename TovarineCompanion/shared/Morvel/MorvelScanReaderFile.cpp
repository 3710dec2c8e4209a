#include "MorvelScanReader.h"

#include "UsdzFile.h"

namespace tovarine::MorvelScanReader {

Expected<MorvelScan, Failure> read(const QString& usdzPath)
{
    const auto mesh = UsdzFile::read(usdzPath);
    if (!mesh) {
        return unexpected(Failure{Failure::Kind::noAsset});
    }
    return fromMesh(mesh.value());
}

} // namespace tovarine::MorvelScanReader
