#include "OstrelWindows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ostrel::OstrelWindows {

void prepareFloating(QWidget* window, const QString& title, QSize sizePt, const QColor& background,
                     bool resizable)
{
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint;
    if (resizable) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    window->setWindowFlags(flags);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(title);
    fillBackground(window, background);
    if (resizable) {
        window->resize(sizePt);
    } else {
        window->setFixedSize(sizePt);
    }
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void present(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void fillBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

} // namespace ostrel::OstrelWindows
