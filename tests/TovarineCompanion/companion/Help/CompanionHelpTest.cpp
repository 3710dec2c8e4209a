#include "CompanionAbout.h"
#include "CompanionHelp.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovarine;

namespace {

QMap<QString, int> countBySection(const QList<ostrel::HelpEntry>& entries)
{
    QMap<QString, int> counts;
    for (const ostrel::HelpEntry& entry : entries) {
        ++counts[entry.section()];
    }
    return counts;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(CompanionHelp, TopicsFillTheSectionsInOrder)
{
    EXPECT_EQ(CompanionHelp::helpSections(),
              (QStringList{"Getting started", "Capture", "Reconstruction", "Morvel", "Units + orientation",
                           "Files + sharing", "Print prep", "Licences"}));
    const QList<ostrel::HelpEntry> base = CompanionHelp::baseEntries();
    ASSERT_EQ(base.size(), 13);
    EXPECT_EQ(countBySection(base), (QMap<QString, int>{{"Getting started", 2},
                                                        {"Capture", 2},
                                                        {"Reconstruction", 2},
                                                        {"Units + orientation", 2},
                                                        {"Files + sharing", 2},
                                                        {"Print prep", 3}}));
    EXPECT_EQ(base.first().title(), QStringLiteral("What the Companion does"));
    EXPECT_EQ(base.last().title(), QStringLiteral("Grow thin"));
    const QList<ostrel::HelpEntry> morvel = CompanionHelp::morvelEntries();
    EXPECT_EQ(countBySection(morvel), (QMap<QString, int>{{"Morvel", 4}}));
    EXPECT_EQ(morvel.first().title(), QStringLiteral("Morvel"));

    for (const ostrel::HelpEntry& entry : base + morvel) {
        EXPECT_FALSE(entry.shortcut().has_value());
        EXPECT_FALSE(entry.location().has_value());
        EXPECT_FALSE(entry.body().trimmed().isEmpty()) << entry.title().toStdString();
    }
}

TEST(CompanionHelp, EachReadMakesNewIdentifiersForEqualTexts)
{
    const auto first = CompanionHelp::baseEntries();
    const auto second = CompanionHelp::baseEntries();
    ASSERT_EQ(first.size(), second.size());
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].title(), second[i].title());
        EXPECT_EQ(first[i].body(), second[i].body());
        EXPECT_EQ(first[i].section(), second[i].section());
        EXPECT_NE(first[i].id(), second[i].id());
    }
}

TEST(CompanionHelp, GlossaryHasSixSectionsOf22Terms)
{
    const ostrel::ConcordanceConfiguration config = CompanionHelp::concordanceConfig();
    QStringList titles;
    QList<int> counts;
    for (const auto& section : config.sections) {
        titles.append(section.title);
        counts.append(int(section.entries.size()));
    }
    EXPECT_EQ(titles, (QStringList{"Capture", "Mechanism \u2014 hardware", "Mechanism \u2014 photogrammetry",
                                   "History of scanning", "Units + orientation", "Rules"}));
    EXPECT_EQ(counts, (QList<int>{5, 3, 4, 6, 3, 1}));
    EXPECT_EQ(config.entryCount(), 22);
    EXPECT_EQ(config.countLine(), QStringLiteral("tovarine v00000-007  \u00B7  6 sections  \u00B7  22 entries"));
    EXPECT_EQ(config.subtitle, QStringLiteral("A scanner's companion"));
    EXPECT_TRUE(config.footerTagline.startsWith(QStringLiteral("OstrelDesignSystem\u2122 \u00B7 ")));
    EXPECT_EQ(config.termColor, QColor(Qt::white));
    EXPECT_TRUE(config.headerFont.bold());
    EXPECT_EQ(config.sections.at(5).entries.at(0).term(), QStringLiteral("Local only"));
    EXPECT_TRUE(config.sections.at(5).entries.at(0).detail().contains(QStringLiteral("No cloud, no account, no server.")));
}

TEST(CompanionHelp, VisibleTextsNameThisDesktopNotAnotherOne)
{
    const QRegularExpression otherPlatform(QStringLiteral("\\b(Mac|macOS|Finder|AirDrop|Apple)\\b"));
    QStringList texts;
    for (const auto& entry : CompanionHelp::baseEntries() + CompanionHelp::morvelEntries()) {
        texts << entry.title() << entry.body();
    }
    for (const auto& section : CompanionHelp::concordanceConfig().sections) {
        for (const auto& term : section.entries) {
            texts << term.term() << term.detail();
        }
    }
    const ostrel::OstrelAboutModel about = CompanionAbout::aboutModel();
    texts << about.descriptor << about.tagline << about.tagline2;
    for (const QString& text : texts) {
        EXPECT_FALSE(text.contains(otherPlatform)) << text.toStdString();
    }
}

