#include "PendingModelSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tovarine {

namespace {

const QString kModelFile = QStringLiteral("model.usdz");
const QString kFolderPrefix = QStringLiteral(".tovarine-model-");
// Where the earlier set waits while the new one moves in: a commit cut short before the new set is wholly in
// puts it back from here.
const QString kPreviousFolder = QStringLiteral("previous");
// Written once the earlier set is wholly in kPreviousFolder: from then on the new set is complete between
// the private folder and the result folder.
const QString kMovingInMarker = QStringLiteral("moving-in");
// kPreviousFolder's name once the new set is wholly in: one rename, so that whatever is removed after it, in
// whatever order, nothing can take the earlier set for one to put back.
const QString kSupersededFolder = QStringLiteral("superseded");

std::function<void()>& beforeStepHook()
{
    static std::function<void()> hook;
    return hook;
}

void beforeStep()
{
    if (const std::function<void()>& hook = beforeStepHook()) {
        hook();
    }
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QStringList members(const QString& folder)
{
    QStringList found;
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        if (PendingModelSet::isMember(entry)) {
            found.append(entry);
        }
    }
    return found;
}

// Renames without a copy fallback, through the test seam; error: errno.
int renameFile(const QString& from, const QString& to)
{
    beforeStep();
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        return errno;
    }
    return 0;
}

// Removes `path` and, for a folder, everything in it (links as links), one entry at a time through the test
// seam, in name order. The outcome of a commit or a repair never depends on this order (see
// kSupersededFolder); a fixed one lets a test stop the process before each removal the same way on every file
// system. False when something could not be removed.
bool removeTree(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0) {
        return errno == ENOENT;
    }
    bool removed = true;
    if (S_ISDIR(info.st_mode)) {
        const QDir dir(path);
        for (const QString& entry : dir.entryList(
                 QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
            removed = removeTree(dir.filePath(entry)) && removed;
        }
        beforeStep();
        return ::rmdir(native.constData()) == 0 && removed;
    }
    beforeStep();
    return ::unlink(native.constData()) == 0;
}

// The new set is wholly in the result folder: the earlier set in the private folder is set apart for
// removal (see kSupersededFolder).
void supersedeEarlierSet(const QString& folder)
{
    const QDir pending(folder);
    if (QFileInfo(pending.filePath(kPreviousFolder)).isDir()) {
        renameFile(pending.filePath(kPreviousFolder), pending.filePath(kSupersededFolder));
    }
}

// Opens `folder` (never through a link) and takes its lock without waiting; -1 when it is held elsewhere or
// the folder cannot be opened.
int lockFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A run killed while its commit moved files leaves the result folder with part of a set. Before the earlier
// set was wholly aside the earlier files go back; after, the new set's remaining files go in, as the commit
// would have done. Either way the result folder holds one whole set again.
// A first commit in a folder has no earlier set to move aside, so the marker alone says the new set was
// moving in. Once the new set is wholly in, the earlier one is never put back: a private folder from an older
// version that removed the marker before the earlier set has no model.usdz left of the new set (every new
// file had moved in), and its earlier files are only removed.
void finishInterruptedCommit(const QString& resultDir, const QString& folder)
{
    const QDir pending(folder);
    const QDir result(resultDir);
    if (QFileInfo::exists(pending.filePath(kMovingInMarker))) {
        for (const QString& name : members(folder)) {
            renameFile(pending.filePath(name), result.filePath(name));
        }
        supersedeEarlierSet(folder);
        return;
    }
    const QString previous = pending.filePath(kPreviousFolder);
    if (!QFileInfo(previous).isDir() || !QFileInfo(pending.filePath(kModelFile)).isFile()) {
        return;
    }
    for (const QString& name : members(previous)) {
        renameFile(QDir(previous).filePath(name), result.filePath(name));
    }
}

// Removes the private folders of sets whose owner has ended without removing them (a killed run).
void sweepAbandoned(const QString& resultDir)
{
    const QDir dir(resultDir);
    const QStringList entries =
        dir.entryList({kFolderPrefix + QLatin1Char('*')},
                      QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& entry : entries) {
        const QString folder = dir.filePath(entry);
        const int fd = lockFolder(folder);
        if (fd >= 0) {
            finishInterruptedCommit(resultDir, folder);
            removeTree(folder);
            ::close(fd);
        }
    }
}

} // namespace

void PendingModelSet::recoverResultFolders(const QString& resultRoot)
{
    const QDir root(resultRoot);
    for (const QString& entry :
         root.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        sweepAbandoned(root.filePath(entry));
    }
}

void PendingModelSet::setBeforeStepHookForTests(std::function<void()> hook)
{
    beforeStepHook() = std::move(hook);
}

bool PendingModelSet::isMember(const QString& fileName)
{
    static const QString diffusePrefix = QStringLiteral("model_diffuse.");
    return fileName == kModelFile || fileName == QLatin1String("model.obj") ||
           fileName == QLatin1String("model.mtl") ||
           (fileName.startsWith(diffusePrefix) && fileName.size() > diffusePrefix.size());
}

Expected<PendingModelSet, QString> PendingModelSet::create(const QString& resultDir)
{
    sweepAbandoned(resultDir);
    // The folder is locked right after it is made; a sweep in another process could come in between and
    // take it for abandoned, so the lock is checked to be on the folder that is still there.
    int lastError = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString folder =
            QDir(resultDir).filePath(kFolderPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces));
        const QByteArray native = QFile::encodeName(folder);
        if (::mkdir(native.constData(), 0700) != 0) {
            lastError = errno;
            if (lastError == EEXIST) {
                continue;
            }
            break;
        }
        const int fd = lockFolder(folder);
        struct stat locked
        {
        };
        struct stat named
        {
        };
        if (fd >= 0 && ::fstat(fd, &locked) == 0 && ::lstat(native.constData(), &named) == 0 &&
            locked.st_ino == named.st_ino && locked.st_dev == named.st_dev) {
            return PendingModelSet(resultDir, folder, fd);
        }
        lastError = errno != 0 ? errno : ENOENT;
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return unexpected(
        QStringLiteral("Couldn't prepare the model folder in %1: %2").arg(resultDir, systemError(lastError)));
}

