#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

namespace tovarine {

// A row of joined, checkable segments of which exactly one is chosen (a segmented control). The segment
// buttons are named "segment_<i>". GUI thread only.
class SegmentedPicker : public QWidget
{
    Q_OBJECT
public:
    explicit SegmentedPicker(const QStringList& titles, QWidget* parent = nullptr);

    int currentIndex() const;
    // Chooses a segment without emitting activated().
    void setCurrentIndex(int index);
    int count() const;

signals:
    // The user chose segment `index`.
    void activated(int index);

private:
    QButtonGroup* m_group = nullptr;
};

} // namespace tovarine
