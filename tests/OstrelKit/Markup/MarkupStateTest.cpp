#include "MarkupState.h"

#include <gtest/gtest.h>

namespace {

TEST(MarkupState, FreshStateAndRawValues)
{
    MarkupState state;
    EXPECT_TRUE(state.isActive());
    EXPECT_EQ(state.mode(), MarkupMode::select);
    EXPECT_EQ(state.drawColor(), MarkupColor::yellow);
    EXPECT_EQ(state.strokeSize(), MarkupStrokeSize::medium);
    EXPECT_FALSE(state.showSendSheet());

    EXPECT_EQ(markupStrokeSizeFromRawValue(5), MarkupStrokeSize::thick);
    EXPECT_FALSE(markupStrokeSizeFromRawValue(4));
    EXPECT_EQ(label(MarkupStrokeSize::medium), "med");
    EXPECT_EQ(markupColorFromRawValue("#e8ff00"), MarkupColor::yellow);
    EXPECT_FALSE(markupColorFromRawValue("#E8FF00"));
    EXPECT_FALSE(markupModeFromRawValue("Draw"));
    EXPECT_EQ(displayColor(MarkupColor::blue), QColor::fromRgbF(0.3f, 0.67f, 1.0f));
}

TEST(MarkupState, FreehandNeedsTwoPointsAndKeepsItsInk)
{
    MarkupState state;
    state.setMode(MarkupMode::draw);
    state.setCurrentPoints({QPointF(1, 1)});
    state.finishFreehand();
    EXPECT_TRUE(state.strokes().isEmpty());
    EXPECT_TRUE(state.currentPoints().isEmpty());

    state.setStrokeSize(MarkupStrokeSize::fat);
    state.setCurrentPoints({QPointF(1, 1), QPointF(2, 2), QPointF(3, 5)});
    state.finishFreehand();
    ASSERT_EQ(state.strokes().size(), 1);
    state.setDrawColor(MarkupColor::red);
    state.setStrokeSize(MarkupStrokeSize::thin);
    EXPECT_EQ(state.strokes()[0].points.size(), 3);
    EXPECT_EQ(state.strokes()[0].size, 8);
    EXPECT_EQ(state.strokes()[0].color, MarkupColor::yellow);
}

TEST(MarkupState, ArrowsLongerThanTenPointsOnly)
{
    MarkupState state;
    state.setArrowPreviewEnd(QPointF(5, 5));
    state.finishArrow(QPointF(100, 100)); // never started: nothing changes
    EXPECT_TRUE(state.strokes().isEmpty());
    EXPECT_EQ(state.arrowPreviewEnd(), QPointF(5, 5));

    state.setArrowStart(QPointF(0, 0));
    state.finishArrow(QPointF(10, 0)); // exactly 10: dropped
    EXPECT_TRUE(state.strokes().isEmpty());
    EXPECT_FALSE(state.arrowStart());
    EXPECT_FALSE(state.arrowPreviewEnd());

    state.setArrowStart(QPointF(0, 0));
    state.setArrowPreviewEnd(QPointF(3, 3));
    state.finishArrow(QPointF(10.01, 0));
    ASSERT_EQ(state.strokes().size(), 1);
    EXPECT_EQ(state.strokes()[0].type, MarkupStroke::StrokeType::arrow);
    EXPECT_EQ(state.strokes()[0].points, (QList<QPointF>{QPointF(0, 0), QPointF(10.01, 0)}));
}

TEST(MarkupState, NoteNumbersUndoClearAndToggle)
{
    MarkupState state;
    state.setMode(MarkupMode::note);
    for (int i = 0; i < 3; ++i) {
        state.addAnnotation(QPointF(i, i));
    }
    EXPECT_EQ(state.mode(), MarkupMode::select);
    state.removeAnnotation(2);
    state.removeAnnotation(42);
    state.addAnnotation(QPointF(9, 9));
    QList<qint64> ids;
    for (const MarkupAnnotation& note : state.annotations()) {
        ids.append(note.id);
    }
    EXPECT_EQ(ids, (QList<qint64>{1, 3, 4}));

    state.setCurrentPoints({QPointF(0, 0), QPointF(1, 1)});
    state.finishFreehand();
    state.undo();
    state.undo();
    EXPECT_TRUE(state.strokes().isEmpty());
    EXPECT_EQ(state.annotations().size(), 3);

    state.setMode(MarkupMode::draw);
    state.setDrawColor(MarkupColor::blue);
    state.setShowSendSheet(true);
    state.clearAll();
    EXPECT_TRUE(state.annotations().isEmpty());
    EXPECT_EQ(state.mode(), MarkupMode::draw);
    EXPECT_EQ(state.drawColor(), MarkupColor::blue);
    EXPECT_TRUE(state.showSendSheet());
    state.addAnnotation(QPointF(1, 1));
    EXPECT_EQ(state.annotations().first().id, 1);

    state.setMode(MarkupMode::draw);
    state.toggle();
    EXPECT_FALSE(state.isActive());
    EXPECT_EQ(state.mode(), MarkupMode::select);
    state.toggle();
    EXPECT_TRUE(state.isActive());
    EXPECT_EQ(state.mode(), MarkupMode::select);
}

TEST(MarkupStroke, PathDataTruncatesTowardZero)
{
    const MarkupStroke one(MarkupStroke::StrokeType::freehand, {QPointF(4, 4)}, MarkupColor::red, 2);
    EXPECT_EQ(one.pathData(), "");
    const MarkupStroke small(MarkupStroke::StrokeType::freehand, {QPointF(0.9, -0.9), QPointF(2.5, 3.99)},
                             MarkupColor::red, 2);
    EXPECT_EQ(small.pathData(), "M 0 0 L 2 3");
    const MarkupStroke three(MarkupStroke::StrokeType::freehand,
                             {QPointF(10.7, 20.2), QPointF(30.0, -4.9), QPointF(31.5, 0.4)}, MarkupColor::red, 2);
    EXPECT_EQ(three.pathData(), "M 10 20 L 30 -4 L 31 0");
}

TEST(MarkupStroke, EncodesAndDecodesWithItsKeys)
{
    const MarkupStroke arrow(MarkupStroke::StrokeType::arrow, {QPointF(1.5, 2), QPointF(30, 40)},
                             MarkupColor::blue, 5);
    const QJsonObject json = arrow.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"color", "id", "points", "size", "type"}));
    const std::optional<MarkupStroke> back = MarkupStroke::fromJson(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, arrow.id);
    EXPECT_EQ(back->points, arrow.points);
    EXPECT_EQ(back->color, MarkupColor::blue);
    QJsonObject bad = json;
    bad.insert("color", "#E8FF00");
    EXPECT_FALSE(MarkupStroke::fromJson(bad));

    const MarkupAnnotation note{7, 1.5, -2, "fix"};
    EXPECT_EQ(MarkupAnnotation::fromJson(note.toJson()), note);
}

} // namespace
