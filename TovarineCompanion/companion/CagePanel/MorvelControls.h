#pragma once

#include "MorvelDetail.h"
#include "PhoneMorvelRedo.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class LineLimitedLabel;
class MorvelMacSession;
class SegmentedPicker;
using ostrel::UserDefaults;

// The cage panel under a finished reconstruction: picks the detail level (kept in the setting
// "tovarine.companion.morvel.detail"), starts or stops a cage fit of the session, offers a redo at the
// phone's recorded settings when the result folder holds "phone_morvel_settings.json", and shows the fit's
// progress, summary or failure with the "Cage wire" switch and buttons that reveal the written files.
// The panel belongs to one result: the phone settings are read when it is first shown.
// GUI thread only.
class MorvelControls : public QWidget
{
    Q_OBJECT
public:
    // Shows a file selected in the file manager (the main window's workspace).
    using RevealFile = std::function<void(const QString& path)>;

    static constexpr int kRedoTimeLimitSeconds = kPhoneRedoTimeLimitSeconds;

    // `session` and `defaults` must outlive the panel. `meshPath` is the result's model.usdz.
    MorvelControls(MorvelMacSession& session, const QString& meshPath, const QString& resultDir,
                   UserDefaults& defaults, RevealFile reveal, QWidget* parent = nullptr);

    // The level stored in the setting; any string that names no level reads as standard.
    MorvelDetail selectedDetail() const;
    // The phone's redo, once the panel has been shown and the file held one.
    const std::optional<PhoneMorvelRedo>& phoneRedo() const { return m_phoneRedo; }

    // The "Cage wire" switch, bound to a flag its owner keeps: set from the owner, reported on a click.
    bool showsCage() const;
    void setShowsCage(bool showsCage);

signals:
    void showsCageChanged(bool showsCage);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildMainRow();
    QWidget* buildPhoneRow();
    QWidget* buildRunningRow();
    QWidget* buildDoneBlock();
    QWidget* buildFailedRow();
    void makeMorvel();
    void redo();
    void revealWritten(const char* fileName);
    void refreshDetail();
    void refresh();

    MorvelMacSession& m_session;
    QString m_meshPath;
    QString m_resultDir;
    UserDefaults& m_defaults;
    RevealFile m_reveal;
    std::optional<PhoneMorvelRedo> m_phoneRedo;
    bool m_appeared = false;

    SegmentedPicker* m_picker = nullptr;
    QPushButton* m_makeButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    // The button Stop gives the keyboard focus back to when the fit it took it from ends.
    QPushButton* m_focusReturn = nullptr;
    QWidget* m_phoneRow = nullptr;
    QLabel* m_phoneText = nullptr;
    QPushButton* m_redoButton = nullptr;
    QStackedWidget* m_statusArea = nullptr;
    QWidget* m_runningRow = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_runningText = nullptr;
    QWidget* m_doneBlock = nullptr;
    LineLimitedLabel* m_summaryText = nullptr;
    QCheckBox* m_cageWire = nullptr;
    QPushButton* m_show3dmButton = nullptr;
    QPushButton* m_showVellacotButton = nullptr;
    QWidget* m_failedRow = nullptr;
    LineLimitedLabel* m_failedText = nullptr;
};

} // namespace tovarine
