#include "MorvelDevice.h"
#include "MorvelEngineLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

} // namespace

TEST(MorvelDevice, ProductNameThenCpuModelThenEmpty)
{
    QTemporaryDir dir;
    const QString product = writeFile(dir, "product_name", "ThinkPad X1 Carbon Gen 11\n");
    const QString blank = writeFile(dir, "blank", "  \n");
    const QString cpu = writeFile(dir, "cpuinfo",
                                  "processor\t: 0\nvendor_id\t: x\nmodel name\t: Example CPU 9000\n"
                                  "model name\t: second\n");
    EXPECT_EQ(MorvelDevice::name(product, cpu), "ThinkPad X1 Carbon Gen 11");
    EXPECT_EQ(MorvelDevice::name(blank, cpu), "Example CPU 9000");
    EXPECT_EQ(MorvelDevice::name(dir.filePath("none"), cpu), "Example CPU 9000");
    EXPECT_EQ(MorvelDevice::name(dir.filePath("none"), dir.filePath("none")), "");
}

TEST(MorvelEngineLocator, InjectedFolderWinsAndMustExist)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("MorvelEngine"));
    MorvelEngineLocator::setEngineFolderForTesting(dir.filePath("MorvelEngine/../MorvelEngine"));
    EXPECT_EQ(MorvelEngineLocator::engineFolder(), QDir::cleanPath(dir.filePath("MorvelEngine")));
    MorvelEngineLocator::setEngineFolderForTesting(dir.filePath("absent"));
    EXPECT_EQ(MorvelEngineLocator::engineFolder(), "");
    MorvelEngineLocator::setEngineFolderForTesting(QString());
    EXPECT_EQ(MorvelEngineLocator::engineFolder(), "");
    MorvelEngineLocator::setEngineFolderForTesting(std::nullopt);
    // The search finds nothing here unless a developer placed an engine in the build tree.
    if (!QFileInfo::exists(TOVARINE_BINARY_ROOT "/MorvelEngine")) {
        EXPECT_EQ(MorvelEngineLocator::engineFolder(), "");
    }
}
