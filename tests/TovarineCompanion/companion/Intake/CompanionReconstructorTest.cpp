#include "CompanionReconstructor.h"

#include "FakePhotogrammetrySession.h"
#include "HangCeiling.h"
#include "IntakeTestSupport.h"
#include "QStringPrinter.h"
#include "UsdzFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace tovarine {
namespace {

using test::FakeEngine;
using test::FakeStep;
using State = CompanionReconstructor::State;
using Detail = PhotogrammetrySession::Detail;

// A capture folder with Images/ of frames inside a temporary root; staging folders go to <root>/tmp.
class CompanionReconstructorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        QDir().mkpath(tempDir());
        test::makeFolderWithFiles(imagesDir(), test::numberedNames(QStringLiteral("frame_"), 3));
    }

    QString captureDir() const { return m_root.filePath(QStringLiteral("capture")); }
    QString imagesDir() const { return m_root.filePath(QStringLiteral("capture/Images")); }
    QString modelPath() const { return m_root.filePath(QStringLiteral("capture/model.usdz")); }
    QString tempDir() const { return m_root.filePath(QStringLiteral("tmp")); }

    // The private folders of model sets not yet committed, in the capture folder.
    QStringList pendingFolders() const
    {
        return QDir(captureDir())
            .entryList({QStringLiteral(".tovarine-model-*")}, QDir::AllEntries | QDir::Hidden);
    }

    QStringList stagingFolders() const
    {
        return QDir(tempDir()).entryList({QStringLiteral("tovarine-recon-*")},
                                         QDir::AllEntries | QDir::Hidden);
    }

    struct Outcome
    {
        State finalState;
        int finishedCalls = 0;
        QList<State> states;
        QList<std::pair<double, QString>> progress;
    };

    // Runs one driver to its end; `afterStart` runs right after run() returns.
    Outcome run(FakeEngine& engine, Detail detail = Detail::medium,
                const std::function<void(CompanionReconstructor&)>& afterStart = {},
                const QString& imagesSpelling = {})
    {
        Outcome outcome;
        CompanionReconstructor driver(engine.factory());
        driver.setTempDir(tempDir());
        QObject::connect(&driver, &CompanionReconstructor::stateChanged,
                         [&outcome](const State& state) { outcome.states.append(state); });
        driver.run(
            imagesSpelling.isEmpty() ? imagesDir() : imagesSpelling, detail,
            [&outcome](double fraction, const QString& message) {
                outcome.progress.append({fraction, message});
            },
            [&outcome, &driver](const State& finalState) {
                EXPECT_EQ(driver.activeSession(), nullptr);
                outcome.finalState = finalState;
                ++outcome.finishedCalls;
            });
        if (afterStart) {
            afterStart(driver);
        }
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return outcome.finishedCalls > 0; }, tovarine::test::kHangCeilingMs));
        // Late outputs of the session (its stream still closes) must not move the final state.
        QTest::qWait(20);
        EXPECT_EQ(outcome.finishedCalls, 1);
        EXPECT_EQ(driver.state(), outcome.finalState);
        EXPECT_EQ(driver.activeSession(), nullptr);
        return outcome;
    }

    QTemporaryDir m_root;
};

TEST(CompanionReconstructorDetail, SettingTextToDetail)
{
    const struct
    {
        const char* text;
        Detail detail;
    } cases[] = {
        {"raw", Detail::raw},       {"RAW", Detail::raw},        {"Full", Detail::full},
        {"full", Detail::full},     {"medium", Detail::medium},  {"reduced", Detail::reduced},
        {"Custom", Detail::custom}, {"preview", Detail::medium}, {"draft", Detail::medium},
        {"", Detail::medium},       {" full", Detail::medium},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompanionReconstructor::detail(QString::fromUtf8(c.text)), c.detail) << c.text;
    }
}

