#include "ElidedLabel.h"

#include <gtest/gtest.h>

namespace tovarine {
namespace {

TEST(ElidedLabel, LongTextIsCutAtTheEndOfItsLastLine)
{
    ElidedLabel label(4);
    label.resize(200, 100);
    QString text;
    for (int i = 0; i < 40; ++i) {
        text += QStringLiteral("word%1 ").arg(i);
    }
    label.setText(text.trimmed());
    const QStringList lines = label.visibleLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026))) << lines.last().toStdString();
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("word0 word1")));
    EXPECT_EQ(label.text(), text.trimmed()); // the whole text stays available
    EXPECT_EQ(label.heightForWidth(200), 4 * QFontMetrics(label.font()).lineSpacing());
}

TEST(ElidedLabel, ShortTextAndUnbrokenWords)
{
    ElidedLabel label(2);
    label.resize(200, 100);
    label.setText(QStringLiteral("Cancelled."));
    EXPECT_EQ(label.visibleLines(), QStringList{QStringLiteral("Cancelled.")});

    // A path with no spaces still wraps and is cut, never drawn past the edge.
    label.setText(QStringLiteral("/tmp/") + QString(300, QLatin1Char('x')));
    const QStringList lines = label.visibleLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    for (const QString& line : lines) {
        EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(line), 200);
    }
}

} // namespace
} // namespace tovarine
