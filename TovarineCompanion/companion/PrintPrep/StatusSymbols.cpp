#include "StatusSymbols.h"

#include "OstrelSymbolPainter.h"
#include "PanelStyle.h"

namespace tovarine::StatusSymbols {

QString symbolName(Status status)
{
    return status == Status::ok ? QStringLiteral("checkmark.circle")
                                : QStringLiteral("exclamationmark.triangle");
}

QColor color(Status status)
{
    return status == Status::ok ? PanelStyle::kGreen : PanelStyle::kYellow;
}

QPixmap pixmap(Status status, int sizePx)
{
    return ostrel::OstrelSymbolPainter::pixmap(symbolName(status), color(status), sizePx);
}

} // namespace tovarine::StatusSymbols
