#include "MorvelControls.h"

#include "FakeCageRuns.h"
#include "HangCeiling.h"
#include "LineLimitedLabel.h"
#include "MorvelMacSession.h"
#include "SegmentedPicker.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace tovarine;

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Phase = MorvelMacSession::Phase;

using test::cageMade;

// A panel on a result folder, over a session whose fits the test plays by hand.
class MorvelControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(m_dir.isValid());
        m_resultDir = m_dir.filePath(QStringLiteral("result"));
        ASSERT_TRUE(QDir().mkpath(m_resultDir));
        m_meshPath = m_resultDir + QStringLiteral("/model.usdz");
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath(QStringLiteral("settings.ini")));
        m_session = std::make_unique<MorvelMacSession>(m_runs.starter());
    }

    MorvelControls& showPanel()
    {
        m_panel = std::make_unique<MorvelControls>(*m_session, m_meshPath, m_resultDir, *m_defaults,
                                                   [this](const QString& path) { m_revealed << path; });
        m_panel->resize(560, 120);
        m_panel->show();
        return *m_panel;
    }

    void writePhoneSettings(const QByteArray& json)
    {
        QFile file(m_resultDir + QStringLiteral("/phone_morvel_settings.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
    }

    template <typename T> T* child(const char* name)
    {
        T* found = m_panel->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    bool shown(const char* name) { return child<QWidget>(name)->isVisible(); }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }

    QTemporaryDir m_dir;
    QString m_resultDir;
    QString m_meshPath;
    test::FakeCageRuns m_runs;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<MorvelMacSession> m_session;
    std::unique_ptr<MorvelControls> m_panel;
    QStringList m_revealed;
};

} // namespace

TEST_F(MorvelControlsTest, IdlePanelOffersTheStoredLevelAndMakesACageWithItsOptionsAndLimit)
{
    const struct
    {
        std::optional<QString> stored;
        int segment;
        MorvelDetail detail;
    } cases[] = {
        {std::nullopt, 1, MorvelDetail::standard},
        {QStringLiteral("preview"), 0, MorvelDetail::preview},
        {QStringLiteral("fine"), 2, MorvelDetail::fine},
        {QStringLiteral("Fine"), 1, MorvelDetail::standard},
        {QStringLiteral("ultra"), 1, MorvelDetail::standard},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.value_or(QStringLiteral("(unset)")).toStdString());
        if (c.stored) {
            m_defaults->setValue(SettingsKeys::kMorvelDetail, *c.stored);
        } else {
            m_defaults->remove(SettingsKeys::kMorvelDetail);
        }
        m_runs.fits.clear();
        m_session->reset();
        showPanel();

        auto* picker = child<SegmentedPicker>("detailPicker");
        EXPECT_EQ(picker->currentIndex(), c.segment);
        EXPECT_TRUE(picker->isEnabled());
        EXPECT_EQ(child<QPushButton>("segment_0")->text(), "Preview 600");
        EXPECT_EQ(child<QPushButton>("segment_1")->text(), "Standard 3000");
        EXPECT_EQ(child<QPushButton>("segment_2")->text(), "Fine 8000");
        EXPECT_EQ(child<QLabel>("morvelLabel")->text(), "morvel");
        EXPECT_TRUE(shown("makeMorvelButton"));
        EXPECT_FALSE(shown("stopButton"));
        EXPECT_FALSE(shown("phoneRow")) << "no phone settings in the result folder";
        EXPECT_FALSE(shown("runningRow") || shown("doneBlock") || shown("failedRow"))
            << "idle shows no status";

        click("makeMorvelButton");
        ASSERT_EQ(m_runs.fits.size(), 1u);
        const MorvelRun::Request& request = m_runs.fits[0]->request;
        EXPECT_EQ(request.meshPath, m_meshPath);
        EXPECT_EQ(request.dir, m_resultDir);
        EXPECT_EQ(request.options, MorvelDetails::options(c.detail));
        EXPECT_EQ(request.timeLimitSeconds, MorvelDetails::timeLimitSeconds(c.detail));
    }
}

