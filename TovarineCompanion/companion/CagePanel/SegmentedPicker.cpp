#include "SegmentedPicker.h"

#include "CagePanelStyle.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

namespace tovarine {

namespace {

QString segmentStyleSheet(bool first, bool last)
{
    const QString left = first ? QStringLiteral("5px") : QStringLiteral("0px");
    const QString right = last ? QStringLiteral("5px") : QStringLiteral("0px");
    return QStringLiteral(
               "QPushButton { color: rgba(255, 255, 255, 210); background: rgba(255, 255, 255, 18);"
               " border: 1px solid rgba(255, 255, 255, 45); %1 padding: 3px 10px;"
               " border-top-left-radius: %2; border-bottom-left-radius: %2;"
               " border-top-right-radius: %3; border-bottom-right-radius: %3; }"
               "QPushButton:checked { color: white; background: rgba(255, 255, 255, 72); }"
               "QPushButton:disabled { color: rgba(255, 255, 255, 90); }"
               "QPushButton:checked:disabled { background: rgba(255, 255, 255, 36); }")
        .arg(first ? QString() : QStringLiteral("border-left: none;"), left, right);
}

} // namespace

SegmentedPicker::SegmentedPicker(const QStringList& titles, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_group->setExclusive(true);
    for (int i = 0; i < titles.size(); ++i) {
        auto* segment = new QPushButton(titles[i], this);
        segment->setObjectName(QStringLiteral("segment_%1").arg(i));
        segment->setProperty("segmentIndex", i);
        segment->setCheckable(true);
        segment->setFont(CagePanelStyle::font(CagePanelStyle::Face::system, 12));
        segment->setCursor(Qt::PointingHandCursor);
        segment->setStyleSheet(segmentStyleSheet(i == 0, i + 1 == titles.size()));
        m_group->addButton(segment, i);
        layout->addWidget(segment);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedPicker::activated);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int SegmentedPicker::currentIndex() const
{
    return m_group->checkedId();
}

void SegmentedPicker::setCurrentIndex(int index)
{
    if (QAbstractButton* button = m_group->button(index)) {
        button->setChecked(true);
    }
}

int SegmentedPicker::count() const
{
    return int(m_group->buttons().size());
}

} // namespace tovarine
