#include "TestSupport.h"

#include <QSettings>

namespace tovarine::test {

QString testdataPath(const QString& relative)
{
    return QStringLiteral(TOVARINE_TESTDATA_DIR "/") + relative;
}

void useTemporarySettings(const QTemporaryDir& dir)
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

} // namespace tovarine::test
