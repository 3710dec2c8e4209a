#include "AboutSubtitleFlip.h"
#include "OstrelAboutModel.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(AboutSubtitleFlip, FlipsLettersOnlyAndBothWays)
{
    struct Case
    {
        QString source;
        qsizetype index;
        bool changes;
        QString result;
    };
    const Case cases[] = {
        {QStringLiteral("aB"), 0, true, QStringLiteral("AB")},
        {QStringLiteral("aB"), 1, true, QStringLiteral("ab")},
        {QStringLiteral("a1"), 1, false, QStringLiteral("a1")},      // digit
        {QStringLiteral("a b"), 1, false, QStringLiteral("a b")},    // blank
        {QStringLiteral("a."), 1, false, QStringLiteral("a.")},      // punctuation
        {QStringLiteral("x\U0001FAD6"), 1, false, QStringLiteral("x\U0001FAD6")}, // emoji
        {QStringLiteral("\u00DF"), 0, true, QStringLiteral("SS")},   // full mapping kept as one element
        {QStringLiteral("\u05D0"), 0, false, QStringLiteral("\u05D0")}, // a letter without case
        {QStringLiteral("e\u0301"), 0, true, QStringLiteral("E\u0301")}, // one user-perceived character
        {QStringLiteral("ab"), 5, false, QStringLiteral("ab")},      // out of range
    };
    for (const Case& c : cases) {
        QStringList letters = AboutSubtitleFlip::letters(c.source);
        EXPECT_EQ(AboutSubtitleFlip::flipAt(letters, c.index), c.changes) << c.source.toStdString();
        EXPECT_EQ(letters.join(QString()), c.result) << c.source.toStdString();
        EXPECT_EQ(letters.size(), AboutSubtitleFlip::letters(c.source).size());
    }
}

TEST(AboutSubtitleFlip, TicksOnlyEverShowCaseVariantsOfTheLetters)
{
    QStringList letters = AboutSubtitleFlip::letters(QStringLiteral("ab 7"));
    ASSERT_EQ(letters.size(), 4);
    QSet<QString> seen;
    for (int i = 0; i < 2000; ++i) {
        AboutSubtitleFlip::tick(letters);
        EXPECT_EQ(letters.at(2), QStringLiteral(" "));
        EXPECT_EQ(letters.at(3), QStringLiteral("7"));
        seen.insert(letters.join(QString()));
    }
    EXPECT_EQ(seen, (QSet<QString>{"ab 7", "Ab 7", "aB 7", "AB 7"}));

    QStringList digits = AboutSubtitleFlip::letters(QStringLiteral("12-3"));
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(AboutSubtitleFlip::tick(digits));
    }
    QStringList empty;
    EXPECT_FALSE(AboutSubtitleFlip::tick(empty));
    EXPECT_TRUE(empty.isEmpty());
}

TEST(OstrelAboutModel, TitleJoinsTheNamesWithoutABlankAndPaletteDefaults)
{
    OstrelAboutModel model;
    model.appName = QStringLiteral("Ab");
    model.appNameAccent = QStringLiteral("Cd");
    EXPECT_EQ(model.windowTitle(), QStringLiteral("About AbCd"));
    EXPECT_EQ(&model.effectivePalette(), &OstrelAboutPalette::defaultPalette());

    OstrelAboutPalette custom = OstrelAboutPalette::defaultPalette();
    custom.background = Qt::red;
    model.palette = custom;
    EXPECT_EQ(model.effectivePalette().background, QColor(Qt::red));
    EXPECT_EQ(OstrelAboutPalette::defaultPalette().accentBar.size(), 4);
}
