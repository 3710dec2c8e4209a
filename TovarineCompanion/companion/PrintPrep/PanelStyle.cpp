#include "PanelStyle.h"

#include <QFontDatabase>

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

} // namespace tovarine::PanelStyle
