// libFuzzer target for the capture zip intake: any bytes as a dropped zip, unpacked for real into a scratch
// folder, which must hold nothing but regular files and folders inside it afterwards.
#include "ZipUnpacker.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace tovarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace fs = std::filesystem;
    // The zip lives in memory; the unpacked files in a scratch folder of this process.
    static const int fd = ::memfd_create("capture.zip", MFD_CLOEXEC);
    static const fs::path scratch =
        fs::temp_directory_path() / ("tovarine-zip-fuzz-" + std::to_string(::getpid()));
    // Removed when the fuzzer exits.
    static const struct Cleanup
    {
        ~Cleanup()
        {
            std::error_code ignored;
            fs::remove_all(scratch, ignored);
        }
    } cleanup;
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        return 0;
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    fs::create_directories(scratch, ignored);
    const fs::path destination = scratch / "out";
    ZipUnpacker::Limits limits;
    limits.ratioFreeBytes = 1 << 20; // keep every run small
    (void)ZipUnpacker::unpack(QStringLiteral("/proc/self/fd/%1").arg(fd),
                              QString::fromStdString(destination.string()), nullptr, limits);
    for (fs::recursive_directory_iterator it(scratch, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
        const fs::file_type type = it->symlink_status(ignored).type();
        if (type != fs::file_type::regular && type != fs::file_type::directory) {
            __builtin_trap(); // a link, device or pipe was written
        }
    }
    return 0;
}
