#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// Turns an emoji into icons: a square image drawn with the colour emoji font, the running application's
// window icon, and a set of PNG files. GUI thread only (needs a QGuiApplication for fonts and the icon).
namespace ostrel::OstrelIconGenerator {

// Edge lengths of the PNG set, largest first.
inline const QList<int> standardSizes{1024, 512, 256, 128, 64, 32, 16};

// A transparent `size` × `size` image with `emoji` (any text) drawn centred in the colour emoji font at
// 0.72 × size; text wider than the square is clipped by it. A null image for a size below 1.
QImage renderEmoji(const QString& emoji, int size);

// Sets the rendered emoji as the application's window icon (what the desktop shows in its task switcher).
void setDockIcon(const QString& emoji, int size = 512);
// One of `emojis` at random; an empty list leaves the icon unchanged.
void setDockIcon(const QStringList& emojis, int size = 512);

// Writes <prefix>_<size>.png for every standard size into `outputDirectory` (created with its parents when
// missing), each file written whole or not at all (replacing any old one). Returns the paths of the files
// really written, largest first; a size that could not be written is left out. A prefix holding '/', '\' or
// NUL (one that could name a file outside the folder) writes nothing and returns an empty list; one beginning
// with ':' names files inside the folder like any other. When `problem` is given, the first reason a file was
// not written lands in it (the refused prefix, the folder that could not be made and the file system's
// reason, or a file's write error); it is left alone when all seven were written.
QStringList generateAppIconPNGs(const QString& emoji, const QString& outputDirectory, const QString& prefix,
                                QString* problem = nullptr);

// Custom icons for one folder or for the application's own files: this desktop's file managers have no
// common way to set them, so these change nothing and return the reason ("not supported").
QString setFolderIcon(const QString& emoji, const QString& folder);
QString setBundleIcon(const QString& emoji);

} // namespace ostrel::OstrelIconGenerator