TEST_F(MorvelControlsTest, ChoosingALevelStoresItAndTheSettingMovesThePicker)
{
    showPanel();
    QTest::mouseClick(child<QPushButton>("segment_2"), Qt::LeftButton);
    EXPECT_EQ(m_defaults->string(SettingsKeys::kMorvelDetail, {}), "fine");
    click("segment_0");
    EXPECT_EQ(m_defaults->string(SettingsKeys::kMorvelDetail, {}), "preview");

    m_defaults->setValue(SettingsKeys::kMorvelDetail, QStringLiteral("standard"));
    EXPECT_EQ(child<SegmentedPicker>("detailPicker")->currentIndex(), 1);
}

TEST_F(MorvelControlsTest, RunningFitShowsItsStagesAndStopEndsIt)
{
    writePhoneSettings(R"({"quads": 412, "settings": {}})");
    showPanel();
    ASSERT_TRUE(shown("phoneRow"));
    click("makeMorvelButton");
    ASSERT_EQ(m_runs.fits.size(), 1u);

    EXPECT_TRUE(shown("runningRow"));
    EXPECT_EQ(child<QLabel>("runningText")->text(), u"Reading the scan\u2026"_qs);
    EXPECT_EQ(child<QProgressBar>("fitProgress")->value(), 20);
    EXPECT_FALSE(child<QWidget>("detailPicker")->isEnabled());
    EXPECT_FALSE(shown("makeMorvelButton"));
    EXPECT_TRUE(shown("stopButton"));
    EXPECT_FALSE(shown("phoneRow")) << "the redo is hidden while a fit runs";

    m_runs.fits[0]->step(u"Fitting the cage\u2026"_qs, 0.55);
    EXPECT_EQ(child<QLabel>("runningText")->text(), u"Fitting the cage\u2026"_qs);
    EXPECT_EQ(child<QProgressBar>("fitProgress")->value(), 550);

    click("stopButton");
    EXPECT_EQ(m_runs.fits[0]->stops, 1);
    EXPECT_FALSE(shown("runningRow"));
    EXPECT_TRUE(shown("failedRow"));
    EXPECT_EQ(child<LineLimitedLabel>("failedText")->fullText(), "Stopped. Nothing was written.");
    EXPECT_TRUE(shown("makeMorvelButton"));
    EXPECT_TRUE(child<QWidget>("detailPicker")->isEnabled());
    EXPECT_TRUE(shown("phoneRow"));
}

// Stop takes the place of Make Morvel while a fit runs, and the keyboard focus of the button that started the
// fit (Make Morvel, or Redo, whose row hides meanwhile), and gives it back when the fit ends: a second Space
// stops the fit rather than pressing whatever came next.
TEST_F(MorvelControlsTest, StopTakesTheFocusOfTheButtonThatStartedTheFit)
{
    writePhoneSettings(R"({"quads": 412, "settings": {}})");
    showPanel();
    m_panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_panel.get(), tovarine::test::kHangCeilingMs));
    auto* stop = child<QPushButton>("stopButton");
    const QRect makePlace = child<QPushButton>("makeMorvelButton")->geometry();
    for (const char* starter : {"makeMorvelButton", "redoButton"}) {
        SCOPED_TRACE(starter);
        auto* button = child<QPushButton>(starter);
        const std::size_t fits = m_runs.fits.size();
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        ASSERT_EQ(m_runs.fits.size(), fits + 1);
        EXPECT_EQ(QApplication::focusWidget(), stop);
        EXPECT_EQ(stop->geometry(), makePlace);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_EQ(m_runs.fits.back()->stops, 1);
        EXPECT_EQ(QApplication::focusWidget(), button);
    }
}

