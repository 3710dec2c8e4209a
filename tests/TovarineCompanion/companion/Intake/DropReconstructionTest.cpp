#include "DropTestFixture.h"
#include "HangCeiling.h"
#include "IntakeTestSupport.h"
#include "QStringPrinter.h"
#include "UsdzFile.h"
#include "Wordbank.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;
using test::FakeStep;

class DropReconstructionTest : public test::DropTestFixture
{
protected:
    QStringList entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // Zips `folder` (relative to the root) into `zipPath` with the system zip tool.
    void zipFolder(const QString& folder, const QString& zipPath, const QStringList& extraArguments = {})
    {
        QProcess zip;
        zip.setWorkingDirectory(path(QString()));
        zip.start(QStringLiteral("/usr/bin/zip"),
                  extraArguments + QStringList{QStringLiteral("-qr"), zipPath, folder});
        ASSERT_TRUE(zip.waitForFinished(tovarine::test::kHangCeilingMs));
        ASSERT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
    }

    // Where zips are unpacked: the private per-user folder in the temporary folder.
    QString unpackRoot() const
    {
        return path(QStringLiteral("tmp/tovarine-%1/tovarine-drop").arg(::geteuid()));
    }

    QStringList messages() const
    {
        QStringList result;
        for (const State& state : m_states) {
            result.append(state.message);
        }
        return result;
    }
};

TEST_F(DropReconstructionTest, CaptureFolderBecomesAResultFolder)
{
    const QString capture = makeCapture(QStringLiteral("drops/my cup"), 3, "teacup", "{\"level\": 2}");
    const State final = drop(capture);

    const QString result = resultDir(QStringLiteral("my cup"));
    EXPECT_EQ(final, State::done(result, result + QStringLiteral("/model.usdz")));
    ASSERT_GE(m_states.size(), 3);
    EXPECT_EQ(m_states.front(), State::preparing(QStringLiteral("Inspecting my cup\u2026")));
    EXPECT_TRUE(m_states.contains(State::reconstructing(0.5, QStringLiteral("Reconstructing \u00b7 50%"))));
    EXPECT_EQ(entries(result + QStringLiteral("/Images")), test::numberedNames(QStringLiteral("frame_"), 3));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("teacup"));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
              QByteArray("{\"level\": 2}"));
    EXPECT_TRUE(QFileInfo::exists(result + QStringLiteral("/model.usdz")));
    EXPECT_FALSE(QFileInfo::exists(result + QStringLiteral("/model.scn")));
    EXPECT_EQ(m_engine.record->detail, PhotogrammetrySession::Detail::full);
    // The capture itself is left as it was.
    EXPECT_EQ(entries(capture), (QStringList{"Images", "label.txt", "model_morvel_settings.json"}));

    // The same capture again, now without label or settings: the folder is reused, the old label stays,
    // the old phone settings go and Images/ is replaced.
    QFile::remove(capture + QStringLiteral("/label.txt"));
    QFile::remove(capture + QStringLiteral("/model_morvel_settings.json"));
    test::writeFile(result + QStringLiteral("/Images/stray.txt"));
    EXPECT_EQ(drop(capture).kind, State::Kind::done);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("teacup"));
    EXPECT_FALSE(QFileInfo::exists(result + QStringLiteral("/phone_morvel_settings.json")));
    EXPECT_EQ(entries(result + QStringLiteral("/Images")), test::numberedNames(QStringLiteral("frame_"), 3));
}

TEST_F(DropReconstructionTest, ImagesFolderDropIsNamedImagesAndTakesTheLabelBesideIt)
{
    makeCapture(QStringLiteral("shoot"), 2, "beside the frames");
    const State final = drop(path(QStringLiteral("shoot/Images")));
    const QString result = resultDir(QStringLiteral("Images"));
    EXPECT_EQ(final, State::done(result, result + QStringLiteral("/model.usdz")));
    EXPECT_EQ(m_states.front(), State::preparing(QStringLiteral("Inspecting Images\u2026")));
    EXPECT_EQ(entries(result + QStringLiteral("/Images")).size(), 2);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("beside the frames"));
}

