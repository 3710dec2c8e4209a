#pragma once

#include <QByteArray>
#include <QJsonValue>

// Pretty-printed JSON for files other applications read: two-space indent, " : " between key and value, the keys of
// every object in ascending order, "/" written as "\/", everything else outside ASCII as raw UTF-8. Integral numbers
// that fit 64 bits are written without a fraction; numbers are written the same whatever the locale.
// Any thread.
namespace SortedJsonWriter {
QByteArray write(const QJsonValue& value);
}
