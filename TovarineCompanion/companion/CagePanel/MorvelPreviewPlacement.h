#pragma once

#include "MorvelSceneView.h"

#include <QObject>
#include <QPointer>

class QBoxLayout;
class QWidget;

namespace tovarine {

class MorvelMacSession;

// Keeps the cage preview beside the model preview while the session's phase is done: a MorvelSceneView of
// the phase's preview, labelled "Morvel", is added to the end of `row` (sharing its width with what is there)
// when the phase becomes done and removed when it leaves done. The wire follows setShowsCage.
// Lives as long as `rowOwner`, the widget whose layout holds `row`. GUI thread only.
class MorvelPreviewPlacement : public QObject
{
    Q_OBJECT
public:
    MorvelPreviewPlacement(MorvelMacSession& session, QBoxLayout* row, QWidget* rowOwner, bool showsCage);

    void setShowsCage(bool showsCage);
    // The cage preview while one is shown, else null.
    MorvelSceneView* view() const { return m_view; }

private:
    void refresh();

    MorvelMacSession& m_session;
    QBoxLayout* m_row;
    QWidget* m_rowOwner;
    bool m_showsCage;
    QPointer<MorvelSceneView> m_view;
};

} // namespace tovarine