TEST_F(DropReconstructionTest, FailureTexts)
{
    const QString intakeFailed =
        QStringLiteral("No Images/ folder with JPEG frames was found inside the drop.");
    makeCapture(QStringLiteral("deep/a/b"), 1);
    QDir().mkpath(path(QStringLiteral("folder.zip/Images")));
    test::writeFile(path(QStringLiteral("corrupt.zip")), "this is not a zip archive");
    makeCapture(QStringLiteral("secret"), 1);
    zipFolder(QStringLiteral("secret"), QStringLiteral("secret.zip"),
              {QStringLiteral("-P"), QStringLiteral("pw")});
    makeCapture(QStringLiteral("fine"), 1);

    const struct
    {
        const char* name;
        QString item;
        QString message;       // exact, or
        QString messagePrefix; // with this start and containing
        QString messageContains;
        bool blockDesktop = false;
    } cases[] = {
        {"no frames folder", path(QStringLiteral("deep")), intakeFailed, {}, {}},
        {"nothing there", path(QStringLiteral("missing")), intakeFailed, {}, {}},
        {"corrupt zip", path(QStringLiteral("corrupt.zip")), {}, QStringLiteral("Couldn't unzip: "), {}},
        {"folder named .zip",
         path(QStringLiteral("folder.zip")),
         {},
         QStringLiteral("Couldn't unzip: "),
         path(QStringLiteral("folder.zip"))},
        {"password-protected zip",
         path(QStringLiteral("secret.zip")),
         {},
         QStringLiteral("Couldn't unzip: "),
         QStringLiteral("Passphrase required")},
        {"Desktop is not a folder",
         path(QStringLiteral("fine")),
         {},
         QStringLiteral("Couldn't stage frames: "),
         path(QStringLiteral("fine/Images/frame_00000.jpg")) + QStringLiteral(" is not writable."),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DropReconstruction::Environment environment;
        environment.desktopDir = c.blockDesktop ? path(QStringLiteral("fine/Images/frame_00000.jpg"))
                                                : path(QStringLiteral("Desktop"));
        environment.tempDir = path(QStringLiteral("tmp"));
        environment.sessionFactory = m_engine.factory();
        m_drop = std::make_unique<DropReconstruction>(environment);
        m_states.clear();
        QObject::connect(m_drop.get(), &DropReconstruction::stateChanged,
                         [this](const State& state) { m_states.append(state); });

        const State final = drop(c.item);
        ASSERT_EQ(final.kind, State::Kind::failed);
        if (!c.message.isNull()) {
            EXPECT_EQ(final.message, c.message);
        } else {
            EXPECT_TRUE(final.message.startsWith(c.messagePrefix)) << final.message.toStdString();
            EXPECT_TRUE(final.message.contains(c.messageContains)) << final.message.toStdString();
        }
        // Intake failures follow the first status line directly.
        ASSERT_EQ(m_states.size(), 2);
        EXPECT_EQ(m_states.front(), State::preparing(QStringLiteral("Inspecting ") +
                                                     QFileInfo(c.item).fileName() + QChar(0x2026)));
    }
}

TEST_F(DropReconstructionTest, DriverEndingsMapToFailureTexts)
{
    const QString capture = makeCapture(QStringLiteral("cup"));
    const QString boom = QStringLiteral("Not enough overlap between the frames.");
    const struct
    {
        QList<FakeStep> script;
        std::optional<QString> cannotMake;
        QString message;
    } cases[] = {
        {{FakeStep::requestError(boom), FakeStep::end()}, {}, boom},
        {{FakeStep::cancelled(), FakeStep::end()}, {}, QStringLiteral("Cancelled.")},
        {{FakeStep::end()}, {}, QStringLiteral("Reconstruction ended without completion event")},
        {{}, QStringLiteral("The engine is not installed."), QStringLiteral("The engine is not installed.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        m_engine.script = c.script;
        m_engine.cannotMake = c.cannotMake;
        EXPECT_EQ(drop(capture), State::failed(c.message));
    }
}

TEST_F(DropReconstructionTest, CancelThroughTheDriverFails)
{
    const QString capture = makeCapture(QStringLiteral("cup"));
    m_engine.script = {FakeStep::progress(0.25), FakeStep::hold()};
    m_drop->ingest(QUrl::fromLocalFile(capture), QStringLiteral("medium"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return m_drop->state().kind == State::Kind::reconstructing && m_drop->state().fraction == 0.25;
        },
        tovarine::test::kHangCeilingMs));
    ASSERT_NE(m_drop->reconstructor(), nullptr);
    ASSERT_NE(m_drop->reconstructor()->activeSession(), nullptr);
    m_drop->reconstructor()->activeSession()->cancel();
    EXPECT_EQ(waitForEnd(), State::failed(QStringLiteral("Cancelled.")));
    EXPECT_EQ(m_engine.record->cancelCount, 1);
}

TEST_F(DropReconstructionTest, ResultFolderDroppedAgainIsReconstructedInPlace)
{
    makeCapture(QStringLiteral("cup"), 3, "teacup", "phone settings");
    ASSERT_EQ(drop(path(QStringLiteral("cup"))).kind, State::Kind::done);
    const QString result = resultDir(QStringLiteral("cup"));
    // The cage writes its own settings into the result folder; they are not the phone's.
    test::writeFile(result + QStringLiteral("/model_morvel_settings.json"), "cage output");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("Desktop")), path(QStringLiteral("DesktopLink"))));

    const QString spellings[] = {
        result,
        tovarineDir() + QStringLiteral("/../tovarine/./cup/"),
        path(QStringLiteral("DesktopLink/tovarine/cup")),
    };
    for (const QString& spelling : spellings) {
        SCOPED_TRACE(spelling.toStdString());
        EXPECT_EQ(drop(spelling), State::done(result, result + QStringLiteral("/model.usdz")));
        EXPECT_EQ(entries(result + QStringLiteral("/Images")),
                  test::numberedNames(QStringLiteral("frame_"), 3));
        EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("teacup"));
        EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
                  QByteArray("phone settings"));
        EXPECT_EQ(m_engine.inputFolder, result + QStringLiteral("/Images"));
    }
    EXPECT_EQ(entries(tovarineDir()), QStringList{QStringLiteral("cup")});
}

