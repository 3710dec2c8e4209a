#include "QuorvantileHostFacts.h"

#include "Quorvantile.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

TEST(QuorvantileHostFacts, MachineNameFromSystemFiles)
{
    QTemporaryDir root;
    write(root.filePath("machine-info"), "ICON_NAME=computer\nPRETTY_HOSTNAME=\"Studio Desk\"\n");
    EXPECT_EQ(facts::machineName(root.filePath("machine-info")), "Studio Desk");
    write(root.filePath("blank-info"), "PRETTY_HOSTNAME=\n");
    EXPECT_FALSE(facts::machineName(root.filePath("blank-info")).isEmpty()); // the host name then
    EXPECT_FALSE(facts::machineName(root.filePath("missing")).isEmpty());
}

// This machine's manifest carries no graphics facts, also where a driver reports its card and memory (the
// render split would otherwise favour this machine over peers that report none). The card is made up in a
// private mount namespace, where this test binary runs the inner test below.
TEST(QuorvantileHostFacts, LocalManifestHasNoGraphicsFactsEvenWithACard)
{
    const auto run = tovarine::test::runInNamespaces(
        {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private")},
        QStringLiteral("mount -t tmpfs none /sys/class && mkdir -p /sys/class/drm/card0/device && "
                       "printf 'DRIVER=amdgpu\\n' > /sys/class/drm/card0/device/uevent && "
                       "printf '17163091968\\n' > /sys/class/drm/card0/device/mem_info_vram_total"),
        QStringLiteral("QuorvantileHostFactsInner.*"), QStringLiteral("QUORVANTILE_FAKE_CARD"));
    if (!run) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_TRUE(run->passed) << run->output.constData();
    EXPECT_TRUE(run->output.contains("[  PASSED  ] 1 test")) << run->output.constData();
}

TEST(QuorvantileHostFactsInner, ManifestWithAMadeUpCard)
{
    if (qEnvironmentVariableIsEmpty("QUORVANTILE_FAKE_CARD")) {
        GTEST_SKIP() << "runs inside LocalManifestHasNoGraphicsFactsEvenWithACard";
    }
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/sys/class/drm/card0/device/uevent")));
    const QuorvantileManifest manifest = Quorvantile::shared().buildLocalManifest(
        {QStringLiteral("llama3.1:8b")}, QStringLiteral("http://10.0.0.2:11434"));
    EXPECT_FALSE(manifest.gpuName());
    EXPECT_FALSE(manifest.gpuVRAMMB());
    EXPECT_FALSE(Quorvantile::shared().buildDiscoveryOnlyManifest().gpuName());
}
