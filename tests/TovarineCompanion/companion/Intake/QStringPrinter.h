#pragma once

#include <QString>
#include <ostream>

// Readable QString values in GoogleTest failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
