#pragma once

#include <QLabel>

namespace tovarine {

// A word-wrapped label that shows at most a number of lines: text beyond the last line is cut with an
// ellipsis at the end of that line, and the whole text becomes the tooltip. A part of the text given as
// shrinkable (a file or folder name) gives way first, cut in its middle, so that the rest of the sentence
// stays whole. It can keep the room of all its lines whatever it shows, so that nothing around it moves when
// a text appears or grows. fullText() is always the whole text; text() is what is shown at the current width.
// GUI thread only.
class LineLimitedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LineLimitedLabel(int maximumLines, QWidget* parent = nullptr);

    // `shrinkable`, when it occurs in `text`, is shortened before the end of the text is cut.
    void setFullText(const QString& text, const QString& shrinkable = QString());
    const QString& fullText() const { return m_fullText; }

    // From now on the label is as high as its lines, empty or not.
    void keepRoomOfAllLines();

    // Lays the lines `px` apart, whatever line box the face has, each with its letters centred in its room;
    // the room kept is that many lines of `px`. 0 (the default) keeps the face's own line spacing.
    void setLinePitch(int px);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // How many lines `text` takes at `width`.
    int lineCount(const QString& text, int width) const;
    // `m_fullText` cut to the lines at `width`, with the rest of its last line elided.
    QString cutToLines(int width) const;
    // `m_fullText` with the shrinkable part cut in its middle so that the whole fits the lines at `width`;
    // empty when even the shortest cut does not fit.
    QString withShrunkPart(int width) const;
    void refit();
    void applyRoom();

    int m_maximumLines;
    bool m_keepsRoom = false;
    int m_linePitch = 0;
    QString m_fullText;
    QString m_shrinkable;
};

} // namespace tovarine
