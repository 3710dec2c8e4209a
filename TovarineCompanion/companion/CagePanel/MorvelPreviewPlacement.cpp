#include "MorvelPreviewPlacement.h"

#include "MorvelMacSession.h"
#include "MorvelSceneView.h"

#include <QBoxLayout>

namespace tovarine {

MorvelPreviewPlacement::MorvelPreviewPlacement(MorvelMacSession& session, QBoxLayout* row, QWidget* rowOwner,
                                               bool showsCage)
    : QObject(rowOwner), m_session(session), m_row(row), m_rowOwner(rowOwner), m_showsCage(showsCage)
{
    connect(&m_session, &MorvelMacSession::phaseChanged, this, &MorvelPreviewPlacement::refresh);
    refresh();
}

void MorvelPreviewPlacement::setShowsCage(bool showsCage)
{
    m_showsCage = showsCage;
    if (m_view) {
        m_view->setShowsCage(showsCage);
    }
}

void MorvelPreviewPlacement::refresh()
{
    const MorvelMacSession::Phase& phase = m_session.phase();
    const bool done = phase.kind == MorvelMacSession::Phase::Kind::done;
    // The view is built once from one preview; another finished fit gets a view of its own.
    if (m_view && (!done || m_view->preview() != phase.preview)) {
        m_row->removeWidget(m_view);
        delete m_view;
    }
    if (done && !m_view) {
        m_view = new MorvelSceneView(phase.preview, m_showsCage, m_rowOwner);
        m_view->setObjectName(QStringLiteral("cagePreview"));
        m_view->setCornerLabel(QStringLiteral("Morvel"));
        m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_row->addWidget(m_view, 1);
    }
}

} // namespace tovarine