TEST_F(DropReconstructionTest, GeneratedNamesNeverOverwriteAnEarlierResult)
{
    const QString capture = makeCapture(QStringLiteral("20240611"), 1, "first");
    const QString generated = Wordbank::name(Wordbank::seed(QStringLiteral("20240611")));
    ASSERT_EQ(drop(capture).resultDir, resultDir(generated));
    test::writeFile(capture + QStringLiteral("/label.txt"), "second");
    ASSERT_EQ(drop(capture).resultDir, resultDir(generated + QStringLiteral("-2")));
    ASSERT_EQ(drop(capture).resultDir, resultDir(generated + QStringLiteral("-3")));
    EXPECT_EQ(test::readFile(resultDir(generated) + QStringLiteral("/label.txt")), QByteArray("first"));

    // A name taken from the drop reuses its folder.
    const QString named = makeCapture(QStringLiteral("blue vase"));
    ASSERT_EQ(drop(named).resultDir, resultDir(QStringLiteral("blue vase")));
    ASSERT_EQ(drop(named).resultDir, resultDir(QStringLiteral("blue vase")));
    EXPECT_FALSE(QFileInfo::exists(resultDir(QStringLiteral("blue vase-2"))));
}

TEST_F(DropReconstructionTest, DifferentCapturesWithOneCleanNameGetTheirOwnFolders)
{
    // "teacup v1.2" and "teacup v1.3" both clean to "teacup v1"; two bare Images folders are both "Images".
    const QString v12 = makeCapture(QStringLiteral("drops/teacup v1.2"), 3, "v1.2");
    const QString v13 = makeCapture(QStringLiteral("drops/teacup v1.3"), 5, "v1.3");
    const QString shootA = makeCapture(QStringLiteral("a/shoot"), 2) + QStringLiteral("/Images");
    const QString shootB = makeCapture(QStringLiteral("b/shoot"), 4) + QStringLiteral("/Images");
    const struct
    {
        QString item;
        QString folder;
        int frames;
    } drops[] = {
        {v12, QStringLiteral("teacup v1"), 3}, {v13, QStringLiteral("teacup v1-2"), 5},
        {v12, QStringLiteral("teacup v1"), 3}, {v13, QStringLiteral("teacup v1-2"), 5},
        {shootA, QStringLiteral("Images"), 2}, {shootB, QStringLiteral("Images-2"), 4},
        {shootA, QStringLiteral("Images"), 2},
    };
    for (const auto& d : drops) {
        SCOPED_TRACE(d.item.toStdString());
        EXPECT_EQ(drop(d.item).resultDir, resultDir(d.folder));
    }
    // Every result still holds its own capture's frames, label and model.
    for (const auto& d : drops) {
        const QString result = resultDir(d.folder);
        EXPECT_EQ(entries(result + QStringLiteral("/Images")),
                  test::numberedNames(QStringLiteral("frame_"), d.frames));
        EXPECT_TRUE(QFileInfo::exists(result + QStringLiteral("/model.usdz")));
        EXPECT_TRUE(QFileInfo::exists(result + QStringLiteral("/model.obj")));
    }
    EXPECT_EQ(test::readFile(resultDir(QStringLiteral("teacup v1")) + QStringLiteral("/label.txt")), "v1.2");
    EXPECT_EQ(test::readFile(resultDir(QStringLiteral("teacup v1-2")) + QStringLiteral("/label.txt")),
              "v1.3");
}

