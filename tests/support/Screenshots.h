#pragma once

#include <QDir>
#include <QString>

namespace tovarine::test {

// The folder where tests save the pictures they take for review: screenshots/ in the build folder, made on
// first use. Never the checkout, so a test run leaves the working tree as it was and two builds never write
// the same files; scripts/screenshots runs the tests that take them and copies them into docs/screenshots/.
// Any thread.
inline QString screenshotFolder()
{
    const QString folder = QStringLiteral(TOVARINE_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    return folder;
}

} // namespace tovarine::test
