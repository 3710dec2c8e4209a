#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QVBoxLayout;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class LineLimitedLabel;
class PreviewControls;
class USDZPreviewMac;
using ostrel::UserDefaults;

// The result of a finished drop, top to bottom, 10 px apart: the preview row (the model preview, at least
// 340 px high; a cage preview may be added beside it), the look controls, three places for the result
// panels (measure and rescale and print preparation, filled here; cage, empty until filled), and the result
// row: a green check, the result folder's name, "Open OBJ", "Reveal in File Manager" and "Drop another",
// with a note line under it when the desktop could not do what one of them asked.
// The preview follows the three look settings. GUI thread only.
class ResultView : public QWidget
{
    Q_OBJECT
public:
    // The places for the result panels, in their order under the look controls.
    enum class PanelSlot { measureAndRescale, printPrep, cage };

    ResultView(const QString& resultDir, const QString& meshPath, UserDefaults& defaults,
               QWidget* parent = nullptr);

    const QString& resultDir() const { return m_resultDir; }
    const QString& meshPath() const { return m_meshPath; }
    USDZPreviewMac* preview() const { return m_preview; }

    // The row holding the model preview; a cage preview goes after it (10 px apart, the two share the width).
    QHBoxLayout* previewRow() const { return m_previewRow; }
    // Puts `panel` in its place (replacing what was there; the view takes ownership).
    void setPanel(PanelSlot slot, QWidget* panel);
    QWidget* panel(PanelSlot slot) const;

    // The line under the result row that says what the desktop could not do for "Open OBJ" or a reveal;
    // empty hides it. `name`, where `text` holds it, is cut in its middle first when the note is too long
    // for its one line.
    void setActionNote(const QString& text, const QString& name = QString());
    QString actionNote() const;

signals:
    void openObjClicked();
    void revealClicked();
    void dropAnotherClicked();

private:
    void applyLook();

    QString m_resultDir;
    QString m_meshPath;
    UserDefaults& m_defaults;
    QHBoxLayout* m_previewRow = nullptr;
    USDZPreviewMac* m_preview = nullptr;
    PreviewControls* m_controls = nullptr;
    LineLimitedLabel* m_actionNote = nullptr;
    QWidget* m_panelSlots[3] = {};
};

} // namespace tovarine