// Every file under `folder` (hidden ones included) by relative path, with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path),
                     it.fileInfo().isDir() ? QByteArray("<dir>") : test::readFile(path));
    }
    return files;
}

// A 0.1 m cube, scaled by `size`, with texture coordinates and a texture named diffuse.<extension> when
// `textureExtension` is given.
void writeCube(const QString& modelPath, float size, const char* textureExtension)
{
    ModelMesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.positions.insert(mesh.positions.end(),
                              {(i & 1) ? 0.05f * size : -0.05f * size, (i & 2) ? 0.1f * size : 0.0f,
                               (i & 4) ? 0.05f * size : -0.05f * size});
        mesh.texcoords.insert(mesh.texcoords.end(), {(i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f});
    }
    mesh.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                    2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    if (textureExtension != nullptr) {
        mesh.textureName = std::string("diffuse.") + textureExtension;
        mesh.textureBytes = std::string("texture bytes of a ") + textureExtension;
    } else {
        mesh.texcoords.clear();
    }
    ASSERT_TRUE(UsdzFile::write(mesh, modelPath));
}

TEST_F(DropReconstructionTest, RerunThatEndsWithoutAModelLeavesTheEarlierSetAsItWas)
{
    const QString capture = makeCapture(QStringLiteral("cup"), 3, "teacup");
    const QString other = makeCapture(QStringLiteral("vase"));
    const QString result = resultDir(QStringLiteral("cup"));
    m_engine.writeModel = [](const QString& modelPath) { writeCube(modelPath, 1.0f, "jpg"); };
    ASSERT_EQ(drop(capture).kind, State::Kind::done);
    const QStringList earlierSet = {QStringLiteral("model.mtl"), QStringLiteral("model.obj"),
                                    QStringLiteral("model.usdz"), QStringLiteral("model_diffuse.jpg")};
    for (const QString& name : earlierSet) {
        ASSERT_TRUE(QFileInfo::exists(result + QLatin1Char('/') + name)) << name.toStdString();
    }
    // A print-prep output of the earlier model.
    test::writeFile(result + QStringLiteral("/model_thick_2mm.obj"), "v 0 0 0\n");
    const QMap<QString, QByteArray> before = snapshot(result);

    const struct
    {
        const char* name;
        QList<FakeStep> script;
        std::optional<QString> cannotMake;
        bool cancel = false;
        bool dropAnother = false;
        bool writesNoModel = false;
    } reruns[] = {
        {"cancelled", {FakeStep::progress(0.25), FakeStep::hold()}, {}, true},
        {"failed", {FakeStep::progress(0.25), FakeStep::requestError(QStringLiteral("boom"))}, {}},
        {"stream broke off", {FakeStep::progress(0.25), FakeStep::fail(QStringLiteral("engine died"))}, {}},
        {"no engine", {}, QStringLiteral("The engine is not installed.")},
        {"completion without a model file", {FakeStep::complete(), FakeStep::end()}, {}, false, false, true},
        {"cancelled by another drop", {FakeStep::progress(0.25), FakeStep::hold()}, {}, false, true},
    };
    for (const auto& rerun : reruns) {
        SCOPED_TRACE(rerun.name);
        m_engine.script = rerun.script;
        m_engine.cannotMake = rerun.cannotMake;
        // The engine writes its model part-way, as a real one writes its files before it is stopped.
        m_engine.writeModel = [](const QString& modelPath) { writeCube(modelPath, 2.0f, "png"); };
        if (rerun.writesNoModel) {
            m_engine.writeModel = {};
        }
        m_drop->ingest(QUrl::fromLocalFile(capture), QStringLiteral("full"));
        if (rerun.cancel || rerun.dropAnother) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return m_drop->state().fraction == 0.25; },
                                        tovarine::test::kHangCeilingMs));
            ASSERT_NE(m_engine.record, nullptr);
            writeCube(m_engine.record->modelPath, 2.0f, "png");
        }
        if (rerun.cancel) {
            m_drop->reconstructor()->cancel();
        }
        if (rerun.dropAnother) {
            m_engine.script = {FakeStep::progress(0.5), FakeStep::complete(), FakeStep::end()};
            EXPECT_EQ(drop(other).kind, State::Kind::done);
            // The abandoned run's ending comes after the newer drop's.
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return snapshot(result) == before; }, tovarine::test::kHangCeilingMs));
        } else {
            EXPECT_EQ(waitForEnd().kind, State::Kind::failed);
        }
        // Same files, same bytes, and nothing temporary left beside them.
        EXPECT_EQ(snapshot(result), before);
    }
}

