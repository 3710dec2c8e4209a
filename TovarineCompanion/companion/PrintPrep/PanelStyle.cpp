#include "PanelStyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>

namespace tovarine::PanelStyle {

QFont font(bool monospaced, int pixelSize)
{
    QFont f = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                         : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(pixelSize);
    return f;
}

QString whiteText(double opacity)
{
    return QStringLiteral("color: rgba(255, 255, 255, %1);").arg(int(opacity * 255.0 + 0.5));
}

QString fieldStyleSheet()
{
    return QStringLiteral("QLineEdit { border: 1px solid rgba(255, 255, 255, 64); border-radius: 5px;"
                          " padding: 1px 4px; background: rgba(255, 255, 255, 20); color: white; }");
}

QLineEdit* numberField(const QString& name, int widthPx)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setFixedWidth(widthPx);
    field->setAlignment(Qt::AlignRight);
    field->setStyleSheet(fieldStyleSheet());
    return field;
}

QLabel* unitLabel()
{
    auto* label = new QLabel;
    label->setFont(font(true, 11));
    label->setStyleSheet(whiteText(0.6));
    return label;
}

int monospacedLinePx(int pixelSize)
{
    return (pixelSize * 12 + 5) / 10;
}

void keepPlaceWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QString buttonStyleSheet()
{
    return QStringLiteral(
        "QPushButton, QToolButton { color: white; background: rgba(255, 255, 255, 28);"
        " border: 1px solid rgba(255, 255, 255, 45); border-radius: 5px; padding: 2px 8px; }"
        "QPushButton:pressed, QToolButton:pressed { background: rgba(255, 255, 255, 60); }"
        "QToolButton:checked { background: rgba(255, 255, 255, 70); }"
        "QPushButton:disabled, QToolButton:disabled { color: rgba(255, 255, 255, 90); }");
}

QString sliderStyleSheet()
{
    return QStringLiteral(
        "QSlider::groove:horizontal { height: 3px; background: rgba(255, 255, 255, 50); border-radius: 1px; }"
        "QSlider::sub-page:horizontal { background: rgb(255, 214, 10); border-radius: 1px; }"
        "QSlider::handle:horizontal { background: white; width: 12px; margin: -5px 0; border-radius: 6px; }");
}

} // namespace tovarine::PanelStyle
