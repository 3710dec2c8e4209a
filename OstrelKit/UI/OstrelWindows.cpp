#include "OstrelWindows.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
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
    // A floating kit window never keeps the application running once its main window is closed.
    window->setAttribute(Qt::WA_QuitOnClose, false);
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
    // A minimised window is restored: showing it alone would leave it in the task bar.
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void closeOnEscape(QWidget* window)
{
    QList<QKeySequence> closing = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        if (!closing.contains(keys)) {
            closing.append(keys);
        }
    }
    for (const QKeySequence& keys : closing) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
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

void setLineSpacedText(QLabel* label, const QString& text, double extraPt)
{
    QString html = text.toHtmlEscaped();
    html.replace(u'\n', QStringLiteral("<br>"));
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    // Qt's "line-distance" line height adds the distance between lines, as the design system measures it.
    label->setText(QStringLiteral("<div style=\"line-height: %1px; -qt-line-height-type: line-distance; "
                                  "white-space: pre-wrap;\">%2</div>")
                       .arg(QString::number(extraPt, 'f', 1), html));
}

void styleScrollBars(QWidget* widget, const QColor& track, const QColor& handle)
{
    const auto rgba = [](const QColor& c) {
        return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
    };
    widget->setStyleSheet(widget->styleSheet()
                          + QStringLiteral("QScrollBar:vertical { background: %1; width: 8px; margin: 0; border: none; }"
                                           "QScrollBar:horizontal { background: %1; height: 8px; margin: 0; border: none; }"
                                           "QScrollBar::handle { background: %2; border-radius: 3px; margin: 1px; }"
                                           "QScrollBar::handle:vertical { min-height: 24px; }"
                                           "QScrollBar::handle:horizontal { min-width: 24px; }"
                                           "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
                                           "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
                                .arg(rgba(track), rgba(handle)));
}

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    setTextColor(label, color);
    return label;
}

QWidget* hairline(const QColor& color, QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    fillBackground(line, color);
    return line;
}

void fade(QWidget* widget, double opacity)
{
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(opacity);
    widget->setGraphicsEffect(effect);
}

} // namespace ostrel::OstrelWindows
