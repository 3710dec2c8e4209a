// libFuzzer target for KDE's folder settings file as found in a folder (any bytes): setting the icon must
// give back exactly the icon set, whatever the file held before and whatever the icon's path holds, and
// setting it again (to the same or another path) must change only that key.
#include "FolderSettingsFile.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    // The first byte says how many of the following bytes are the icon's path; the rest is the file.
    const std::size_t iconBytes = std::min<std::size_t>(data[0], size - 1);
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const QString icon = QString::fromUtf8(bytes, qsizetype(iconBytes));
    const QByteArray text(bytes + iconBytes, qsizetype(size - 1 - iconBytes));

    (void)FolderSettingsFile::icon(text);
    const QByteArray once = FolderSettingsFile::withIcon(text, icon);
    if (FolderSettingsFile::icon(once) != icon) {
        __builtin_trap(); // the file managers would read another icon than the one set
    }
    if (FolderSettingsFile::withIcon(once, icon) != once) {
        __builtin_trap(); // setting the same icon again changed the file
    }
    const QString other = icon + QStringLiteral("/other");
    if (FolderSettingsFile::withIcon(once, other) != FolderSettingsFile::withIcon(text, other)) {
        __builtin_trap(); // the first setting left something behind besides its key
    }
    return 0;
}
