#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QPushButton;

namespace ostrel {

class OllamaClient;

// The "local AI" setup panel: tells whether the local model server is installed, answers and holds a
// model, and offers the one step needed next (a command to copy, a download of the default model,
// Refresh). It never installs, starts or configures the server; it changes only the running server's model
// store (through the client's download) and the clipboard.
//
// A status check runs every time the view is shown, on Refresh and after a successful download. When checks
// overlap, the one started last decides the state. GUI thread only.
class OllamaSetupView : public QWidget
{
    Q_OBJECT
public:
    enum class SetupState { checking, notInstalled, notRunning, noModel, ready };

    // What the view asks of the machine, replaceable by tests.
    struct Environment
    {
        // True when the server program is installed. Default: a file at /usr/local/bin/ollama or
        // /usr/bin/ollama, or an "ollama" program on the PATH.
        std::function<bool()> serverInstalled;
        // Replaces the clipboard's content with text. Default: the desktop clipboard.
        std::function<void(const QString&)> copyText;
    };

    // The model downloaded by the view's button.
    static inline const QString kDefaultModel = QStringLiteral("llama3.1:8b");
    // The commands offered for copying: the server's own install script (which sets up its system service),
    // and the start command of that service.
    static inline const QString kInstallCommand =
        QStringLiteral("curl -fsSL https://ollama.com/install.sh | sh && sudo systemctl start ollama");
    static inline const QString kStartCommand = QStringLiteral("sudo systemctl start ollama");

    // `client` is the creator's and must outlive the view.
    explicit OllamaSetupView(OllamaClient* client, QWidget* parent = nullptr);
    OllamaSetupView(OllamaClient* client, Environment environment, QWidget* parent = nullptr);
    ~OllamaSetupView() override;

    SetupState setupState() const { return m_setupState; }
    QString progressText() const { return m_progressText; }
    bool isPulling() const { return m_isPulling; }
    bool pullComplete() const { return m_pullComplete; }
    std::optional<QString> errorText() const { return m_errorText; }

    // Starts a status check: the state shows checking at once and settles when the check ends.
    void checkStatus();
    // Starts the download of the default model and returns at once.
    void pullDefaultModel();

    // The installed-server probe used when the environment gives none.
    static bool defaultServerInstalled();

signals:
    // Any of the view's state fields changed (the body has been rebuilt).
    void stateChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setSetupState(SetupState state);
    void rebuild();
    QWidget* checkingView();
    QWidget* notInstalledView();
    QWidget* notRunningView();
    QWidget* noModelView();
    QWidget* readyView();
    QWidget* statusRow(const QColor& color, const QString& text);
    QPushButton* refreshButton();
    QPushButton* actionButton(const QString& text, const QColor& fill, const QString& objectName);
    // A blue action button that puts `command` on the clipboard.
    QPushButton* copyButton(const QString& text, const QString& command, const QString& objectName);
    // The action button (if any), then Refresh.
    QHBoxLayout* buttonRow(QPushButton* action);

    QPointer<OllamaClient> m_client;
    Environment m_environment;
    SetupState m_setupState = SetupState::checking;
    QString m_progressText;
    bool m_isPulling = false;
    bool m_pullComplete = false;
    std::optional<QString> m_errorText;
    quint64 m_checkGeneration = 0; // the check started last; earlier checks' results are dropped

    QVBoxLayout* m_column = nullptr;
    QWidget* m_body = nullptr;
    QLabel* m_progressLabel = nullptr; // in the body while a download runs
    QLabel* m_errorLabel = nullptr;
};

} // namespace ostrel