TEST_F(CompanionReconstructorTest, EndingsOfARun)
{
    const QString boom = QStringLiteral("The engine found too few matching features.");
    const struct
    {
        const char* name;
        QList<FakeStep> script;
        std::optional<QString> cannotMake;
        std::optional<QString> refusal;
        State expected;
    } cases[] = {
        {"complete",
         {FakeStep::progress(0.2), FakeStep::other(), FakeStep::complete(), FakeStep::end()},
         {},
         {},
         State::completed(modelPath())},
        {"request error",
         {FakeStep::progress(0.2), FakeStep::requestError(boom), FakeStep::end()},
         {},
         {},
         State::failed(boom)},
        {"cancelled", {FakeStep::cancelled(), FakeStep::end()}, {}, {}, State::cancelled()},
        {"stream ends without completion",
         {FakeStep::progress(0.7), FakeStep::other(), FakeStep::end()},
         {},
         {},
         State::failed(QStringLiteral("Reconstruction ended without completion event"))},
        {"stream fails",
         {FakeStep::progress(0.1), FakeStep::fail(QStringLiteral("colmap crashed"))},
         {},
         {},
         State::failed(QStringLiteral("colmap crashed"))},
        {"session cannot be made",
         {},
         QStringLiteral("No engine for this folder."),
         {},
         State::failed(QStringLiteral("No engine for this folder."))},
        {"request refused",
         {},
         {},
         QStringLiteral("The request was refused."),
         State::failed(QStringLiteral("The request was refused."))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A model from an earlier run stays until a run completes.
        ASSERT_TRUE(test::writeFile(modelPath(), "earlier"));
        FakeEngine engine;
        engine.script = c.script;
        engine.cannotMake = c.cannotMake;
        engine.refusal = c.refusal;
        const Outcome outcome = run(engine);
        EXPECT_EQ(outcome.finalState, c.expected);
        EXPECT_EQ(outcome.states.front(), State::running(0.0, QStringLiteral("preparing\u2026")));
        EXPECT_EQ(outcome.states.back(), c.expected);
        const bool completed = c.expected.kind == State::Kind::completed;
        EXPECT_EQ(test::readFile(modelPath()) == QByteArray("earlier"), !completed);
        if (engine.record && engine.record->processed) {
            // The session writes into the pending set inside the capture folder, not over the model.
            EXPECT_EQ(QFileInfo(QFileInfo(engine.record->modelPath).absolutePath()).absolutePath(),
                      captureDir());
            EXPECT_EQ(QFileInfo(engine.record->modelPath).fileName(), QStringLiteral("model.usdz"));
        }
        EXPECT_TRUE(stagingFolders().isEmpty());
        EXPECT_TRUE(pendingFolders().isEmpty());
    }
}

TEST_F(CompanionReconstructorTest, ProgressTextTruncatesThePercentage)
{
    FakeEngine engine;
    engine.script = {FakeStep::progress(0.0),
                     FakeStep::progress(0.5),
                     FakeStep::progress(0.999),
                     FakeStep::progress(std::numeric_limits<double>::quiet_NaN()),
                     FakeStep::progress(std::numeric_limits<double>::infinity()),
                     FakeStep::progress(1.0),
                     FakeStep::complete(),
                     FakeStep::end()};
    const Outcome outcome = run(engine);
    const QString prefix = QStringLiteral("Reconstructing \u00b7 ");
    const QList<std::pair<double, QString>> expected = {
        {0.0, prefix + QStringLiteral("0%")},
        {0.5, prefix + QStringLiteral("50%")},
        {0.999, prefix + QStringLiteral("99%")},
        {1.0, prefix + QStringLiteral("100%")},
    };
    // A fraction that is not a finite number is skipped: the last progress stays on show.
    EXPECT_EQ(outcome.progress, expected);
    const QList<State> expectedStates = {
        State::running(0.0, QStringLiteral("preparing\u2026")),
        State::running(0.0, prefix + QStringLiteral("0%")),
        State::running(0.5, prefix + QStringLiteral("50%")),
        State::running(0.999, prefix + QStringLiteral("99%")),
        State::running(1.0, prefix + QStringLiteral("100%")),
        State::completed(modelPath()),
    };
    EXPECT_EQ(outcome.states, expectedStates);
}

TEST_F(CompanionReconstructorTest, ConfigurationAndRequest)
{
    FakeEngine engine;
    run(engine, Detail::full);
    EXPECT_EQ(engine.configuration.sampleOrdering, PhotogrammetrySession::SampleOrdering::sequential);
    EXPECT_EQ(engine.configuration.featureSensitivity, PhotogrammetrySession::FeatureSensitivity::high);
    EXPECT_EQ(engine.configuration.customDetailSpecification.maximumPolygonCount, 0);
    EXPECT_TRUE(engine.configuration.customDetailSpecification.outputTextureMaps.isEmpty());
    EXPECT_EQ(engine.record->detail, Detail::full);
    EXPECT_EQ(engine.inputFolder, imagesDir());

    FakeEngine custom;
    run(custom, Detail::custom);
    const auto& specification = custom.configuration.customDetailSpecification;
    EXPECT_EQ(specification.maximumPolygonCount, 10'000'000);
    EXPECT_EQ(specification.maximumTextureDimension, PhotogrammetrySession::TextureDimension::eightK);
    using Map = PhotogrammetrySession::TextureMap;
    EXPECT_EQ(specification.outputTextureMaps,
              (QSet<Map>{Map::diffuseColor, Map::normal, Map::ambientOcclusion, Map::roughness}));
    EXPECT_EQ(custom.record->detail, Detail::custom);
}

TEST_F(CompanionReconstructorTest, ModelGoesBesideTheFramesFolderHoweverItIsSpelled)
{
    const QString spellings[] = {imagesDir() + QLatin1Char('/'),
                                 m_root.filePath(QStringLiteral("capture/./Images//"))};
    for (const QString& spelling : spellings) {
        SCOPED_TRACE(spelling.toStdString());
        FakeEngine engine;
        const Outcome outcome = run(engine, Detail::medium, {}, spelling);
        EXPECT_EQ(outcome.finalState, State::completed(modelPath()));
        EXPECT_TRUE(UsdzFile::read(modelPath()).hasValue());
        EXPECT_FALSE(QFileInfo::exists(imagesDir() + QStringLiteral("/model.usdz")));
        EXPECT_TRUE(pendingFolders().isEmpty());
    }
}

TEST_F(CompanionReconstructorTest, MixedCapturesAreStagedWithOneKindOfFrames)
{
    const QString prefix = QStringLiteral("mixed-source images \u00b7 ");
    const struct
    {
        int stills;
        const char* stillExtension;
        int frames;
        QString note; // empty: not staged
        int linked;
        const char* linkedPrefix;
    } cases[] = {
        {19, "jpg", 300, prefix + QStringLiteral("only 19 hires_* \u00b7 using 300 frame_*"), 300, "frame_"},
        {20, "JPEG", 300, prefix + QStringLiteral("using 20 hires_* \u00b7 skipping 300 frame_*"), 20,
         "hires_"},
        {25, "jpg", 0, QString(), 0, ""},
        {0, "jpg", 40, QString(), 0, ""},
        {25, "heic", 300, QString(), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note.isEmpty() ? QStringLiteral("not staged").toStdString() : c.note.toStdString());
        QDir(imagesDir()).removeRecursively();
        QStringList names =
            test::numberedNames(QStringLiteral("hires_"), c.stills, QString::fromLatin1(c.stillExtension));
        names += test::numberedNames(QStringLiteral("frame_"), c.frames);
        names +=
            {QStringLiteral("Frame_00000.jpg"), QStringLiteral("notes.txt"), QStringLiteral("thumb.jpg")};
        test::makeFolderWithFiles(imagesDir(), names);

        FakeEngine engine;
        const Outcome outcome = run(engine);
        EXPECT_EQ(outcome.finalState, State::completed(modelPath()));
        // The model goes beside the frames folder, not into the staging folder.
        EXPECT_TRUE(QFileInfo::exists(modelPath()));
        EXPECT_FALSE(engine.record->modelPath.startsWith(tempDir()));
        if (c.note.isEmpty()) {
            EXPECT_EQ(engine.inputFolder, imagesDir());
            EXPECT_EQ(outcome.progress.front().second, QStringLiteral("Reconstructing \u00b7 50%"));
            continue;
        }
        EXPECT_NE(engine.inputFolder, imagesDir());
        EXPECT_TRUE(QFileInfo(engine.inputFolder).fileName().startsWith(QLatin1String("tovarine-recon-")));
        EXPECT_EQ(QFileInfo(engine.inputFolder).absolutePath(), QFileInfo(tempDir()).absoluteFilePath());
        ASSERT_EQ(engine.inputEntries.size(), c.linked);
        for (const QString& entry : engine.inputEntries) {
            EXPECT_TRUE(entry.startsWith(QLatin1String(c.linkedPrefix))) << entry.toStdString();
        }
        EXPECT_EQ(outcome.states.at(1), State::running(0.0, c.note));
        EXPECT_EQ(outcome.progress.front(), std::make_pair(0.0, c.note));
        EXPECT_TRUE(stagingFolders().isEmpty());
    }
}

TEST_F(CompanionReconstructorTest, StagingLinksPointAtTheFrames)
{
    QDir(imagesDir()).removeRecursively();
    test::makeFolderWithFiles(imagesDir(),
                              {QStringLiteral("hires_00000.jpg"), QStringLiteral("frame_00000.jpg")});
    const std::optional<MixedSourceStaging::Staged> staged =
        MixedSourceStaging::stage(imagesDir(), tempDir());
    ASSERT_TRUE(staged);
    const QFileInfo link(QDir(staged->path).filePath(QStringLiteral("frame_00000.jpg")));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), QDir(imagesDir()).absoluteFilePath(QStringLiteral("frame_00000.jpg")));
    EXPECT_EQ(QDir(staged->path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    QDir(staged->path).removeRecursively();

    // A staging folder that cannot be made means no staging.
    test::writeFile(m_root.filePath(QStringLiteral("not-a-folder")));
    EXPECT_FALSE(MixedSourceStaging::stage(imagesDir(), m_root.filePath(QStringLiteral("not-a-folder"))));
}

TEST_F(CompanionReconstructorTest, CancelDuringTheRunEndsCancelledAndRemovesStaging)
{
    test::makeFolderWithFiles(imagesDir(), test::numberedNames(QStringLiteral("hires_"), 2));
    FakeEngine engine;
    engine.script = {FakeStep::progress(0.3), FakeStep::hold()};
    const Outcome outcome = run(engine, Detail::medium, [&engine](CompanionReconstructor& driver) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return driver.state().message.endsWith(QLatin1String("30%")); },
                                    tovarine::test::kHangCeilingMs));
        EXPECT_EQ(driver.activeSession(), engine.session.data());
        EXPECT_TRUE(QDir(engine.inputFolder).exists());
        driver.activeSession()->cancel();
    });
    EXPECT_EQ(outcome.finalState, State::cancelled());
    EXPECT_EQ(engine.record->cancelCount, 1);
    EXPECT_TRUE(stagingFolders().isEmpty());
}

