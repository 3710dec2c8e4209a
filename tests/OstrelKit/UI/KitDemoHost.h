#pragma once

#include <QString>
#include <QWidget>

// A plain host window for the kit's views in tests: a dark surface with the view laid out inside, and a
// screenshot of it for review (copied into docs/screenshots/ by scripts/screenshots).
namespace ostrel::test {

class KitDemoHost : public QWidget
{
public:
    explicit KitDemoHost(QWidget* view, const QString& title = QStringLiteral("Kit demo"));
};

// Saves `widget` (rendered offscreen) as <name>.png in the tests' screenshot folder. Returns false when it
// cannot be written.
bool saveKitScreenshot(QWidget* widget, const QString& name);

} // namespace ostrel::test
