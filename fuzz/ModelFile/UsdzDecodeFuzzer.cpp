// libFuzzer entry over the model-file reader: any bytes as a package. A second path wraps the bytes as the root
// layer of a valid package, so the layer parser is reached without the fuzzer having to forge zip checksums.
#include "UsdzFile.h"
#include "ZipPackage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)tovarine::UsdzFile::decode(bytes);

    const std::string_view layer(reinterpret_cast<const char*>(data), size);
    const auto package = tovarine::ZipPackage::encodeStored({{QStringLiteral("model.usda"), layer}});
    if (package) {
        (void)tovarine::UsdzFile::decode(package.value());
    }
    return 0;
}