TEST_F(MorvelControlsTest, FinishedFitShowsItsSummaryTheWireSwitchAndRevealsTheWrittenFiles)
{
    showPanel();
    click("makeMorvelButton");
    m_runs.fits[0]->finish(cageMade());

    EXPECT_TRUE(shown("doneBlock"));
    EXPECT_FALSE(shown("runningRow") || shown("failedRow"));
    EXPECT_TRUE(shown("doneSymbol"));
    EXPECT_EQ(child<LineLimitedLabel>("summaryText")->fullText(), u"3,000 quads \u00b7 4.2 s"_qs);
    auto* wire = child<QCheckBox>("cageWireToggle");
    EXPECT_EQ(wire->text(), "Cage wire");
    EXPECT_TRUE(wire->isChecked());
    QSignalSpy wireChanges(m_panel.get(), &MorvelControls::showsCageChanged);
    click("cageWireToggle");
    ASSERT_EQ(wireChanges.size(), 1);
    EXPECT_FALSE(wireChanges[0][0].toBool());
    EXPECT_FALSE(m_panel->showsCage());

    ASSERT_TRUE(shown("show3dmButton") && shown("showVellacotButton"));
    EXPECT_EQ(child<QPushButton>("show3dmButton")->text(), "Show .3dm in File Manager");
    click("show3dmButton");
    click("showVellacotButton");
    EXPECT_EQ(m_revealed,
              (QStringList{m_resultDir + "/model_morvel.3dm", m_resultDir + "/model_morvel.vellacot"}));
}

TEST_F(MorvelControlsTest, RevealUsesTheFolderTheFilesWereWrittenIn)
{
    // Another result's panel made the cage; this panel reveals where the files are, not its own folder.
    m_session->start(QStringLiteral("/elsewhere/model.usdz"), QStringLiteral("/elsewhere"), {}, 900);
    m_runs.fits[0]->finish(cageMade());
    showPanel();
    click("show3dmButton");
    EXPECT_EQ(m_revealed, QStringList{"/elsewhere/model_morvel.3dm"});
}

TEST_F(MorvelControlsTest, FitWithAWriteErrorIsDoneButOffersNoReveal)
{
    showPanel();
    click("makeMorvelButton");
    m_runs.fits[0]->finish(cageMade(QStringLiteral("No space left on device")));
    EXPECT_TRUE(shown("doneBlock"));
    EXPECT_TRUE(shown("cageWireToggle"));
    EXPECT_TRUE(child<LineLimitedLabel>("summaryText")
                    ->fullText()
                    .endsWith(u" \u00b7 files not saved: No space left on device"_qs));
    EXPECT_FALSE(shown("show3dmButton"));
    EXPECT_FALSE(shown("showVellacotButton"));
}

