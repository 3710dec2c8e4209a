#include "QuorvantileHostFacts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;
namespace facts = ostrel::QuorvantileHostFacts;

namespace {

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST(QuorvantileHostFacts, LoadAndMemoryFigures)
{
    EXPECT_DOUBLE_EQ(facts::loadFigure(8, 8), 0.0);
    EXPECT_DOUBLE_EQ(facts::loadFigure(8, 6), 0.25);
    EXPECT_DOUBLE_EQ(facts::loadFigure(0, 0), 0.5);
    EXPECT_EQ(facts::megabytes(17179869184ULL), 16384);
    EXPECT_EQ(facts::megabytes(17179869183ULL), 16383);
    EXPECT_GE(facts::processorCount(), 1);
    EXPECT_GT(facts::physicalMemory(), 0u);
}

TEST(QuorvantileHostFacts, MachineNameAndGraphicsFromSystemFiles)
{
    QTemporaryDir root;
    write(root.filePath("machine-info"), "ICON_NAME=computer\nPRETTY_HOSTNAME=\"Studio Desk\"\n");
    EXPECT_EQ(facts::machineName(root.filePath("machine-info")), "Studio Desk");
    write(root.filePath("blank-info"), "PRETTY_HOSTNAME=\n");
    EXPECT_FALSE(facts::machineName(root.filePath("blank-info")).isEmpty()); // the host name then
    EXPECT_FALSE(facts::machineName(root.filePath("missing")).isEmpty());

    const QString drm = root.filePath("drm");
    EXPECT_FALSE(facts::gpu(drm).name);
    QDir().mkpath(drm + "/card0-HDMI-A-1");
    write(drm + "/card1/device/uevent", "DRIVER=amdgpu\nPCI_ID=1002:73BF\n");
    write(drm + "/card1/device/mem_info_vram_total", "17163091968\n");
    const auto gpu = facts::gpu(drm);
    EXPECT_EQ(gpu.name, QString("amdgpu"));
    EXPECT_EQ(gpu.vramMB, 16368);
    write(drm + "/card0/device/uevent", "DRIVER=i915\n");
    EXPECT_EQ(facts::gpu(drm).name, QString("i915"));
    EXPECT_FALSE(facts::gpu(drm).vramMB);
}
