#include "FolderSettingsFile.h"

#include "OstrelFileNames.h"

#include <QByteArrayList>
#include <QFile>
#include <QSaveFile>

namespace ostrel::FolderSettingsFile {

namespace {

const QByteArray kGroup = QByteArrayLiteral("[Desktop Entry]");
const QByteArray kKey = QByteArrayLiteral("Icon");

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray trimmed(const QByteArray& line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(line[end - 1])) {
        --end;
    }
    return line.mid(begin, end - begin);
}

// A group header: the line's first non-blank character is '['.
bool isHeader(const QByteArray& trimmedLine)
{
    return trimmedLine.startsWith('[');
}

// The line's key and value (both trimmed) when it is a "key=value" line.
std::optional<std::pair<QByteArray, QByteArray>> entry(const QByteArray& trimmedLine)
{
    if (trimmedLine.isEmpty() || trimmedLine.startsWith('#')) {
        return std::nullopt;
    }
    const qsizetype equals = trimmedLine.indexOf('=');
    if (equals < 0) {
        return std::nullopt;
    }
    return std::pair{trimmed(trimmedLine.left(equals)), trimmed(trimmedLine.mid(equals + 1))};
}

// "Icon", or "Icon" with option flags ("Icon[$e]"); a localised key ("Icon[de]") is another key.
bool isIconKey(const QByteArray& key)
{
    if (key == kKey) {
        return true;
    }
    return key.startsWith(kKey + "[$") && key.endsWith(']') && key.indexOf(']') == key.size() - 1;
}

QByteArray escaped(const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            // Blanks at either end of a value are trimmed by readers unless escaped.
            out += (i == 0 || i == bytes.size() - 1) ? QByteArrayLiteral("\\s") : QByteArrayLiteral(" ");
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                static const char digits[] = "0123456789abcdef";
                out += "\\x";
                out += digits[(static_cast<unsigned char>(c) >> 4) & 0xf];
                out += digits[static_cast<unsigned char>(c) & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

QString unescaped(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x':
            if (i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 && hexDigit(value[i + 2]) >= 0) {
                out += char(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2]));
                i += 2;
                break;
            }
            [[fallthrough]];
        default:
            // Not an escape readers know: kept as written.
            out += '\\';
            out += next;
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

QByteArray withIcon(const QByteArray& text, const QString& icon)
{
    const QByteArrayList lines = text.split('\n');
    QByteArrayList out;
    out.reserve(lines.size() + 1);
    qsizetype firstHeader = -1;
    bool inGroup = false;
    bool set = false;
    const QByteArray line = kKey + '=' + escaped(icon);
    for (const QByteArray& raw : lines) {
        const QByteArray bare = trimmed(raw);
        if (isHeader(bare)) {
            inGroup = bare == kGroup;
            if (inGroup && firstHeader < 0) {
                firstHeader = out.size();
            }
            out << raw;
            continue;
        }
        if (inGroup) {
            if (const auto keyValue = entry(bare); keyValue && isIconKey(keyValue->first)) {
                if (!set) {
                    out << line + (raw.endsWith('\r') ? "\r" : "");
                    set = true;
                }
                continue;
            }
        }
        out << raw;
    }
    if (!set && firstHeader >= 0) {
        out.insert(firstHeader + 1, line + (out[firstHeader].endsWith('\r') ? "\r" : ""));
        set = true;
    }
    QByteArray result = out.join('\n');
    if (!set) {
        if (!result.isEmpty()) {
            result += result.endsWith('\n') ? "\n" : "\n\n";
        }
        result += kGroup + '\n' + line + '\n';
    }
    return result;
}

std::optional<QString> icon(const QByteArray& text)
{
    std::optional<QString> found;
    bool inGroup = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray bare = trimmed(raw);
        if (isHeader(bare)) {
            inGroup = bare == kGroup;
            continue;
        }
        if (inGroup) {
            if (const auto keyValue = entry(bare); keyValue && isIconKey(keyValue->first)) {
                found = unescaped(keyValue->second);
            }
        }
    }
    return found;
}

std::optional<QString> setIcon(const QString& folder, const QString& icon)
{
    const QString path = OstrelFileNames::childPath(folder, kFileName);
    if (path.isEmpty()) {
        return QStringLiteral("no folder was given");
    }
    QByteArray text;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            return QStringLiteral("could not read %1: %2").arg(path, existing.errorString());
        }
        text = existing.read(kMaxBytes + 1);
        if (existing.error() != QFileDevice::NoError) {
            return QStringLiteral("could not read %1: %2").arg(path, existing.errorString());
        }
        if (text.size() > kMaxBytes) {
            return QStringLiteral(
                       "%1 is larger than %2 bytes, so it is no folder settings file; left unchanged")
                .arg(path)
                .arg(kMaxBytes);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("could not write %1: %2").arg(path, file.errorString());
    }
    const QByteArray updated = withIcon(text, icon);
    if (file.write(updated) != updated.size() || !file.commit()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return QStringLiteral("could not write %1: %2").arg(path, why);
    }
    return std::nullopt;
}

} // namespace ostrel::FolderSettingsFile