TEST_F(MorvelControlsTest, FailedFitShowsItsMessageCutToTwoLines)
{
    showPanel();
    click("makeMorvelButton");
    MorvelRun::Finished refused;
    refused.outcome.reply.ok = false;
    m_runs.fits[0]->finish(refused);
    EXPECT_TRUE(shown("failedRow"));
    EXPECT_TRUE(shown("failedSymbol"));
    EXPECT_FALSE(shown("doneBlock"));
    auto* text = child<LineLimitedLabel>("failedText");
    EXPECT_EQ(text->fullText(), "No Morvel: engine refused this scan.");
    EXPECT_EQ(text->text(), text->fullText()) << "a short message is shown whole";

    click("makeMorvelButton");
    MorvelRun::Failure failure;
    failure.kind = MorvelRun::Failure::Kind::engine;
    failure.localizedDescription = QString(QStringLiteral("the engine page stopped answering ")).repeated(12);
    m_runs.fits[1]->finish(unexpected(failure));
    ASSERT_TRUE(text->fullText().startsWith("No Morvel: the engine page"));
    EXPECT_LE(text->text().count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(text->text().endsWith(u"\u2026"_qs)) << text->text().toStdString();
    EXPECT_EQ(text->toolTip(), text->fullText());
}

namespace {

// The first and last rows of `image` that hold ink between columns `fromX` and `toX`: pixels away from the
// background colour, taken at the image's top-right corner. -1 where there is none.
std::pair<int, int> inkRows(const QImage& image, int fromX, int toX)
{
    const QColor background = image.pixelColor(image.width() - 1, 0);
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = std::max(0, fromX); x < std::min(image.width(), toX); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                    std::abs(c.blue() - background.blue()) >
                60) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

} // namespace

// A one-line failure or summary sits on the line of its warning or check symbol, not half a line below it:
// the ink of the symbol and of the text share their middle, as drawn.
TEST_F(MorvelControlsTest, OneLineStatusTextsSitOnTheLineOfTheirSymbol)
{
    MorvelRun::Finished refused;
    refused.outcome.reply.ok = false;
    const struct
    {
        const char* symbol;
        const char* text;
        MorvelRun::Finished ending;
    } cases[] = {
        {"failedSymbol", "failedText", refused},
        {"doneSymbol", "summaryText", cageMade()},
    };
    showPanel();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        click("makeMorvelButton");
        m_runs.fits.back()->finish(c.ending);
        auto* symbol = child<QLabel>(c.symbol);
        auto* text = child<LineLimitedLabel>(c.text);
        ASSERT_TRUE(symbol->isVisible() && text->isVisible());
        ASSERT_EQ(text->text().count(QLatin1Char('\n')), 0);
        ASSERT_LT(text->fontMetrics().horizontalAdvance(text->text()), text->width()) << "one line";
        QWidget* row = symbol->parentWidget();
        // Drawn over black, as in the result view.
        QImage image(row->size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        row->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const int symbolLeft = symbol->geometry().left();
        const auto [symbolTop, symbolBottom] = inkRows(image, symbolLeft, symbolLeft + symbol->width());
        const int textLeft = text->mapTo(row, QPoint()).x();
        const auto [textTop, textBottom] = inkRows(image, textLeft, textLeft + text->width());
        ASSERT_GE(symbolTop, 0);
        ASSERT_GE(textTop, 0);
        std::printf("[ ink ] %s rows %d-%d, %s rows %d-%d\n", c.symbol, symbolTop, symbolBottom, c.text,
                    textTop, textBottom);
        EXPECT_LE(std::abs((symbolTop + symbolBottom) - (textTop + textBottom)), 4)
            << "symbol " << symbolTop << "-" << symbolBottom << ", text " << textTop << "-" << textBottom;
    }
}

TEST_F(MorvelControlsTest, PhoneRedoIsOfferedOnlyWithThePhoneSettings)
{
    const struct
    {
        const char* json;
        const char* text;
        const char* help;
    } cases[] = {
        {R"({"quads": 412, "settings": {"host": {"macRedo": {"targetQuads": 5000}}}})",
         "phone preview: 412 quads",
         "The phone's settings (5000 quads, creases, refit) on this full-detail scan."},
        {R"({"settings": {}})", "phone Morvel settings found",
         "The phone's settings (3000 quads, creases, refit) on this full-detail scan."},
        {R"({})", nullptr, nullptr},
        {"not json", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        writePhoneSettings(c.json);
        m_runs.fits.clear();
        m_session->reset();
        showPanel();
        if (!c.text) {
            EXPECT_FALSE(shown("phoneRow"));
            continue;
        }
        ASSERT_TRUE(shown("phoneRow"));
        EXPECT_EQ(child<QLabel>("phoneText")->text(), c.text);
        EXPECT_EQ(child<QPushButton>("redoButton")->text(), "Redo at full detail");
        EXPECT_EQ(child<QPushButton>("redoButton")->toolTip(), c.help);
        click("redoButton");
        ASSERT_EQ(m_runs.fits.size(), 1u);
        EXPECT_EQ(m_runs.fits[0]->request.options, m_panel->phoneRedo()->options);
        EXPECT_EQ(m_runs.fits[0]->request.options.value("mode").toString(), "redo");
        EXPECT_EQ(m_runs.fits[0]->request.timeLimitSeconds, 1800);
    }
    // No file at all: no redo.
    QFile::remove(m_resultDir + QStringLiteral("/phone_morvel_settings.json"));
    showPanel();
    EXPECT_FALSE(shown("phoneRow"));
}