// The texts describe what this build does: no normal, ambient-occlusion or roughness maps (the engine bakes
// the diffuse colour only), no "Make watertight" command, and result folders that are named after the drop,
// not the label, with "-2" for another capture of the same name.
TEST(CompanionHelp, TextsClaimOnlyWhatThisBuildDoes)
{
    QStringList texts;
    QString naming;
    QString label;
    for (const auto& entry : CompanionHelp::baseEntries() + CompanionHelp::morvelEntries()) {
        texts << entry.body();
        if (entry.title() == QLatin1String("Naming")) {
            naming = entry.body();
        }
    }
    for (const auto& section : CompanionHelp::concordanceConfig().sections) {
        for (const auto& term : section.entries) {
            texts << term.detail();
            if (term.term() == QLatin1String("Label")) {
                label = term.detail();
            }
        }
    }
    const char* const falseClaims[] = {"roughness",         "normal map",       "Make watertight",
                                       "same stamp always", "names the result", "the result on your Desktop"};
    for (const QString& text : texts) {
        for (const char* claim : falseClaims) {
            EXPECT_FALSE(text.contains(QLatin1String(claim), Qt::CaseInsensitive))
                << claim << ": " << text.toStdString();
        }
    }
    EXPECT_TRUE(naming.contains(QStringLiteral("-2"))) << naming.toStdString();
    EXPECT_TRUE(naming.contains(QStringLiteral("does not name it"))) << naming.toStdString();
    // A zip is unpacked under a fresh name every time, so it never comes back to its earlier folder.
    EXPECT_TRUE(naming.contains(QStringLiteral("each time you drop it"))) << naming.toStdString();
    EXPECT_FALSE(naming.contains(QStringLiteral("same capture again reuses"))) << naming.toStdString();
    EXPECT_TRUE(label.contains(QStringLiteral("does not name the folder"))) << label.toStdString();
    EXPECT_FALSE(label.isEmpty());
}

TEST(CompanionHelp, LicenceTopicsWithoutAnEngineFolder)
{
    for (const QString& folder : {QString(), QStringLiteral("/nonexistent/MorvelEngine")}) {
        const auto entries = CompanionHelp::licenceEntries(folder);
        ASSERT_EQ(entries.size(), 12);
        EXPECT_EQ(entries.first().title(), QStringLiteral("Third-party licences"));
        EXPECT_TRUE(entries.first().body().endsWith(QStringLiteral("The full texts follow.")));
        const QStringList files = CompanionHelp::licenceFiles();
        for (qsizetype i = 1; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].body(), QStringLiteral("Not found in this build: ") + files[i - 1]);
            EXPECT_EQ(entries[i].section(), QStringLiteral("Licences"));
        }
        EXPECT_EQ(entries[1].title(), QStringLiteral("Morvel engine notices"));
        EXPECT_EQ(entries.last().title(), QStringLiteral("Where to get the source"));
    }
}

TEST(CompanionHelp, LicenceTopicsReadTheEngineFolderFileByFile)
{
    QTemporaryDir engine;
    ASSERT_TRUE(engine.isValid());
    const QStringList files = CompanionHelp::licenceFiles();
    ASSERT_EQ(files.size(), 11);
    for (const QString& relative : files) {
        writeFile(engine.filePath(relative), QStringLiteral("Text of %1 \u2014 \u00A9").arg(relative).toUtf8());
    }
    writeFile(engine.filePath(files[2]), QByteArray("bad \xff\xfe bytes")); // not UTF-8
    ASSERT_TRUE(QFile::remove(engine.filePath(files[4])));                   // missing
    writeFile(engine.filePath(files[6]), QByteArray());                      // empty but readable

    const auto entries = CompanionHelp::licenceEntries(engine.path());
    ASSERT_EQ(entries.size(), 12);
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString body = entries[i + 1].body();
        if (i == 2 || i == 4) {
            EXPECT_EQ(body, QStringLiteral("Not found in this build: ") + files[i]);
        } else if (i == 6) {
            EXPECT_TRUE(body.isEmpty());
        } else {
            EXPECT_EQ(body, QStringLiteral("Text of %1 \u2014 \u00A9").arg(files[i]));
        }
    }
}

TEST(CompanionAbout, ModelCarriesTheAppsTextsAndFourEmblems)
{
    const ostrel::OstrelAboutModel model = CompanionAbout::aboutModel();
    EXPECT_EQ(model.windowTitle(), QStringLiteral("About tovarineCompanion"));
    EXPECT_EQ(model.versionString, QStringLiteral("v00000-007"));
    EXPECT_EQ(model.tagline, QStringLiteral("A scanner that treats the scan as the question."));
    EXPECT_EQ(model.tagline2, QStringLiteral("Drop a capture. Full detail comes back."));
    EXPECT_EQ(model.emblems, (QStringList{QStringLiteral("\U0001FAA8"), QStringLiteral("\U0001FAD6"),
                                          QStringLiteral("\U0001F3FA"), QStringLiteral("\U0001F9ED")}));
    EXPECT_FALSE(model.palette.has_value());
}
