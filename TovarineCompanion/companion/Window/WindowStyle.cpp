#include "WindowStyle.h"

namespace tovarine::WindowStyle {

QColor withOpacity(const QColor& color, double opacity)
{
    QColor result = color;
    result.setAlphaF(float(opacity));
    return result;
}

QString css(const QColor& color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QString css(const QColor& color, double opacity)
{
    return css(withOpacity(color, opacity));
}

QFont font(Face face, int pixelSize, QFont::Weight weight)
{
    QFont result;
    switch (face) {
    case Face::serif:
        result = QFont(QStringLiteral("serif"));
        result.setStyleHint(QFont::Serif);
        break;
    case Face::monospaced:
        result = QFont(QStringLiteral("monospace"));
        result.setStyleHint(QFont::Monospace);
        break;
    case Face::system:
        break;
    }
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

} // namespace tovarine::WindowStyle