TEST_F(CompanionReconstructorTest, CancelBeforeTheSessionExistsNeverStartsIt)
{
    test::makeFolderWithFiles(imagesDir(), test::numberedNames(QStringLiteral("hires_"), 2));
    ASSERT_TRUE(test::writeFile(modelPath(), "earlier model"));
    FakeEngine engine;
    const Outcome outcome = run(engine, Detail::medium, [](CompanionReconstructor& driver) {
        // Still staging: no session yet.
        EXPECT_EQ(driver.activeSession(), nullptr);
        driver.cancel();
    });
    EXPECT_EQ(outcome.finalState, State::cancelled());
    EXPECT_EQ(engine.madeCount, 0);
    EXPECT_TRUE(stagingFolders().isEmpty());
    // Nothing ran, so nothing was removed either.
    EXPECT_EQ(test::readFile(modelPath()), QByteArray("earlier model"));
}

TEST_F(CompanionReconstructorTest, CompletionWithoutAModelFileFailsAndKeepsTheEarlierModel)
{
    ASSERT_TRUE(test::writeFile(modelPath(), "earlier model"));
    FakeEngine engine;
    engine.writeModel = {};
    const Outcome outcome = run(engine);
    EXPECT_EQ(outcome.finalState,
              State::failed(QStringLiteral("The reconstruction ended without writing a model file.")));
    EXPECT_EQ(test::readFile(modelPath()), QByteArray("earlier model"));
    EXPECT_TRUE(pendingFolders().isEmpty());
}

