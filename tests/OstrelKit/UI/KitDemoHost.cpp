#include "KitDemoHost.h"

#include "OstrelPalette.h"
#include "OstrelWindows.h"
#include "Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QVBoxLayout>

namespace ostrel::test {

KitDemoHost::KitDemoHost(QWidget* view, const QString& title)
{
    setWindowTitle(title);
    OstrelWindows::fillBackground(this, OstrelPalette::srgb(0.09, 0.08, 0.12));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(view);
}

bool saveKitScreenshot(QWidget* widget, const QString& name)
{
    const QString dir = tovarine::test::screenshotFolder();
    QApplication::processEvents();
    return widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace ostrel::test