TEST_F(DropReconstructionTest, CompletedRerunReplacesTheModelSetAsOne)
{
    const QString capture = makeCapture(QStringLiteral("cup"), 3, "teacup");
    const QString result = resultDir(QStringLiteral("cup"));
    m_engine.writeModel = [](const QString& modelPath) { writeCube(modelPath, 1.0f, "jpg"); };
    ASSERT_EQ(drop(capture).kind, State::Kind::done);
    test::writeFile(result + QStringLiteral("/model_thick_2mm.obj"), "v 0 0 0\n");
    const QMap<QString, QByteArray> before = snapshot(result);

    const struct
    {
        const char* name;
        const char* textureExtension;
        QStringList set;
    } reruns[] = {
        {"texture of another kind", "png", {"model.mtl", "model.obj", "model.usdz", "model_diffuse.png"}},
        {"no texture", nullptr, {"model.obj", "model.usdz"}},
    };
    float size = 1.0f;
    for (const auto& rerun : reruns) {
        SCOPED_TRACE(rerun.name);
        size += 1.0f;
        m_engine.writeModel = [size, extension = rerun.textureExtension](const QString& modelPath) {
            writeCube(modelPath, size, extension);
        };
        EXPECT_EQ(drop(capture), State::done(result, result + QStringLiteral("/model.usdz")));
        const QMap<QString, QByteArray> after = snapshot(result);
        QStringList modelFiles;
        for (const QString& name : after.keys()) {
            if (name.startsWith(QLatin1String("model.")) || name.startsWith(QLatin1String("model_diffuse"))) {
                modelFiles.append(name);
            }
        }
        EXPECT_EQ(modelFiles, rerun.set);
        const auto model = UsdzFile::read(result + QStringLiteral("/model.usdz"));
        ASSERT_TRUE(model.hasValue());
        EXPECT_FLOAT_EQ(model->positions[1 * 3], 0.05f * size);
        EXPECT_NE(after.value(QStringLiteral("model.obj")), before.value(QStringLiteral("model.obj")));
        // The rest of the folder is as it was, and nothing temporary is left.
        for (const QString& kept : {QStringLiteral("model_thick_2mm.obj"), QStringLiteral("label.txt"),
                                    QStringLiteral("Images/frame_00000.jpg")}) {
            EXPECT_EQ(after.value(kept), before.value(kept)) << kept.toStdString();
        }
        EXPECT_EQ(after.size(), 6 + rerun.set.size()); // Images/, its 3 frames, label, thick OBJ, the set
    }
}

