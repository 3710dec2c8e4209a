#include "DropTestFixture.h"

#include "IntakeTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QTest>

namespace tovarine::test {

void DropTestFixture::SetUp()
{
    static QTemporaryDir settingsDir;
    static const bool settingsRedirected = (useTemporarySettings(settingsDir), true);
    Q_UNUSED(settingsRedirected);

    ASSERT_TRUE(m_root.isValid());
    QDir().mkpath(path(QStringLiteral("tmp")));
    restart();
}

void DropTestFixture::restart()
{
    m_drop.reset();
    DropReconstruction::Environment environment;
    environment.desktopDir = path(QStringLiteral("Desktop"));
    environment.tempDir = path(QStringLiteral("tmp"));
    environment.sessionFactory = m_engine.factory();
    m_drop = std::make_unique<DropReconstruction>(environment);
    QObject::connect(m_drop.get(), &DropReconstruction::stateChanged,
                     [this](const DropReconstruction::State& state) { m_states.append(state); });
}

QString DropTestFixture::makeCapture(const QString& relative, int frames, const QByteArray& label,
                                     const QByteArray& phoneSettings)
{
    const QString capture = path(relative);
    makeFolderWithFiles(capture + QStringLiteral("/Images"), numberedNames(QStringLiteral("frame_"), frames));
    if (!label.isNull()) {
        writeFile(capture + QStringLiteral("/label.txt"), label);
    }
    if (!phoneSettings.isNull()) {
        writeFile(capture + QStringLiteral("/model_morvel_settings.json"), phoneSettings);
    }
    return capture;
}

DropReconstruction::State DropTestFixture::drop(const QString& item, const QString& detail)
{
    m_drop->ingest(QUrl::fromLocalFile(item), detail);
    return waitForEnd();
}

DropReconstruction::State DropTestFixture::waitForEnd()
{
    using Kind = DropReconstruction::State::Kind;
    // ingest() returns before the pipeline starts; let it begin first.
    QCoreApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor(
        [this] {
            const Kind kind = m_drop->state().kind;
            return (kind == Kind::done || kind == Kind::failed) && m_drop->reconstructor() == nullptr;
        },
        kHangCeilingMs));
    return m_drop->state();
}

} // namespace tovarine::test
