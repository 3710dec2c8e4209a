#include "DocumentGroupLaunchGuard.h"

#include "UserDefaults.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace ostrel {

namespace {

const QString kSuppressKey = QStringLiteral("NSDocumentSuppressOpenUntitled");

bool isKitOrSystemWindow(const QWidget* window)
{
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog) {
        return true; // popups, menus, tooltips, splash screens, tool windows
    }
    if (qobject_cast<const QMenu*>(window) || qobject_cast<const QMainWindow*>(window)) {
        return true;
    }
    const QString name = window->objectName();
    return name.startsWith(QLatin1String("Ostrel")) || name.startsWith(QLatin1String("SearchableHelp")) ||
           name.startsWith(QLatin1String("Concordance"));
}

} // namespace

DocumentGroupLaunchGuard::~DocumentGroupLaunchGuard() = default;

void DocumentGroupLaunchGuard::suppressDocumentGroupPicker()
{
    UserDefaults::standard().setValue(kSuppressKey, true);
}

void DocumentGroupLaunchGuard::dismissPickerWindows()
{
    const std::weak_ptr<bool> alive = m_alive;
    for (int step = 0; step < kSweeps; ++step) {
        QTimer::singleShot(step * kSweepStepMs, qApp, [alive] {
            if (alive.lock()) {
                sweepPickerWindows();
            }
        });
    }
}

void DocumentGroupLaunchGuard::sweepPickerWindows()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        windows << w;
    }
    for (const QPointer<QWidget>& window : windows) {
        if (!window) {
            continue;
        }
        if (qobject_cast<QFileDialog*>(window.data())) {
            window->close();
            continue;
        }
        if (isKitOrSystemWindow(window) || !window->windowFilePath().isEmpty() || !window->isVisible()) {
            continue;
        }
        const QString title = window->windowTitle().toLower();
        if (title.isEmpty() || title == QLatin1String("open") || title.contains(QLatin1String("browser"))) {
            window->close();
        }
    }
}

} // namespace ostrel