// The app killed inside a re-run's commit, then started again: the start makes the result folder whole
// before anything else touches it (the next drop's file work waits for it), without a drop of that capture.
TEST_F(DropReconstructionTest, ACommitCutShortByAKillIsRepairedWhenTheAppStarts)
{
    const QString capture = makeCapture(QStringLiteral("cup"), 3, "teacup");
    const QString result = resultDir(QStringLiteral("cup"));
    m_engine.writeModel = [](const QString& modelPath) { writeCube(modelPath, 1.0f, "jpg"); };
    ASSERT_EQ(drop(capture).kind, State::Kind::done);
    const QMap<QString, QByteArray> earlier = snapshot(result);
    ASSERT_TRUE(earlier.contains(QStringLiteral("model_diffuse.jpg")));
    // The first earlier set is model.mtl, model.obj, model.usdz and model_diffuse.jpg: four renames aside,
    // the marker, three in, then the clean-up's steps; each later one is the set the kill before left.
    for (const int killAt : {9, 2, 5}) {
        SCOPED_TRACE(testing::Message() << "killed before step " << killAt);
        const QByteArray tag = QByteArray::number(killAt);
        const QMap<QString, QByteArray> newSet{{QStringLiteral("model.usdz"), "new model " + tag},
                                               {QStringLiteral("model.obj"), "new obj " + tag},
                                               {QStringLiteral("model_diffuse.png"), "new texture " + tag}};
        const QMap<QString, QByteArray> before = snapshot(result);
        ASSERT_EQ(test::commitKilledAtStep(result, newSet, killAt), test::KillOutcome::killed);
        restart();
        ASSERT_EQ(drop(makeCapture(QStringLiteral("plate"))).kind, State::Kind::done);

        QMap<QString, QByteArray> expected = before;
        const auto earlierCount =
            std::count_if(before.keyBegin(), before.keyEnd(), &PendingModelSet::isMember);
        if (killAt > earlierCount) {
            for (const QString& name : before.keys()) {
                if (PendingModelSet::isMember(name)) {
                    expected.remove(name);
                }
            }
            expected.insert(newSet);
        }
        EXPECT_EQ(snapshot(result), expected);
        EXPECT_EQ(entries(result).filter(QStringLiteral(".tovarine-model-")), QStringList());
    }
}

TEST_F(DropReconstructionTest, FramesFolderInsideTheResultsOwnImagesSurvivesTheCopy)
{
    ASSERT_EQ(drop(makeCapture(QStringLiteral("cup"))).kind, State::Kind::done);
    const QString result = resultDir(QStringLiteral("cup"));
    // The same capture, copied into the result's own Images/ and dropped from there.
    const QString nested = result + QStringLiteral("/Images/cup");
    test::makeFolderWithFiles(nested + QStringLiteral("/Images"),
                              test::numberedNames(QStringLiteral("frame_"), 3));
    test::writeFile(nested + QStringLiteral("/label.txt"), "nested");

    EXPECT_EQ(drop(nested), State::done(result, result + QStringLiteral("/model.usdz")));
    EXPECT_EQ(entries(result + QStringLiteral("/Images")), test::numberedNames(QStringLiteral("frame_"), 3));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("nested"));
    EXPECT_EQ(entries(result).filter(QStringLiteral("incoming")), QStringList());
}

TEST_F(DropReconstructionTest, ZipDropIsUnpackedAndGetsAFreshGeneratedName)
{
    makeCapture(QStringLiteral("capture"), 2, "zipped");
    zipFolder(QStringLiteral("capture"), QStringLiteral("Capture.ZIP"));

    const State first = drop(path(QStringLiteral("Capture.ZIP")));
    ASSERT_EQ(first.kind, State::Kind::done) << first.message.toStdString();
    EXPECT_EQ(m_states.front(), State::preparing(QStringLiteral("Inspecting Capture.ZIP…")));
    const QString name = QFileInfo(first.resultDir).fileName();
    EXPECT_NE(name, QStringLiteral("capture"));
    EXPECT_TRUE(name.contains(QLatin1Char('-')));
    EXPECT_EQ(test::readFile(first.resultDir + QStringLiteral("/label.txt")), QByteArray("zipped"));
    // The unpacked copy is removed once the frames are on the Desktop.
    EXPECT_TRUE(entries(unpackRoot()).isEmpty());

    const State second = drop(path(QStringLiteral("Capture.ZIP")));
    ASSERT_EQ(second.kind, State::Kind::done);
    EXPECT_NE(second.resultDir, first.resultDir);
}

