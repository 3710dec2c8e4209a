#pragma once

#include <QWidget>

namespace tovarine {

// Word-wrapped text limited to a number of lines; text beyond the last line is cut with an
// ellipsis at the end of that line. text() is always the whole text. GUI thread only.
class ElidedLabel : public QWidget
{
    Q_OBJECT
public:
    ElidedLabel(int maximumLines, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void setColor(const QColor& color);
    // Horizontal placement of each line; centred unless set.
    void setAlignment(Qt::Alignment alignment);
    // The lines as drawn at the current width (the last one elided when cut).
    QStringList visibleLines() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QStringList linesForWidth(int width) const;

    int m_maximumLines;
    QString m_text;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
};

} // namespace tovarine
