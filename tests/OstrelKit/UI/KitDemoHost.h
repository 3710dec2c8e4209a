#pragma once

#include <QString>
#include <QWidget>

// A plain host window for the kit's views in tests: a dark surface with the view laid out inside, and a
// screenshot of it for review in docs/screenshots/.
namespace ostrel::test {

class KitDemoHost : public QWidget
{
public:
    explicit KitDemoHost(QWidget* view, const QString& title = QStringLiteral("Kit demo"));
};

// Saves `widget` (rendered offscreen) as docs/screenshots/<name>.png. Returns false when it cannot be
// written.
bool saveKitScreenshot(QWidget* widget, const QString& name);

} // namespace ostrel::test
