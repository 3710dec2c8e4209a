#include "OstrelIconGenerator.h"

#include "FileManagerIcon.h"
#include "FolderSettingsFile.h"
#include "OstrelFileNames.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <filesystem>
#include <optional>
#include <system_error>

namespace ostrel::OstrelIconGenerator {

namespace {
const QString kEmojiFamily = QStringLiteral("Noto Color Emoji");

// Writes `image` as a PNG to `path`, whole or not at all (replacing any old file). Returns why not.
std::optional<QString> writePng(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("could not write %1: %2").arg(path, file.errorString());
    }
    if (!image.save(&file, "PNG")) {
        const QString why =
            file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("PNG encoding failed");
        file.cancelWriting();
        return QStringLiteral("could not write %1: %2").arg(path, why);
    }
    if (!file.commit()) {
        return QStringLiteral("could not write %1: %2").arg(path, file.errorString());
    }
    return std::nullopt;
}

// Draws the emoji for a file icon and writes it to `path`. Returns why not.
std::optional<QString> writeFileIcon(const QString& emoji, const QString& path)
{
    const QImage image = renderEmoji(emoji, kFileIconSize);
    if (image.isNull()) {
        return QStringLiteral("could not draw the emoji at %1 pixels").arg(kFileIconSize);
    }
    return writePng(image, path);
}

QString sentence(const QString& text)
{
    if (text.isEmpty()) {
        return text;
    }
    return text.at(0).toUpper() + text.mid(1) + (text.endsWith(QLatin1Char('.')) ? "" : ".");
}

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Makes `folder` and the folders above it. std::filesystem, not QDir: it says why a folder could not be made,
// and never takes a name beginning with ':' for a Qt resource. Returns why not.
std::optional<QString> makeFolder(const QString& folder)
{
    std::error_code made;
    std::filesystem::create_directories(fsPath(folder), made);
    if (made) {
        return QStringLiteral("could not make the folder %1: %2")
            .arg(folder, QString::fromLocal8Bit(made.message()));
    }
    return std::nullopt;
}
} // namespace

QImage renderEmoji(const QString& emoji, int size)
{
    if (size < 1) {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QFont font(kEmojiFamily);
    font.setPixelSize(std::max(1, qRound(size * 0.72)));
    const QFontMetricsF metrics(font);
    const qreal w = metrics.horizontalAdvance(emoji);
    const qreal h = metrics.height();
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The text's box is centred; its baseline sits at the font's ascent inside the box.
    painter.drawText(QPointF((size - w) * 0.5, (size - h) * 0.5 + metrics.ascent()), emoji);
    painter.end();
    return image;
}

void setDockIcon(const QString& emoji, int size)
{
    const QImage image = renderEmoji(emoji, size);
    if (!image.isNull()) {
        QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(image)));
    }
}

void setDockIcon(const QStringList& emojis, int size)
{
    if (emojis.isEmpty()) {
        return;
    }
    setDockIcon(emojis.at(QRandomGenerator::global()->bounded(int(emojis.size()))), size);
}

QStringList generateAppIconPNGs(const QString& emoji, const QString& outputDirectory, const QString& prefix,
                                QString* problem)
{
    QStringList written;
    const auto fail = [problem](const QString& why) {
        if (problem && problem->isEmpty()) {
            *problem = why;
        }
    };
    // The prefix is part of a file name: one that holds a path separator (or NUL) could name a file outside
    // the folder ("../x", "/abs", "a/../../b"), so it is refused and nothing is written.
    if (prefix.contains(QLatin1Char('/')) || prefix.contains(QLatin1Char('\\')) ||
        prefix.contains(QChar(0))) {
        fail(
            QStringLiteral("the prefix %1 holds '/', '\\' or NUL, so it could name a file outside the folder")
                .arg(prefix));
        return written;
    }
    if (outputDirectory.isEmpty()) {
        fail(QStringLiteral("no folder was given"));
        return written;
    }
    if (const auto why = makeFolder(outputDirectory)) {
        fail(*why);
        return written;
    }
    for (int size : standardSizes) {
        const QImage image = renderEmoji(emoji, size);
        if (image.isNull()) {
            fail(QStringLiteral("could not draw the emoji at %1 pixels").arg(size));
            continue;
        }
        // Joined as text: a prefix beginning with ':' names a file in the folder, not a resource.
        const QString path = OstrelFileNames::childPath(
            outputDirectory, prefix + QLatin1Char('_') + QString::number(size) + QStringLiteral(".png"));
        if (const auto why = writePng(image, path)) {
            fail(*why);
            continue;
        }
        written << path;
    }
    return written;
}

QString setFolderIcon(const QString& emoji, const QString& folder)
{
    if (folder.isEmpty()) {
        return sentence(QStringLiteral("no folder was given"));
    }
    std::error_code checked;
    if (!std::filesystem::is_directory(fsPath(folder), checked)) {
        return sentence(
            QStringLiteral("%1 is not a folder%2")
                .arg(folder,
                     checked ? QStringLiteral(": ") + QString::fromLocal8Bit(checked.message()) : QString()));
    }
    const QString image = OstrelFileNames::childPath(folder, kFolderIconFileName);
    if (const auto why = writeFileIcon(emoji, image)) {
        return sentence(*why);
    }
    // Both point at the image by its absolute path, which both kinds of file managers take.
    const QString absoluteImage = QFile::decodeName(QByteArray::fromStdString(
        std::filesystem::absolute(fsPath(image), checked).lexically_normal().string()));
    QStringList problems;
    if (const auto why = FileManagerIcon::setCustomIcon(folder, absoluteImage)) {
        problems << sentence(*why);
    }
    if (const auto why = FolderSettingsFile::setIcon(folder, absoluteImage)) {
        problems << sentence(QStringLiteral("KDE's file managers will not show the icon: ") + *why);
    }
    return problems.join(QLatin1Char(' '));
}

QString setBundleIcon(const QString& emoji)
{
    const QString application = QCoreApplication::applicationFilePath();
    if (application.isEmpty()) {
        return sentence(QStringLiteral("the application's file is not known"));
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (const auto why = makeFolder(folder)) {
        return sentence(*why);
    }
    const QString image = OstrelFileNames::childPath(folder, kApplicationIconFileName);
    if (const auto why = writeFileIcon(emoji, image)) {
        return sentence(*why);
    }
    if (const auto why = FileManagerIcon::setCustomIcon(application, image)) {
        return sentence(*why);
    }
    return {};
}

} // namespace ostrel::OstrelIconGenerator
