#include "OllamaSetupView.h"

#include "OllamaClient.h"
#include "OstrelFonts.h"
#include "OllamaSetupSpinner.h"
#include "OstrelSymbolPainter.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace ostrel {

namespace {

// The desktop's standard named colours, as sRGB.
const QColor kOrange(255, 149, 0);
const QColor kGreen(52, 199, 89);
const QColor kRed(255, 59, 48);
const QColor kBlue(0, 122, 255);

constexpr int kMaxWidthPx = 420;

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(alpha);
    return color;
}

QString rgba(const QColor& color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QColor primaryColor(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}

QColor secondaryColor(const QWidget* widget)
{
    return withAlpha(primaryColor(widget), 0.55);
}

// One line of text; paragraph() for text that wraps.
QLabel* label(const QString& text, const QFont& font, const QColor& color, const QString& objectName = {})
{
    auto* result = new QLabel(text);
    result->setFont(font);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    result->setPalette(palette);
    if (!objectName.isEmpty()) {
        result->setObjectName(objectName);
    }
    return result;
}

QLabel* paragraph(const QString& text, const QFont& font, const QColor& color, const QString& objectName = {})
{
    QLabel* result = label(text, font, color, objectName);
    result->setWordWrap(true);
    return result;
}

QFont mono(double sizePt, QFont::Weight weight = QFont::Normal, double trackingPt = 0.0)
{
    return OstrelFonts::monospaced(sizePt, weight, false, trackingPt);
}

QFont proportional(double sizePt, bool italic = false)
{
    return OstrelFonts::system(sizePt, QFont::Normal, italic);
}

QHBoxLayout* centredRow(int spacing)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    row->setAlignment(Qt::AlignVCenter);
    return row;
}

QVBoxLayout* leadingColumn(QWidget* owner, int spacing)
{
    auto* column = new QVBoxLayout(owner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return column;
}

} // namespace

OllamaSetupView::OllamaSetupView(OllamaClient* client, QWidget* parent) : OllamaSetupView(client, {}, parent) {}

OllamaSetupView::OllamaSetupView(OllamaClient* client, Environment environment, QWidget* parent)
    : QWidget(parent), m_client(client), m_environment(std::move(environment))
{
    if (!m_environment.serverInstalled) {
        m_environment.serverInstalled = &OllamaSetupView::defaultServerInstalled;
    }
    if (!m_environment.copyText) {
        m_environment.copyText = [](const QString& text) {
            QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
        };
    }

    // The content column, at most 420 wide and centred in whatever space the view gets.
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("setupContent"));
    content->setMaximumWidth(kMaxWidthPx);
    outer->addStretch(1);
    outer->addWidget(content, 100);
    outer->addStretch(1);

    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(20, 20, 20, 20);
    m_column->setSpacing(16);

    auto* header = centredRow(8);
    const QIcon symbol = OstrelSymbolPainter::icon(u"brain", secondaryColor(this), 14);
    if (!symbol.isNull()) {
        auto* symbolLabel = new QLabel;
        symbolLabel->setObjectName(QStringLiteral("setupSymbol"));
        symbolLabel->setPixmap(symbol.pixmap(14, 14));
        header->addWidget(symbolLabel);
    }
    header->addWidget(label(QStringLiteral("LOCAL AI SETUP"), mono(11, QFont::Medium, 2), secondaryColor(this),
                            QStringLiteral("setupHeader")));
    header->addStretch(1);
    m_column->addLayout(header);

    m_errorLabel = paragraph({}, mono(11), withAlpha(kRed, 0.8), QStringLiteral("errorLabel"));
    m_errorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_column->addWidget(m_errorLabel);
    m_column->addStretch(1);
    rebuild();
}

OllamaSetupView::~OllamaSetupView() = default;

bool OllamaSetupView::defaultServerInstalled()
{
    for (const char* path : {"/usr/local/bin/ollama", "/usr/bin/ollama"}) {
        if (QFileInfo::exists(QString::fromLatin1(path))) {
            return true;
        }
    }
    return !QStandardPaths::findExecutable(QStringLiteral("ollama")).isEmpty();
}

void OllamaSetupView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    checkStatus();
}

void OllamaSetupView::checkStatus()
{
    const quint64 generation = ++m_checkGeneration;
    m_setupState = SetupState::checking;
    m_errorText.reset();
    rebuild();
    emit stateChanged();

    if (!m_environment.serverInstalled()) {
        setSetupState(SetupState::notInstalled);
        return;
    }
    if (!m_client) {
        setSetupState(SetupState::notRunning);
        return;
    }
    m_client->checkConnection([self = QPointer<OllamaSetupView>(this), generation](bool connected) {
        if (!self || generation != self->m_checkGeneration) {
            return; // the view is gone, or a later check owns the state
        }
        if (!connected || !self->m_client) {
            self->setSetupState(SetupState::notRunning);
            return;
        }
        self->setSetupState(self->m_client->availableModels().isEmpty() ? SetupState::noModel : SetupState::ready);
    });
}