TEST_F(DropReconstructionTest, ResultFilesFromAZipHaveTheModeOfNewFiles)
{
    // The zip is unpacked into the private folder with owner-only files; their copies in the result folder
    // are made like every other file there.
    makeCapture(QStringLiteral("capture"), 2, "zipped", "{}");
    zipFolder(QStringLiteral("capture"), QStringLiteral("capture.zip"));
    const mode_t previousMask = ::umask(022);
    const State final = drop(path(QStringLiteral("capture.zip")));
    ::umask(previousMask);
    ASSERT_EQ(final.kind, State::Kind::done) << final.message.toStdString();

    QStringList checked;
    QDirIterator it(final.resultDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        struct stat info
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << file.toStdString();
        checked.append(QDir(final.resultDir).relativeFilePath(file));
    }
    checked.sort();
    EXPECT_EQ(checked, (QStringList{"Images/frame_00000.jpg", "Images/frame_00001.jpg", "label.txt",
                                    "model.obj", "model.usdz", "phone_morvel_settings.json"}));
}

TEST_F(DropReconstructionTest, DropDuringARunCancelsItAndIgnoresItsLateOutputs)
{
    const QString first = makeCapture(QStringLiteral("first"));
    const QString second = makeCapture(QStringLiteral("second"));
    m_engine.script = {FakeStep::progress(0.25), FakeStep::hold()};
    // The cancelled session still reports progress and then its cancellation.
    m_engine.afterCancel = {FakeStep::progress(0.9), FakeStep::cancelled(), FakeStep::end()};
    m_drop->ingest(QUrl::fromLocalFile(first), QStringLiteral("full"));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return m_drop->state().fraction == 0.25; }, tovarine::test::kHangCeilingMs));
    CompanionReconstructor* firstDriver = m_drop->reconstructor();
    ASSERT_NE(firstDriver, nullptr);
    const std::shared_ptr<test::FakeSessionRecord> firstSession = m_engine.record;

    m_engine.script = {FakeStep::progress(0.5), FakeStep::complete(), FakeStep::end()};
    m_states.clear();
    const State final = drop(second);

    EXPECT_EQ(final, State::done(resultDir(QStringLiteral("second")),
                                 resultDir(QStringLiteral("second")) + QStringLiteral("/model.usdz")));
    EXPECT_EQ(firstSession->cancelCount, 1);
    EXPECT_FALSE(messages().contains(QStringLiteral("Reconstructing · 90%")));
    EXPECT_FALSE(messages().contains(QStringLiteral("Cancelled.")));
    QTest::qWait(50);
    EXPECT_EQ(m_drop->state(), final);
}

TEST_F(DropReconstructionTest, DropDuringUnzipAbandonsIt)
{
    // A zip with a lot to unpack: the second drop takes over, the first one's ending is ignored and its
    // unpacked copy is removed.
    const QString big = makeCapture(QStringLiteral("big"), 3);
    for (int i = 0; i < 200; ++i) {
        test::writeFile(big + QStringLiteral("/Images/extra_%1.jpg").arg(i), QByteArray(64 * 1024, 'x'));
    }
    zipFolder(QStringLiteral("big"), QStringLiteral("a.zip"), {QStringLiteral("-0")});

    m_drop->ingest(QUrl::fromLocalFile(path(QStringLiteral("a.zip"))), QStringLiteral("full"));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_drop->state(), State::preparing(QStringLiteral("Inspecting a.zip…")));
    const State final = drop(makeCapture(QStringLiteral("cup")));
    EXPECT_EQ(final.kind, State::Kind::done);
    EXPECT_EQ(final.resultDir, resultDir(QStringLiteral("cup")));
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return entries(unpackRoot()).isEmpty(); }, tovarine::test::kHangCeilingMs));
}

TEST_F(DropReconstructionTest, StaleObjIsRemovedAndAFailedExportStillGivesDone)
{
    const QString capture = makeCapture(QStringLiteral("cup"));
    const QString result = resultDir(QStringLiteral("cup"));
    ASSERT_EQ(drop(capture).kind, State::Kind::done);
    test::writeFile(result + QStringLiteral("/model.obj"), "v 0 0 0\n");
    test::writeFile(result + QStringLiteral("/model.usdz"), "stale");
    // An engine that claims completion but writes no readable model.
    m_engine.writeModel = [](const QString& modelPath) { test::writeFile(modelPath, "not a model"); };
    EXPECT_EQ(drop(capture), State::done(result, result + QStringLiteral("/model.usdz")));
    EXPECT_FALSE(QFileInfo::exists(result + QStringLiteral("/model.obj")));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/model.usdz")), QByteArray("not a model"));
}

} // namespace
} // namespace tovarine
