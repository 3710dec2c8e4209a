#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace tovarine::test {

// Gives this test process, and every process it starts, a settings folder of its own: XDG_CONFIG_HOME in a
// fresh temporary folder, unless a test process above this one already set it. So no test reads or writes
// the user's settings, and test processes running side by side (ctest -j, two checkouts) never see what the
// other stored. Call at the top of main, before the first settings access; keep the folder until the tests
// end. Null when a parent's folder is in use (or none could be made).
inline std::unique_ptr<QTemporaryDir> usePrivateSettingsFolder()
{
    if (qEnvironmentVariableIsSet("TOVARINE_TEST_SETTINGS_HOME")) {
        return nullptr;
    }
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        return nullptr;
    }
    qputenv("TOVARINE_TEST_SETTINGS_HOME", QFile::encodeName(folder->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->path()));
    return folder;
}

} // namespace tovarine::test
