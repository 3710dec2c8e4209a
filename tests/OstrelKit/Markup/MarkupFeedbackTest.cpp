#include "MarkupState.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kRule(40, QChar(0x2500));

class MarkupFeedback : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_home.path() + "/.config").toUtf8());
        m_state.setClock([] { return QDateTime(QDate(2026, 12, 10), QTime(18, 30, 5), Qt::UTC); });
    }

    QTemporaryDir m_home;
    MarkupState m_state;
};

TEST_F(MarkupFeedback, EmptyBriefHasFiveLines)
{
    EXPECT_EQ(m_state.buildBrief(), "TOVARINE.APP MARKUP FEEDBACK\nsource: native app\ntimestamp: "
                                    "2026-12-10T18:30:05Z\n\n(no changes marked)");
}

TEST_F(MarkupFeedback, BriefNumbersNotesByPositionAndCountsStrokes)
{
    m_state.addAnnotation(QPointF(12.9, -3.2));
    m_state.addAnnotation(QPointF(1, 1));
    m_state.addAnnotation(QPointF(50, 60));
    m_state.updateAnnotation(3, 50, 60, "make this \"bigger\"");
    m_state.removeAnnotation(2);
    m_state.setCurrentPoints({QPointF(0, 0), QPointF(5, 5)});
    m_state.finishFreehand();
    const QString expected = QStringLiteral("TOVARINE.APP MARKUP FEEDBACK\nsource: native app\n"
                                            "timestamp: 2026-12-10T18:30:05Z\n\n"
                                            "ANNOTATIONS (2)\n")
                             + kRule
                             + "\n1. at position (12, -3)\n   \"(no text)\"\n\n"
                               "2. at position (50, 60)\n   \"make this \"bigger\"\"\n\n"
                               "DRAWINGS\n"
                             + kRule
                             + "\n1 stroke(s) drawn on the page.\n(see strokes array in JSON for coordinates)\n";
    EXPECT_EQ(m_state.buildBrief(), expected);
}

TEST_F(MarkupFeedback, FileHoldsSortedMembersAndTruncatedIntegers)
{
    m_state.addAnnotation(QPointF(12.9, -3.2));
    m_state.setCurrentPoints({QPointF(10.7, 20.2), QPointF(30, -4.9)});
    m_state.finishFreehand();
    m_state.setArrowStart(QPointF(0.5, 0.5));
    m_state.finishArrow(QPointF(100.9, -50.9));

    const MarkupState::SaveResult saved = m_state.saveFeedback();
    ASSERT_TRUE(saved.saved) << saved.error.toStdString();
    EXPECT_EQ(saved.path, m_home.path() + "/Documents/quenby/markup-feedback.json");
    QFile file(saved.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Slashes are escaped; the rule characters of the brief are raw UTF-8.
    EXPECT_TRUE(bytes.contains("\"page\" : \"(native app)\""));
    EXPECT_TRUE(bytes.contains(kRule.toUtf8()));
    const QJsonObject document = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(document.keys(), (QStringList{"annotations", "brief", "page", "strokes", "textEdits", "timestamp"}));
    EXPECT_EQ(document["timestamp"].toString(), "2026-12-10T18:30:05Z");
    EXPECT_TRUE(document["textEdits"].toArray().isEmpty());
    const QJsonObject note = document["annotations"].toArray()[0].toObject();
    EXPECT_EQ(note.keys(), (QStringList{"id", "scrollY", "text", "x", "y"}));
    EXPECT_EQ(note["x"].toInteger(), 12);
    EXPECT_EQ(note["y"].toInteger(), -3);
    EXPECT_EQ(note["text"].toString(), "");
    const QJsonArray strokes = document["strokes"].toArray();
    ASSERT_EQ(strokes.size(), 2);
    EXPECT_EQ(strokes[0].toObject().keys(), (QStringList{"color", "d", "size", "type"}));
    EXPECT_EQ(strokes[0].toObject()["d"].toString(), "M 10 20 L 30 -4");
    EXPECT_EQ(strokes[1].toObject().keys(), (QStringList{"color", "size", "type", "x1", "x2", "y1", "y2"}));
    EXPECT_EQ(strokes[1].toObject()["x2"].toInteger(), 100);
    EXPECT_EQ(strokes[1].toObject()["y2"].toInteger(), -50);
    EXPECT_EQ(strokes[1].toObject()["size"].toInteger(), 3);
    EXPECT_EQ(document["brief"].toString(), m_state.buildBrief());
}

TEST_F(MarkupFeedback, SecondSaveReplacesTheFirst)
{
    ASSERT_TRUE(m_state.saveFeedback().saved);
    m_state.addAnnotation(QPointF(1, 2));
    ASSERT_TRUE(m_state.saveFeedback().saved);
    QFile file(MarkupState::feedbackFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object()["annotations"].toArray().size(), 1);
    EXPECT_EQ(QDir(m_home.path() + "/Documents/quenby").entryList(QDir::Files), QStringList{"markup-feedback.json"});
}

TEST_F(MarkupFeedback, BlockedFolderIsReportedAndWritesNothing)
{
    QDir().mkpath(m_home.path() + "/Documents");
    QFile blocker(m_home.path() + "/Documents/quenby");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("in the way");
    blocker.close();
    const MarkupState::SaveResult result = m_state.saveFeedback();
    EXPECT_FALSE(result.saved);
    EXPECT_TRUE(result.error.contains(m_home.path() + "/Documents/quenby")) << result.error.toStdString();
    QFile after(m_home.path() + "/Documents/quenby");
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), "in the way");
}

} // namespace
