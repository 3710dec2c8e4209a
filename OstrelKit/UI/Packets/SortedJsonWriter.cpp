#include "SortedJsonWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

void appendIndent(QByteArray& out, int level)
{
    out.append(QByteArray(level * 2, ' '));
}

void appendString(QByteArray& out, const QString& text)
{
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append("\\/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                std::array<char, 8> buffer{};
                std::snprintf(buffer.data(), buffer.size(), "\\u%04x", static_cast<unsigned>(c));
                out.append(buffer.data());
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

void appendNumber(QByteArray& out, double value)
{
    std::array<char, 32> buffer{};
    std::to_chars_result written{};
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 9.2e18) {
        written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), static_cast<long long>(value));
    } else if (std::isfinite(value)) {
        written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    } else {
        out.append("null"); // JSON has no spelling for NaN or infinity
        return;
    }
    out.append(buffer.data(), written.ptr - buffer.data());
}

void appendValue(QByteArray& out, const QJsonValue& value, int level)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out.append("null"); break;
    case QJsonValue::Bool: out.append(value.toBool() ? "true" : "false"); break;
    case QJsonValue::Double: {
        // Integers keep all 64 bits; QJsonValue::toDouble would round those above 2^53.
        const qint64 integer = value.toInteger(std::numeric_limits<qint64>::min());
        if (integer != std::numeric_limits<qint64>::min()) {
            std::array<char, 24> buffer{};
            const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), integer);
            out.append(buffer.data(), written.ptr - buffer.data());
        } else {
            appendNumber(out, value.toDouble());
        }
        break;
    }
    case QJsonValue::String: appendString(out, value.toString()); break;
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        if (array.isEmpty()) {
            out.append("[]");
            break;
        }
        out.append("[\n");
        for (qsizetype i = 0; i < array.size(); ++i) {
            appendIndent(out, level + 1);
            appendValue(out, array.at(i), level + 1);
            out.append(i + 1 < array.size() ? ",\n" : "\n");
        }
        appendIndent(out, level);
        out.append(']');
        break;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.isEmpty()) {
            out.append("{}");
            break;
        }
        QStringList keys = object.keys();
        keys.sort(Qt::CaseSensitive);
        out.append("{\n");
        for (qsizetype i = 0; i < keys.size(); ++i) {
            appendIndent(out, level + 1);
            appendString(out, keys.at(i));
            out.append(" : ");
            appendValue(out, object.value(keys.at(i)), level + 1);
            out.append(i + 1 < keys.size() ? ",\n" : "\n");
        }
        appendIndent(out, level);
        out.append('}');
        break;
    }
    }
}

} // namespace

QByteArray SortedJsonWriter::write(const QJsonValue& value)
{
    QByteArray out;
    appendValue(out, value, 0);
    return out;
}
