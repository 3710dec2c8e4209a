#pragma once

#include <QAbstractButton>

namespace ostrel {

class OstrelWindow;

// Shows the controller's current constraint and toggles a square lock when clicked: "rectangle" in the
// secondary colour with the tooltip "No aspect constraint" while free; "square" and the preset's id in orange
// with "Current: <id>" while constrained. GUI thread only.
class AspectBadge : public QAbstractButton
{
    Q_OBJECT
public:
    explicit AspectBadge(OstrelWindow& windowController, QWidget* parent = nullptr);

    QString symbolName() const;
    QString badgeText() const; // empty while free
    QColor inkColor() const;

    QSize sizeHint() const override;

    static QColor secondaryColor();
    static QColor orangeColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    OstrelWindow& m_controller;
};

} // namespace ostrel
