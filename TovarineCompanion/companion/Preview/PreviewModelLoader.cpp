#include "PreviewModelLoader.h"

#include "UsdzFile.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace tovarine {

namespace {

struct LoadResult
{
    std::shared_ptr<const PreviewBuffers> buffers;
    QString error;
};

} // namespace

PreviewModelLoader::PreviewModelLoader(ReadModel readModel, QObject* parent)
    : QObject(parent), m_readModel(std::move(readModel))
{
    if (!m_readModel) {
        m_readModel = [](const QString& path) { return UsdzFile::read(path); };
    }
}

PreviewModelLoader::~PreviewModelLoader() = default;

bool PreviewModelLoader::request(const QString& path)
{
    const QDateTime modified = path.isEmpty() ? QDateTime() : QFileInfo(path).lastModified();
    if (m_attempted && path == m_lastPath && modified == m_lastModified) {
        return false;
    }
    m_attempted = true;
    m_lastPath = path;
    m_lastModified = modified;
    const quint64 generation = ++m_generation;
    m_buffers.reset();
    m_errorMessage.clear();
    if (path.isEmpty()) {
        m_status = Status::empty;
        emit statusChanged();
        return false;
    }
    m_status = Status::loading;
    ++m_loadCount;
    emit statusChanged();

    const ReadModel readModel = m_readModel;
    // The watcher is a child of this loader: a loader destroyed mid-load never hears of the result.
    auto* watcher = new QFutureWatcher<LoadResult>(this);
    connect(watcher, &QFutureWatcher<LoadResult>::finished, this, [this, watcher, generation] {
        const LoadResult result = watcher->result();
        watcher->deleteLater();
        finish(generation, result.buffers, result.error);
    });
    watcher->setFuture(QtConcurrent::run([readModel, path] {
        LoadResult result;
        Expected<ModelMesh, QString> mesh = readModel(path);
        if (mesh) {
            result.buffers = std::make_shared<const PreviewBuffers>(buildPreviewBuffers(*mesh));
        } else {
            result.error = mesh.error();
        }
        return result;
    }));
    return true;
}

void PreviewModelLoader::finish(quint64 generation, std::shared_ptr<const PreviewBuffers> buffers,
                                const QString& error)
{
    if (generation != m_generation) {
        return;
    }
    if (buffers) {
        m_status = Status::loaded;
        m_buffers = std::move(buffers);
    } else {
        m_status = Status::failed;
        m_errorMessage = error.isEmpty() ? tr("The model could not be read.") : error;
    }
    emit statusChanged();
}

} // namespace tovarine