void OllamaSetupView::pullDefaultModel()
{
    if (!m_client || m_isPulling) {
        return;
    }
    m_isPulling = true;
    m_pullComplete = false;
    m_errorText.reset();
    rebuild();
    emit stateChanged();

    const QPointer<OllamaSetupView> self(this);
    m_client->pullModel(
        kDefaultModel,
        [self](const QString& line) {
            if (!self) {
                return;
            }
            self->m_progressText = line;
            if (self->m_progressLabel) {
                self->m_progressLabel->setText(line);
            }
            emit self->stateChanged();
        },
        [self](const OllamaResult<void>& result) {
            if (!self) {
                return;
            }
            self->m_isPulling = false;
            if (result.ok()) {
                self->m_pullComplete = true;
                self->checkStatus();
                return;
            }
            self->m_errorText = QStringLiteral("Download failed: ") + result.error().errorDescription();
            self->rebuild();
            emit self->stateChanged();
        });
}

void OllamaSetupView::setSetupState(SetupState state)
{
    m_setupState = state;
    rebuild();
    emit stateChanged();
}

void OllamaSetupView::rebuild()
{
    if (m_body) {
        m_column->removeWidget(m_body);
        m_body->hide();
        m_body->deleteLater(); // its buttons may be the sender of the call that got us here
    }
    m_progressLabel = nullptr;
    switch (m_setupState) {
    case SetupState::checking:
        m_body = checkingView();
        break;
    case SetupState::notInstalled:
        m_body = notInstalledView();
        break;
    case SetupState::notRunning:
        m_body = notRunningView();
        break;
    case SetupState::noModel:
        m_body = noModelView();
        break;
    case SetupState::ready:
        m_body = readyView();
        break;
    }
    m_body->setObjectName(QStringLiteral("setupBody"));
    m_column->insertWidget(1, m_body);
    m_body->show(); // at once, not on the layout's next turn: the state and what shows never disagree
    m_errorLabel->setText(m_errorText.value_or(QString()));
    m_errorLabel->setVisible(m_errorText.has_value());
}

QWidget* OllamaSetupView::checkingView()
{
    auto* body = new QWidget;
    auto* row = centredRow(10);
    body->setLayout(row);
    row->addWidget(new OllamaSetupSpinner(14));
    row->addWidget(label(QStringLiteral("Checking local AI status..."), mono(12), secondaryColor(this),
                         QStringLiteral("checkingLabel")));
    row->addStretch(1);
    return body;
}

QWidget* OllamaSetupView::notInstalledView()
{
    auto* body = new QWidget;
    QVBoxLayout* column = leadingColumn(body, 12);
    column->addWidget(statusRow(kOrange, QStringLiteral("Ollama not found on this machine")));
    column->addWidget(paragraph(QStringLiteral("This app uses a local language model for intelligence features. "
                                           "Everything runs on your machine\u00a0\u2014 nothing leaves\u00a0it."),
                            proportional(12), secondaryColor(this)));
    QLabel* command = paragraph(kInstallCommand, mono(11), primaryColor(this), QStringLiteral("installCommand"));
    command->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(command);
    QPushButton* copy = copyButton(QStringLiteral("Copy Command"), kInstallCommand, QStringLiteral("copyCommandButton"));
    copy->setToolTip(QStringLiteral("Copies the install command. Run it in a terminal, then click Refresh. "
                                    "Ollama listens on 127.0.0.1 only."));
    column->addLayout(buttonRow(copy));
    return body;
}

QWidget* OllamaSetupView::notRunningView()
{
    auto* body = new QWidget;
    QVBoxLayout* column = leadingColumn(body, 12);
    column->addWidget(statusRow(kOrange, QStringLiteral("Ollama is installed but not running")));
    const QString text = QStringLiteral("Start Ollama (<span style=\"font-family: '%1'\">%2</span>, or "
                                        "<span style=\"font-family: '%1'\">ollama serve</span> if you run it "
                                        "yourself), then click Refresh. OstrelKit never starts, restarts or rebinds "
                                        "Ollama itself.")
                             .arg(mono(12).family(), kStartCommand.toHtmlEscaped());
    QLabel* explanation = paragraph(text, proportional(12), secondaryColor(this), QStringLiteral("startExplanation"));
    explanation->setTextFormat(Qt::RichText);
    column->addWidget(explanation);
    column->addLayout(buttonRow(
        copyButton(QStringLiteral("Copy Start Command"), kStartCommand, QStringLiteral("copyStartCommandButton"))));
    return body;
}

