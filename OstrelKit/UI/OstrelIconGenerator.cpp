#include "OstrelIconGenerator.h"

#include "OstrelFileNames.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace ostrel::OstrelIconGenerator {

namespace {
const QString kEmojiFamily = QStringLiteral("Noto Color Emoji");
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
    // std::filesystem, not QDir: it says why a folder could not be made, and never takes a name beginning
    // with ':' for a Qt resource.
    std::error_code made;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(outputDirectory).toStdString()), made);
    if (made) {
        fail(QStringLiteral("could not make the folder %1: %2")
                 .arg(outputDirectory, QString::fromLocal8Bit(made.message())));
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
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            fail(QStringLiteral("could not write %1: %2").arg(path, file.errorString()));
            continue;
        }
        if (!image.save(&file, "PNG")) {
            fail(QStringLiteral("could not write %1: %2")
                     .arg(path, file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QStringLiteral("PNG encoding failed")));
            file.cancelWriting();
            continue;
        }
        if (!file.commit()) {
            fail(QStringLiteral("could not write %1: %2").arg(path, file.errorString()));
            continue;
        }
        written << path;
    }
    return written;
}

QString setFolderIcon(const QString&, const QString&)
{
    return QStringLiteral("Custom folder icons are not supported on this desktop.");
}

QString setBundleIcon(const QString&)
{
    return QStringLiteral("Custom application file icons are not supported on this desktop.");
}

} // namespace ostrel::OstrelIconGenerator
