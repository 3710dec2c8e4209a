#include "DropIntakeRules.h"

#include "OstrelFileNames.h"
#include "Wordbank.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTextBoundaryFinder>
#include <sys/stat.h>

namespace tovarine::DropIntakeRules {

namespace {

constexpr int kMaxNameCharacters = 60;
// Linux file systems limit one path component to 255 bytes.
constexpr int kMaxNameBytes = 255;

const QString kLabelFile = QStringLiteral("label.txt");
const QString kCaptureSettingsFile = QStringLiteral("model_morvel_settings.json");
const QString kPhoneSettingsFile = QStringLiteral("phone_morvel_settings.json");

bool isFrameName(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg") ||
           extension == QLatin1String("heic");
}

// Every entry, hidden ones included, in the order the file system lists them; nullopt when the folder
// cannot be listed.
std::optional<QStringList> listFolder(const QString& path)
{
    // An empty path would list the working directory.
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QDir dir(path);
    if (!dir.exists() || !dir.isReadable()) {
        return std::nullopt;
    }
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDir::Unsorted);
}

// Joined as text: a name beginning with ':' (a dropped folder's, or one listed in it) is an entry of the
// folder, not a resource. Empty for a name that is not one entry.
QString child(const QString& folder, const QString& name)
{
    return ostrel::OstrelFileNames::childPath(folder, name);
}

// Capture content is never followed through a symbolic link: a link named Images or label.txt could point
// anywhere on the machine, and its target would be copied to the Desktop.
bool isRealFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

bool isRealFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

// The frames directly in `folder` by name, with their sizes; nullopt when it cannot be listed.
std::optional<QMap<QString, qint64>> frameSizes(const QString& folder)
{
    const std::optional<QStringList> entries = listFolder(folder);
    if (!entries) {
        return std::nullopt;
    }
    QMap<QString, qint64> sizes;
    for (const QString& entry : *entries) {
        const QFileInfo info(child(folder, entry));
        if (isFrameName(entry) && info.isFile() && !info.isSymLink()) {
            sizes.insert(entry, info.size());
        }
    }
    return sizes;
}

} // namespace

bool hasJPEGs(const QString& folderPath)
{
    if (!isRealFolder(folderPath)) {
        return false;
    }
    const std::optional<QStringList> entries = listFolder(folderPath);
    return entries && std::any_of(entries->begin(), entries->end(), isFrameName);
}

QString findImagesDir(const QString& rootPath)
{
    if (rootPath.isEmpty()) {
        return {};
    }
    const QString images = QStringLiteral("Images");
    if (QFileInfo(rootPath).fileName() == images && hasJPEGs(rootPath)) {
        return rootPath;
    }
    if (hasJPEGs(child(rootPath, images))) {
        return child(rootPath, images);
    }
    const std::optional<QStringList> entries = listFolder(rootPath);
    if (!entries) {
        return {};
    }
    for (const QString& entry : *entries) {
        const QString entryPath = child(rootPath, entry);
        if (!isRealFolder(entryPath)) {
            continue;
        }
        if (hasJPEGs(child(entryPath, images))) {
            return child(entryPath, images);
        }
    }
    return {};
}

QString truncatedName(const QString& text, int maxCharacters, int maxUtf8Bytes)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    int characters = 0;
    while (characters < maxCharacters && finder.toNextBoundary() != -1) {
        const qsizetype next = finder.position();
        if (text.left(next).toUtf8().size() > maxUtf8Bytes) {
            break;
        }
        end = next;
        ++characters;
    }
    return text.left(end);
}

bool isSafeComponent(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/')) &&
           !name.contains(QChar(0));
}

OutputName outputName(const QString& rootPath, qint64 nowSeconds)
{
    // Leading dots go first: "...mug" must not leave "..", nor "..x" leave ".", and a result folder is never
    // hidden. Then only the last extension goes.
    QString fileName = QFileInfo(QDir::cleanPath(rootPath)).fileName();
    while (fileName.startsWith(QLatin1Char('.'))) {
        fileName.remove(0, 1);
    }
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;

    if (base.isEmpty()) {
        return {Wordbank::name(nowSeconds), true};
    }
    if (Wordbank::looksLikeIdentifier(base)) {
        return {Wordbank::name(Wordbank::seed(base)), true};
    }
    const QString name = truncatedName(base, kMaxNameCharacters, kMaxNameBytes);
    if (!isSafeComponent(name)) {
        return {Wordbank::name(Wordbank::seed(base)), true};
    }
    return {name, false};
}

QString cleanOutputName(const QString& rootPath, qint64 nowSeconds)
{
    return outputName(rootPath, nowSeconds).name;
}

bool holdsSameCapture(const QString& resultDir, const QString& framesDir)
{
    const QString images = child(resultDir, QStringLiteral("Images"));
    if (isSameFolder(images, framesDir)) {
        return true;
    }
    const std::optional<QMap<QString, qint64>> ours = frameSizes(images);
    const std::optional<QMap<QString, qint64>> theirs = frameSizes(framesDir);
    return ours && theirs && !ours->isEmpty() && *ours == *theirs;
}

QString resultFolderPath(const QString& tovarineDir, const OutputName& name, const QString& framesDir)
{
    const auto usable = [&](const QString& path) {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) {
            return true;
        }
        if (name.generated || !info.isDir()) {
            return false;
        }
        const std::optional<QStringList> entries = listFolder(path);
        return (entries && entries->isEmpty()) || holdsSameCapture(path, framesDir);
    };
    QString path = child(tovarineDir, name.name);
    for (int suffix = 2; !usable(path); ++suffix) {
        const QString tail = QLatin1Char('-') + QString::number(suffix);
        path = child(tovarineDir,
                     truncatedName(name.name, kMaxNameCharacters, kMaxNameBytes - int(tail.toUtf8().size())) +
                         tail);
    }
    return path;
}

bool isSameFolder(const QString& a, const QString& b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

bool giveNewFileMode(const QString& path)
{
    // The umask can only be read by setting it, which races with other threads: the kernel reports it here.
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    mask = static_cast<mode_t>(value);
                }
                break;
            }
        }
    }
    return ::chmod(QFile::encodeName(path).constData(), 0666 & ~mask) == 0;
}

void copyLabel(const QString& captureDir, const QString& resultDir)
{
    if (isSameFolder(captureDir, resultDir)) {
        return;
    }
    const QString source = child(captureDir, kLabelFile);
    if (isRealFile(source)) {
        const QString destination = child(resultDir, kLabelFile);
        QFile::remove(destination);
        if (QFile::copy(source, destination)) {
            giveNewFileMode(destination);
        }
    }
}

void copyPhoneMorvelSettings(const QString& captureDir, const QString& resultDir, const QString& tovarineDir)
{
    if (isSameFolder(captureDir, resultDir)) {
        return;
    }
    const QString canonicalCapture = QFileInfo(captureDir).canonicalFilePath();
    const bool captureIsResultFolder =
        !canonicalCapture.isEmpty() && isSameFolder(QFileInfo(canonicalCapture).absolutePath(), tovarineDir);
    const QString source =
        child(captureDir, captureIsResultFolder ? kPhoneSettingsFile : kCaptureSettingsFile);
    const QString destination = child(resultDir, kPhoneSettingsFile);
    QFile::remove(destination);
    if (isRealFile(source) && QFile::copy(source, destination)) {
        giveNewFileMode(destination);
    }
}

} // namespace tovarine::DropIntakeRules
