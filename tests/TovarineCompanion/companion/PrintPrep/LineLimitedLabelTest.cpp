#include "LineLimitedLabel.h"

#include "PanelStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

// The rows of `image` that hold ink (light text on black), top to bottom.
QList<int> inkRows(const QImage& image)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 60) {
                rows.append(y);
                break;
            }
        }
    }
    return rows;
}

// Laid at a fixed pitch, a status line keeps the room of its lines at that pitch in every usual monospaced
// face, the tall ones included (their own line boxes run up to 1.4 times the size), and shows each line's
// letters whole, ascenders and descenders, inside the line's own band.
TEST(LineLimitedLabel, AFixedPitchKeepsTheRoomAndShowsEveryLineWholeInEachFace)
{
    const int pitch = PanelStyle::monospacedLinePx(10);
    const QString sample = QStringLiteral("gjpqy bdfhkl");
    for (const char* name :
         {"DejaVu Sans Mono", "Liberation Mono", "Hack", "Fira Code", "Noto Sans Mono", "JetBrains Mono"}) {
        SCOPED_TRACE(name);
        const QString family = QString::fromLatin1(name);
        if (!QFontDatabase::hasFamily(family)) {
            GTEST_SKIP() << name << " is not installed here";
        }
        QFont font(family);
        font.setPixelSize(10);
        ASSERT_EQ(QFontInfo(font).family(), family);

        // The rows the sample's letters take, drawn freely in the face's own line box.
        QImage free(300, 60, QImage::Format_RGB32);
        free.fill(Qt::black);
        {
            QPainter painter(&free);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(10, 30, sample);
        }
        const QList<int> freeRows = inkRows(free);
        ASSERT_FALSE(freeRows.isEmpty());
        const int letterRows = freeRows.last() - freeRows.first() + 1;

        LineLimitedLabel label(2);
        label.setFont(font);
        label.setStyleSheet(QStringLiteral("color: white;"));
        label.setLinePitch(pitch);
        label.keepRoomOfAllLines();
        EXPECT_EQ(label.height(), 2 * pitch);
        // Wide enough for one sample: the text wraps to two lines, one sample each.
        label.resize(QFontMetrics(font).horizontalAdvance(sample) + 4, label.height());
        label.setFullText(sample + QLatin1Char(' ') + sample);
        ASSERT_EQ(label.fullText(), label.text()) << "shown whole";
        label.ensurePolished();
        QImage shown(label.size(), QImage::Format_RGB32);
        shown.fill(Qt::black);
        label.render(&shown, QPoint(), QRegion(), QWidget::DrawChildren);

        const QList<int> rows = inkRows(shown);
        for (int line = 0; line < 2; ++line) {
            SCOPED_TRACE(line);
            QList<int> band;
            for (int row : rows) {
                if (row >= line * pitch && row < (line + 1) * pitch) {
                    band.append(row);
                }
            }
            ASSERT_FALSE(band.isEmpty());
            // All the letters' rows inside the band: not cut at the label's edges, nor run into the other
            // line.
            EXPECT_EQ(band.last() - band.first() + 1, letterRows);
        }
    }
}

} // namespace
} // namespace tovarine