TEST_F(CompanionReconstructorTest, CallerCommitsTheModelSetItTakes)
{
    ASSERT_TRUE(test::writeFile(modelPath(), "earlier model"));
    ASSERT_TRUE(test::writeFile(captureDir() + QStringLiteral("/model.obj"), "earlier obj"));
    FakeEngine engine;
    std::optional<PendingModelSet> models;
    CompanionReconstructor driver(engine.factory());
    driver.setTempDir(tempDir());
    driver.setCommitsOnCompletion(false);
    State finalState;
    driver.run(imagesDir(), Detail::medium, {}, [&](const State& state) {
        finalState = state;
        models = driver.takeModelSet();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return finalState.kind != State::Kind::idle; },
                                tovarine::test::kHangCeilingMs));
    ASSERT_EQ(finalState.kind, State::Kind::completed);
    ASSERT_TRUE(models.has_value());
    EXPECT_FALSE(driver.takeModelSet().has_value());
    // Until the caller commits, the completed model waits in the pending set and the earlier one stays.
    EXPECT_EQ(finalState.modelPath, models->filePath(QStringLiteral("model.usdz")));
    EXPECT_EQ(test::readFile(modelPath()), QByteArray("earlier model"));
    ASSERT_TRUE(test::writeFile(models->filePath(QStringLiteral("model.obj")), "new obj"));
    ASSERT_TRUE(models->commit().hasValue());
    EXPECT_TRUE(UsdzFile::read(modelPath()).hasValue());
    EXPECT_EQ(test::readFile(captureDir() + QStringLiteral("/model.obj")), QByteArray("new obj"));
    EXPECT_TRUE(pendingFolders().isEmpty());
}

TEST_F(CompanionReconstructorTest, DriverCancelReachesTheSession)
{
    FakeEngine engine;
    engine.script = {FakeStep::hold()};
    const Outcome outcome = run(engine, Detail::medium, [](CompanionReconstructor& driver) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return driver.activeSession() != nullptr; },
                                    tovarine::test::kHangCeilingMs));
        driver.cancel();
    });
    EXPECT_EQ(outcome.finalState, State::cancelled());
    EXPECT_EQ(engine.record->cancelCount, 1);
}

} // namespace
} // namespace tovarine
