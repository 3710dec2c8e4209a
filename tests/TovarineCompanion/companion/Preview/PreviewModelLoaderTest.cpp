#include "PreviewModelLoader.h"

#include "HangCeiling.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

class PreviewModelLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_good = writeFile(QStringLiteral("good.usdz"));
        m_bad = writeFile(QStringLiteral("bad.usdz"));
    }

    QString writeFile(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

    // Reads "good" files as one triangle and fails every other file; counts the reads.
    PreviewModelLoader::ReadModel reader()
    {
        return [this](const QString& path) -> Expected<ModelMesh, QString> {
            ++m_reads;
            if (!path.endsWith(QLatin1String("good.usdz"))) {
                return unexpected(QStringLiteral("The model file is damaged."));
            }
            ModelMesh mesh;
            mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
            mesh.indices = {0, 1, 2};
            return mesh;
        };
    }

    static void waitSettled(PreviewModelLoader& loader)
    {
        QTRY_VERIFY_WITH_TIMEOUT(loader.status() != PreviewModelLoader::Status::loading,
                                 tovarine::test::kHangCeilingMs);
    }

    QTemporaryDir m_dir;
    QString m_good;
    QString m_bad;
    std::atomic<int> m_reads{0};
};

TEST_F(PreviewModelLoaderTest, LoadsOffThreadAndDoesNotReloadTheSameFile)
{
    PreviewModelLoader loader(reader());
    EXPECT_TRUE(loader.request(m_good));
    EXPECT_EQ(loader.status(), PreviewModelLoader::Status::loading);
    waitSettled(loader);
    ASSERT_EQ(loader.status(), PreviewModelLoader::Status::loaded);
    EXPECT_EQ(loader.buffers()->triangleIndices.size(), 3u);
    EXPECT_FALSE(loader.request(m_good));
    EXPECT_EQ(m_reads.load(), 1);
}

TEST_F(PreviewModelLoaderTest, FailureIsRememberedUntilThePathOrFileChanges)
{
    PreviewModelLoader loader(reader());
    loader.request(m_bad);
    waitSettled(loader);
    ASSERT_EQ(loader.status(), PreviewModelLoader::Status::failed);
    EXPECT_EQ(loader.errorMessage(), QStringLiteral("The model file is damaged."));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(loader.request(m_bad)); // e.g. every slider move
    }
    EXPECT_EQ(m_reads.load(), 1);
    EXPECT_EQ(loader.status(), PreviewModelLoader::Status::failed);

    // The same path rewritten later is tried again.
    QFile file(m_bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("changed");
    file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_TRUE(loader.request(m_bad));
    waitSettled(loader);
    EXPECT_EQ(m_reads.load(), 2);

    EXPECT_TRUE(loader.request(m_good));
    waitSettled(loader);
    EXPECT_EQ(loader.status(), PreviewModelLoader::Status::loaded);
    EXPECT_TRUE(loader.errorMessage().isEmpty());
}

TEST_F(PreviewModelLoaderTest, OnlyTheLatestRequestLands)
{
    PreviewModelLoader loader(reader());
    QSignalSpy spy(&loader, &PreviewModelLoader::statusChanged);
    loader.request(m_bad);
    loader.request(m_good);
    waitSettled(loader);
    // Let the older read finish and deliver its result late.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(loader.status(), PreviewModelLoader::Status::loaded);
    EXPECT_TRUE(loader.errorMessage().isEmpty());

    loader.request(QString());
    EXPECT_EQ(loader.status(), PreviewModelLoader::Status::empty);
    EXPECT_EQ(loader.buffers(), nullptr);
}

TEST_F(PreviewModelLoaderTest, DestroyedMidLoadIsSafe)
{
    auto loader = std::make_unique<PreviewModelLoader>(reader());
    loader->request(m_good);
    loader.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_reads.load(), 1);
}

} // namespace
} // namespace tovarine
