#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// Turns an emoji into icons: a square image drawn with the colour emoji font, the running application's
// window icon, a set of PNG files, and the icon file managers show for a folder or the application's file.
// GUI thread only (needs a QGuiApplication for fonts and the icon).
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

// Edge length of the icon drawn for a folder or the application's file.
constexpr int kFileIconSize = 512;
// Where a folder keeps its icon: a hidden file inside it, so the icon lasts as long as the folder.
inline const QString kFolderIconFileName = QStringLiteral(".folder-icon.png");
// Where the application's file icon is kept, in the application's data folder (QStandardPaths'
// AppDataLocation): the application's file may be read-only to the user, and the data folder lasts as long as
// the per-user metadata that points at it.
inline const QString kApplicationIconFileName = QStringLiteral("application-file-icon.png");

// Sets the emoji, drawn at kFileIconSize, as the custom icon the desktop's file managers show for `folder`:
// the image is written to kFolderIconFileName inside the folder (replacing an older one), GVfs's
// metadata::custom-icon of the folder is pointed at it (GNOME's Files and the other GVfs file managers) and
// the Icon key of the folder's KDE settings file `.directory` is set to its path (keeping the file's other
// lines). Returns what could not be done, one sentence per failed part, empty when all was done. A path that
// is not a folder, or a folder the image cannot be written into, changes nothing.
QString setFolderIcon(const QString& emoji, const QString& folder);
// The same for the application's own file (QCoreApplication::applicationFilePath()): the image goes to
// kApplicationIconFileName in the application's data folder and GVfs's metadata::custom-icon of the file
// points at it. KDE's file managers take custom icons for folders only, so there is no KDE part.
QString setBundleIcon(const QString& emoji);

} // namespace ostrel::OstrelIconGenerator
