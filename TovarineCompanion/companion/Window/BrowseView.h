#pragma once

#include "DropReconstruction.h"
#include "MorvelMacSession.h"

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class DropCircle;
class ResultScrollArea;
class ResultView;
using ostrel::UserDefaults;
class Workspace;

// The main window's content: the wordmark, the drop circle (or, once a drop is done, the result view in a
// scroll area whose scroll bar sits in the right margin, so the result has the column's full width) and the
// footer. A capture dropped anywhere on it (only the first URL, in every state) goes
// to its DropReconstruction with the detail setting read at the drop. Minimum size 560 x 540. Owns the
// DropReconstruction and the cage session for its whole life; every change of the drop state to a different
// value resets the cage session (its fit stops, its phase is idle and its written folder none).
// GUI thread only.
class BrowseView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMinimumWidthPx = 560;
    static constexpr int kMinimumHeightPx = 540;

    // `workspace` and `defaults` must outlive the view.
    BrowseView(DropReconstruction::Environment environment, Workspace& workspace, UserDefaults& defaults,
               QWidget* parent = nullptr);
    // `cageRuns` replaces how the cage session runs its fits (tests).
    BrowseView(DropReconstruction::Environment environment, Workspace& workspace, UserDefaults& defaults,
               MorvelMacSession::RunStarter cageRuns, QWidget* parent = nullptr);
    ~BrowseView() override;

    DropReconstruction& drop() const { return *m_drop; }
    MorvelMacSession& morvel() const { return *m_morvel; }
    // Whether the cage preview draws the cage wire; the cage panel's "Cage wire" switch sets it.
    bool showsCage() const { return m_showsCage; }
    DropCircle* dropCircle() const { return m_circle; }
    // The result view while the state is done, else null.
    ResultView* resultView() const { return m_resultView; }
    bool isDropTargeted() const { return m_isDropTargeted; }

    // The detail setting in words: "raw detail", "medium detail", "reduced detail", else "full detail".
    static QString prettyDetail(const QString& detail);

signals:
    // The footer's Settings button.
    void settingsRequested();
    // A result view was made for a done state; the result panels are placed into it from here.
    void resultViewCreated(tovarine::ResultView* view);

protected:
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onStateChanged(const DropReconstruction::State& state);
    void placeCagePanel(const DropReconstruction::State& state);
    void refreshDetail();
    void setDropTargeted(bool targeted);
    // "Open OBJ": the result's model.obj with its default application, else the result folder, with a note
    // saying what failed; a note alone when there is no model.obj.
    void openObj();
    // Shows `path` selected in the file manager; notes a fallback or a failure under the result row.
    void reveal(const QString& path);
    QWidget* buildHeader();
    QWidget* buildFooter();
    // Moves the result's scroll bar out of the content column into the right margin (as far as the margin
    // holds it); the rows around the result keep to the column.
    void placeScrollBarInMargin();

    Workspace& m_workspace;
    UserDefaults& m_defaults;
    DropReconstruction* m_drop = nullptr;
    MorvelMacSession* m_morvel = nullptr;
    bool m_showsCage = true;
    DropReconstruction::State m_lastState;
    bool m_isDropTargeted = false;
    QVBoxLayout* m_layout = nullptr;
    QWidget* m_header = nullptr;
    QWidget* m_circleRow = nullptr;
    DropCircle* m_circle = nullptr;
    ResultScrollArea* m_resultScroll = nullptr;
    QWidget* m_footer = nullptr;
    ResultView* m_resultView = nullptr;
};

} // namespace tovarine
