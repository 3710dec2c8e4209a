#pragma once

#include <QLabel>

namespace tovarine {

// A word-wrapped label that shows at most a number of lines: text beyond the last line is cut with an
// ellipsis at the end of that line, and the whole text becomes the tooltip. fullText() is always the whole
// text; text() is what is shown at the current width. GUI thread only.
class LineLimitedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LineLimitedLabel(int maximumLines, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refit();

    int m_maximumLines;
    QString m_fullText;
};

} // namespace tovarine
