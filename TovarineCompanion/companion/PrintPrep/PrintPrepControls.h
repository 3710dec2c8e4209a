#pragma once

#include "KeptFocus.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class LineLimitedLabel;
class MainThreadLink;
class StatusIndicator;
using ostrel::UserDefaults;

// The print-prep panel under the model preview: Thicken (the scan into a closed shell), the minimum-thickness
// guard and Grow thin, each on the typed thickness, writing its files into the result folder beside
// model.obj. A run goes on a worker thread; its progress lines and summary come back through a link the
// panel cuts when it is destroyed, so a late line never touches a panel that is gone (the run itself goes on
// and writes its files). The busy flag disables the buttons and is the only guard against overlapping runs.
// Running tools are asked to stop only when the application quits. GUI thread only.
class PrintPrepControls : public QWidget
{
    Q_OBJECT
public:
    PrintPrepControls(const QString& meshPath, const QString& resultDir, UserDefaults& defaults,
                      QWidget* parent = nullptr);
    ~PrintPrepControls() override;

    bool isWorking() const { return m_working; }
    // The status line, none before the first action.
    const std::optional<QString>& status() const { return m_status; }
    bool statusIsWarning() const { return m_statusIsWarning; }

    // The three button actions.
    void runThicken();
    void runMinThickness();
    void runGrow();

signals:
    // After each run ends (the last status line and the warning flag are set).
    void runFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::optional<QString> closedMeshOrWarn();
    void setStatus(const QString& text);
    void setWorking(bool working);
    void refresh();
    void unitsChanged();
    QString filePath(const QString& name) const;
    // Runs `work` on a worker thread. It reports status lines through the function it is given and returns
    // whether its summary carries the warning symbol; then the panel leaves the busy state.
    using Report = std::function<void(const QString&)>;
    void start(std::function<bool(std::stop_token, const Report&)> work);

    QString m_meshPath;
    QString m_resultDir;
    UserDefaults& m_defaults;
    QString m_units;
    bool m_working = false;
    bool m_statusIsWarning = false;
    bool m_shown = false;
    std::optional<QString> m_status;
    std::shared_ptr<MainThreadLink> m_link;
    KeptFocus m_keptFocus;

    QLineEdit* m_shellField = nullptr;
    QLineEdit* m_minField = nullptr;
    QLabel* m_unitLabels[2] = {};
    QPushButton* m_thickenButton = nullptr;
    QPushButton* m_guardButton = nullptr;
    QPushButton* m_growButton = nullptr;
    QWidget* m_statusRow = nullptr;
    StatusIndicator* m_indicator = nullptr;
    LineLimitedLabel* m_statusLabel = nullptr;
};

} // namespace tovarine