PendingModelSet::PendingModelSet(QString resultDir, QString folder, int lockFd)
    : m_resultDir(std::move(resultDir)), m_folder(std::move(folder)), m_lockFd(lockFd)
{
}

PendingModelSet::PendingModelSet(PendingModelSet&& other) noexcept
    : m_resultDir(std::move(other.m_resultDir)), m_folder(std::exchange(other.m_folder, QString())),
      m_lockFd(std::exchange(other.m_lockFd, -1))
{
}

PendingModelSet& PendingModelSet::operator=(PendingModelSet&& other) noexcept
{
    if (this != &other) {
        discard();
        m_resultDir = std::move(other.m_resultDir);
        m_folder = std::exchange(other.m_folder, QString());
        m_lockFd = std::exchange(other.m_lockFd, -1);
    }
    return *this;
}

PendingModelSet::~PendingModelSet()
{
    discard();
}

QString PendingModelSet::filePath(const QString& fileName) const
{
    return QDir(m_folder).filePath(fileName);
}

QString PendingModelSet::resultPath(const QString& fileName) const
{
    return QDir(m_resultDir).filePath(fileName);
}

Expected<void, QString> PendingModelSet::checkModel() const
{
    if (m_folder.isEmpty() || !QFileInfo(filePath(kModelFile)).isFile()) {
        return unexpected(QStringLiteral("The reconstruction ended without writing a model file."));
    }
    return {};
}

void PendingModelSet::dropObjFiles()
{
    if (m_folder.isEmpty()) {
        return;
    }
    for (const QString& member : members(m_folder)) {
        if (member != kModelFile) {
            QFile::remove(filePath(member));
        }
    }
}

Expected<void, QString> PendingModelSet::commit()
{
    if (const Expected<void, QString> model = checkModel(); !model) {
        discard();
        return model;
    }
    const QStringList incoming = members(m_folder);
    const QStringList earlier = members(m_resultDir);
    const QString previous = filePath(kPreviousFolder);

    // The earlier set moves aside first, so that a step that fails can put it back whole.
    QStringList movedOut;
    QStringList movedIn;
    QString problem;
    if (!earlier.isEmpty() && !QDir().mkdir(previous)) {
        problem =
            QStringLiteral("Couldn't put the new model in place: %1 could not be created.").arg(previous);
    }
    for (const QString& name : earlier) {
        if (!problem.isEmpty()) {
            break;
        }
        if (const int error = renameFile(resultPath(name), QDir(previous).filePath(name)); error != 0) {
            problem = QStringLiteral("Couldn't put the new model in place: %1: %2")
                          .arg(resultPath(name), systemError(error));
        } else {
            movedOut.append(name);
        }
    }
    if (problem.isEmpty()) {
        beforeStep();
        QFile marker(filePath(kMovingInMarker));
        if (!marker.open(QIODevice::WriteOnly)) {
            problem = QStringLiteral("Couldn't put the new model in place: %1: %2")
                          .arg(marker.fileName(), marker.errorString());
        }
    }
    for (const QString& name : incoming) {
        if (!problem.isEmpty()) {
            break;
        }
        if (const int error = renameFile(filePath(name), resultPath(name)); error != 0) {
            problem = QStringLiteral("Couldn't put the new model in place: %1: %2")
                          .arg(resultPath(name), systemError(error));
        } else {
            movedIn.append(name);
        }
    }
    if (problem.isEmpty()) {
        // The new set is wholly in and stands from here on: the earlier set is set apart in one rename before
        // anything is removed, so whatever ends the process during the clean-up, nothing is put back.
        supersedeEarlierSet(m_folder);
        discard();
        return {};
    }

    // Back as it was: the new files out, the earlier ones in. While the marker is there a kill leaves the new
    // set to be finished at the next start, so the new files go back into the private folder (no new file is
    // lost before then); with the marker gone the next start puts the earlier set back.
    for (const QString& name : movedIn) {
        if (renameFile(resultPath(name), filePath(name)) != 0) {
            QFile::remove(resultPath(name));
        }
    }
    beforeStep();
    QFile::remove(filePath(kMovingInMarker));
    bool restored = true;
    for (const QString& name : movedOut) {
        restored = renameFile(QDir(previous).filePath(name), resultPath(name)) == 0 && restored;
    }
    if (!restored) {
        // The earlier files that could not go back are kept in a folder no sweep removes.
        const QString kept =
            resultPath(QStringLiteral("model-earlier-") + QUuid::createUuid().toString(QUuid::Id128).left(8));
        if (renameFile(previous, kept) == 0) {
            problem += QStringLiteral(" The earlier model is kept in %1.").arg(kept);
            discard();
        } else {
            // Left where it is, still locked for the life of this process.
            problem += QStringLiteral(" The earlier model is kept in %1.").arg(previous);
            m_folder.clear();
            m_lockFd = -1;
        }
        return unexpected(problem);
    }
    discard();
    return unexpected(problem);
}

void PendingModelSet::discard()
{
    if (!m_folder.isEmpty()) {
        removeTree(m_folder);
        m_folder.clear();
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

} // namespace tovarine