QWidget* OllamaSetupView::noModelView()
{
    auto* body = new QWidget;
    QVBoxLayout* column = leadingColumn(body, 12);
    column->addWidget(statusRow(kGreen, QStringLiteral("Ollama is running")));
    column->addWidget(statusRow(kOrange, QStringLiteral("No language model installed")));

    if (m_isPulling) {
        auto* pulling = new QWidget;
        QVBoxLayout* pullColumn = leadingColumn(pulling, 8);
        auto* row = centredRow(8);
        row->addWidget(new OllamaSetupSpinner(14));
        row->addWidget(label(QStringLiteral("Downloading model..."), mono(12, QFont::Medium), primaryColor(this)));
        row->addStretch(1);
        pullColumn->addLayout(row);
        m_progressLabel = label(m_progressText, mono(11), secondaryColor(this), QStringLiteral("progressLabel"));
        pullColumn->addWidget(m_progressLabel);
        pullColumn->addWidget(paragraph(QStringLiteral("This may take 5-20 minutes. You can leave this open."),
                                    proportional(11, true), secondaryColor(this)));
        column->addWidget(pulling);
    } else if (m_pullComplete) {
        column->addWidget(statusRow(kGreen, QStringLiteral("Model installed successfully")));
        column->addLayout(buttonRow(nullptr));
    } else {
        column->addWidget(paragraph(QStringLiteral("The default model (llama3.1:8b) requires about 4.7 GB of disk space "
                                               "and runs entirely on your machine."),
                                proportional(12), secondaryColor(this)));
        QPushButton* download = actionButton(QStringLiteral("Download llama3.1:8b"), withAlpha(kGreen, 0.6),
                                             QStringLiteral("downloadButton"));
        download->setToolTip(QStringLiteral("Download the default language model (~4.7 GB)"));
        connect(download, &QPushButton::clicked, this, &OllamaSetupView::pullDefaultModel);
        column->addLayout(buttonRow(download));
    }
    return body;
}

QWidget* OllamaSetupView::readyView()
{
    auto* body = new QWidget;
    QVBoxLayout* column = leadingColumn(body, 8);
    column->addWidget(statusRow(kGreen, QStringLiteral("Local AI is ready")));
    const qsizetype modelCount = m_client ? m_client->availableModels().size() : 0;
    if (modelCount > 0) {
        auto* row = centredRow(6);
        row->addWidget(label(QStringLiteral("Model:"), mono(11), secondaryColor(this)));
        row->addWidget(label(m_client->preferredModel(), mono(11, QFont::Medium), primaryColor(this),
                             QStringLiteral("modelLabel")));
        row->addStretch(1);
        column->addLayout(row);
    }
    if (modelCount >= 2) {
        column->addWidget(label(QStringLiteral("%1 models available").arg(modelCount), mono(10), secondaryColor(this),
                                QStringLiteral("modelCountLabel")));
    }
    return body;
}

QWidget* OllamaSetupView::statusRow(const QColor& color, const QString& text)
{
    auto* rowWidget = new QWidget;
    auto* row = centredRow(8);
    rowWidget->setLayout(row);
    auto* dot = new QLabel;
    dot->setFixedSize(7, 7);
    dot->setStyleSheet(QStringLiteral("background: %1; border-radius: 3px;").arg(rgba(withAlpha(color, 0.8))));
    row->addWidget(dot);
    QLabel* statusText = label(text, mono(12), primaryColor(this), QStringLiteral("statusText"));
    row->addWidget(statusText);
    row->addStretch(1);
    return rowWidget;
}

QPushButton* OllamaSetupView::refreshButton()
{
    auto* button = new QPushButton(QStringLiteral("Refresh"));
    button->setObjectName(QStringLiteral("refreshButton"));
    button->setFont(mono(10, QFont::Medium));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: transparent; border: 1px solid %2;"
                                         " border-radius: 3px; padding: 5px 10px; }")
                              .arg(rgba(primaryColor(this)), rgba(withAlpha(primaryColor(this), 0.3))));
    connect(button, &QPushButton::clicked, this, &OllamaSetupView::checkStatus);
    return button;
}

QPushButton* OllamaSetupView::copyButton(const QString& text, const QString& command, const QString& objectName)
{
    QPushButton* button = actionButton(text, withAlpha(kBlue, 0.6), objectName);
    connect(button, &QPushButton::clicked, this, [this, command] { m_environment.copyText(command); });
    return button;
}

QHBoxLayout* OllamaSetupView::buttonRow(QPushButton* action)
{
    QHBoxLayout* row = centredRow(12);
    if (action) {
        row->addWidget(action);
    }
    row->addWidget(refreshButton());
    row->addStretch(1);
    return row;
}

QPushButton* OllamaSetupView::actionButton(const QString& text, const QColor& fill, const QString& objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setFont(mono(11, QFont::Medium));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: %1; border: none;"
                                         " border-radius: 4px; padding: 7px 14px; }")
                              .arg(rgba(fill)));
    return button;
}

} // namespace ostrel
