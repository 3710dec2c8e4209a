#include "WindowTestSupport.h"

#include "Screenshots.h"
#include "UsdzFile.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace tovarine::test {

Expected<void, QString> FakeSession::process(const QString& path, Detail requestedDetail)
{
    modelPath = path;
    detail = requestedDetail;
    QTimer::singleShot(0, this, [this] {
        Output progress;
        progress.kind = Output::Kind::requestProgress;
        progress.fractionComplete = 0.25;
        emit output(progress);
    });
    return {};
}

void FakeSession::cancel()
{
    ++cancelCount;
    QTimer::singleShot(0, this, [this] {
        Output cancelled;
        cancelled.kind = Output::Kind::processingCancelled;
        emit output(cancelled);
        emit outputsEnded();
    });
}

void FakeSession::complete(const QString& note)
{
    // A tetrahedron of 10 cm, as the engine would write it (metres, Y up).
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 0.1f, 0, 0, 0, 0.1f, 0, 0, 0, 0.1f};
    mesh.indices = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
    (void)UsdzFile::write(mesh, modelPath);
    Output done;
    done.kind = Output::Kind::processingComplete;
    done.note = note;
    emit output(done);
    emit outputsEnded();
}

PhotogrammetrySessionFactory FakeEngine::factory()
{
    return [this](const QString& inputFolder, const PhotogrammetrySession::Configuration&)
               -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
        inputFolders << inputFolder;
        auto session = std::make_unique<FakeSession>();
        last = session.get();
        return std::unique_ptr<PhotogrammetrySession>(std::move(session));
    };
}

WindowFixture::WindowFixture()
    : defaults(std::make_unique<ostrel::UserDefaults>(root.filePath(QStringLiteral("settings.ini"))))
{
    QDir(root.path()).mkpath(QStringLiteral("Desktop"));
    QDir(root.path()).mkpath(QStringLiteral("tmp"));
}

DropReconstruction::Environment WindowFixture::environment()
{
    DropReconstruction::Environment environment;
    environment.desktopDir = root.filePath(QStringLiteral("Desktop"));
    environment.tempDir = root.filePath(QStringLiteral("tmp"));
    environment.sessionFactory = engine.factory();
    return environment;
}

QString WindowFixture::makeCapture(const QString& name)
{
    const QString capture = root.filePath(name);
    QDir().mkpath(capture + QStringLiteral("/Images"));
    QFile frame(capture + QStringLiteral("/Images/frame_00000.jpg"));
    if (frame.open(QIODevice::WriteOnly)) {
        frame.write("\xff\xd8\xff\xd9");
    }
    return capture;
}

void saveScreenshot(QWidget* window, const QString& name, int settleMs)
{
    QTest::qWait(settleMs);
    const QString dir = screenshotFolder();
    const QImage image = window->screen()->grabWindow(window->winId()).toImage();
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    ASSERT_TRUE(image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

} // namespace tovarine::test
