#include "BrowseView.h"

#include "AppIdentity.h"
#include "DropCircle.h"
#include "MorvelControls.h"
#include "MorvelPreviewPlacement.h"
#include "ResultScrollArea.h"
#include "ResultView.h"
#include "SettingsKeys.h"
#include "Symbols.h"
#include "UserDefaults.h"
#include "WindowStyle.h"
#include "Wordmark.h"
#include "Workspace.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace tovarine {

namespace {

using WindowStyle::Face;

constexpr int kMarginPx = 28;

// The first dropped URL when it names a local file or folder; the others are never looked at.
QString firstDroppedPath(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls()) {
        return {};
    }
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) {
        return {};
    }
    return urls.first().toLocalFile();
}

} // namespace

BrowseView::BrowseView(DropReconstruction::Environment environment, Workspace& workspace,
                       UserDefaults& defaults, QWidget* parent)
    : BrowseView(std::move(environment), workspace, defaults, MorvelMacSession::RunStarter(), parent)
{
}

BrowseView::BrowseView(DropReconstruction::Environment environment, Workspace& workspace,
                       UserDefaults& defaults, MorvelMacSession::RunStarter cageRuns, QWidget* parent)
    : QWidget(parent), m_workspace(workspace), m_defaults(defaults),
      m_drop(new DropReconstruction(std::move(environment), this)),
      m_morvel(cageRuns ? new MorvelMacSession(std::move(cageRuns), this) : new MorvelMacSession(this)),
      m_lastState(m_drop->state())
{
    setObjectName(QStringLiteral("browseView"));
    setMinimumSize(kMinimumWidthPx, kMinimumHeightPx);
    setAcceptDrops(true);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, Qt::black);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    setPalette(dark);

    m_layout = new QVBoxLayout(this);
    m_layout->setSpacing(18);
    m_header = buildHeader();
    m_layout->addWidget(m_header);

    m_circleRow = new QWidget(this);
    auto* circleLayout = new QHBoxLayout(m_circleRow);
    circleLayout->setContentsMargins(0, 0, 0, 0);
    m_circle = new DropCircle(m_circleRow);
    m_circle->setObjectName(QStringLiteral("dropCircle"));
    circleLayout->addWidget(m_circle, 0, Qt::AlignCenter);
    m_layout->addWidget(m_circleRow);

    m_resultScroll = new ResultScrollArea(this);
    m_resultScroll->setObjectName(QStringLiteral("resultScroll"));
    m_resultScroll->setWidgetResizable(true);
    m_resultScroll->setFrameShape(QFrame::NoFrame);
    m_resultScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_resultScroll->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget "
                                                 "{ background: black; }"));
    m_resultScroll->hide();
    m_layout->addWidget(m_resultScroll, 1);

    m_layout->addStretch(1);
    m_footer = buildFooter();
    m_layout->addWidget(m_footer);
    placeScrollBarInMargin();

    connect(m_drop, &DropReconstruction::stateChanged, this, &BrowseView::onStateChanged);
    connect(m_circle, &DropCircle::cancelClicked, this, [this] {
        // The state changes when the reconstruction reports the cancellation.
        if (CompanionReconstructor* reconstructor = m_drop->reconstructor()) {
            reconstructor->cancel();
        }
    });
    connect(m_circle, &DropCircle::tryAgainClicked, this,
            [this] { m_drop->setState(DropReconstruction::State::idle()); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kDetail) {
            refreshDetail();
        }
    });
    refreshDetail();
    onStateChanged(m_drop->state());
}

BrowseView::~BrowseView() = default;

QWidget* BrowseView::buildHeader()
{
    auto* header = new QWidget(this);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    auto* wordmark = new Wordmark(header);
    wordmark->setObjectName(QStringLiteral("wordmark"));
    layout->addWidget(wordmark, 0, Qt::AlignHCenter);
    auto* subtitle = new QLabel(header);
    subtitle->setObjectName(QStringLiteral("subtitleLine"));
    subtitle->setFont(WindowStyle::font(Face::serif, 16));
    subtitle->setTextFormat(Qt::RichText);
    // Rich text takes opaque colours; white at 75% is drawn as its blend over the black background.
    subtitle->setText(QStringLiteral("<span style=\"color:#ffffff\">companion</span>"
                                     "<span style=\"color:#bfbfbf\">&nbsp;|&nbsp;</span>"
                                     "<span style=\"color:%1\">%2</span>")
                          .arg(WindowStyle::kYellow.name(), AppIdentity::kWebDomain));
    layout->addWidget(subtitle, 0, Qt::AlignHCenter);
    return header;
}

QWidget* BrowseView::buildFooter()
{
    auto* footer = new QWidget(this);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* promise = new QLabel(tr("local only · no cloud · no account · no queue"), footer);
    promise->setObjectName(QStringLiteral("footerPromise"));
    promise->setFont(WindowStyle::font(Face::monospaced, 11));
    promise->setStyleSheet(QStringLiteral("color: %1;").arg(WindowStyle::css(Qt::white, 0.35)));
    layout->addWidget(promise);
    layout->addStretch(1);
    auto* settings = new QPushButton(tr("Settings"), footer);
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setFlat(true);
    settings->setCursor(Qt::PointingHandCursor);
    settings->setFont(WindowStyle::font(Face::system, 12));
    settings->setIcon(QIcon(Symbols::gear(14, WindowStyle::withOpacity(Qt::white, 0.55))));
    settings->setIconSize(QSize(14, 14));
    settings->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; background: transparent; }")
            .arg(WindowStyle::css(Qt::white, 0.55)));
    connect(settings, &QPushButton::clicked, this, &BrowseView::settingsRequested);
    layout->addWidget(settings);
    return footer;
}

void BrowseView::placeScrollBarInMargin()
{
    const int barPx = std::clamp(m_resultScroll->scrollBarWidthPx(), 0, kMarginPx);
    m_layout->setContentsMargins(kMarginPx, kMarginPx, kMarginPx - barPx, kMarginPx);
    for (QWidget* row : {m_header, m_circleRow, m_footer}) {
        QMargins margins = row->layout()->contentsMargins();
        margins.setRight(barPx);
        row->layout()->setContentsMargins(margins);
    }
}

void BrowseView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange && m_footer) {
        placeScrollBarInMargin();
    }
}

QString BrowseView::prettyDetail(const QString& detail)
{
    if (detail == QLatin1String("raw")) {
        return tr("raw detail");
    }
    if (detail == QLatin1String("medium")) {
        return tr("medium detail");
    }
    if (detail == QLatin1String("reduced")) {
        return tr("reduced detail");
    }
    return tr("full detail");
}

void BrowseView::refreshDetail()
{
    m_circle->setDetailWords(
        prettyDetail(m_defaults.string(SettingsKeys::kDetail, SettingsKeys::kDetailDefault)));
}

void BrowseView::onStateChanged(const DropReconstruction::State& state)
{
    // Any other drop state (progress steps included) stops the cage fit and forgets the previous cage; a
    // fit that ends late no longer reaches the reset session.
    if (!(state == m_lastState)) {
        m_lastState = state;
        m_morvel->reset();
    }
    const bool done = state.kind == DropReconstruction::State::Kind::done;
    const bool sameResult = done && m_resultView && m_resultView->resultDir() == state.resultDir &&
                            m_resultView->meshPath() == state.meshPath;
    if (!sameResult) {
        // A result view belongs to one result; it is made afresh for the next.
        if (QWidget* old = m_resultScroll->takeWidget()) {
            old->deleteLater();
        }
        m_resultView = nullptr;
    }
    if (done && !m_resultView) {
        m_resultView = new ResultView(state.resultDir, state.meshPath, m_defaults);
        m_resultView->setObjectName(QStringLiteral("resultView"));
        connect(m_resultView, &ResultView::openObjClicked, this, &BrowseView::openObj);
        connect(m_resultView, &ResultView::revealClicked, this,
                [this] { reveal(m_resultView->resultDir()); });
        connect(m_resultView, &ResultView::dropAnotherClicked, this,
                [this] { m_drop->setState(DropReconstruction::State::idle()); });
        placeCagePanel(state);
        // What the run has to say (frames it left out) stands on the note line until an action's note.
        m_resultView->setActionNote(state.message);
        m_resultScroll->setWidget(m_resultView);
        emit resultViewCreated(m_resultView);
    }
    m_circle->setState(state);
    m_circleRow->setVisible(!done);
    m_resultScroll->setVisible(done);
    // The free space under the main area shrinks to nothing while the result fills the window.
    m_layout->setStretch(m_layout->indexOf(m_resultScroll), done ? 1 : 0);
    m_layout->setStretch(m_layout->count() - 2, done ? 0 : 1);
}

void BrowseView::placeCagePanel(const DropReconstruction::State& state)
{
    auto* panel = new MorvelControls(*m_morvel, state.meshPath, state.resultDir, m_defaults,
                                     [this](const QString& path) { reveal(path); });
    panel->setObjectName(QStringLiteral("cagePanel"));
    panel->setShowsCage(m_showsCage);
    auto* cagePreview =
        new MorvelPreviewPlacement(*m_morvel, m_resultView->previewRow(), m_resultView, m_showsCage);
    connect(panel, &MorvelControls::showsCageChanged, cagePreview, [this, cagePreview](bool showsCage) {
        m_showsCage = showsCage;
        cagePreview->setShowsCage(showsCage);
    });
    m_resultView->setPanel(ResultView::PanelSlot::cage, panel);
}

void BrowseView::openObj()
{
    if (!m_resultView) {
        return;
    }
    QPointer<ResultView> view = m_resultView;
    const QString resultDir = m_resultView->resultDir();
    const QString objPath = resultDir + QStringLiteral("/model.obj");
    if (!QFileInfo(objPath).isFile()) {
        view->setActionNote(tr("No model.obj in the result folder: its export failed or it was removed"));
        return;
    }
    Workspace& workspace = m_workspace;
    workspace.openFile(objPath, [view, resultDir, &workspace](Workspace::OpenOutcome outcome) {
        if (!view) {
            return;
        }
        if (outcome == Workspace::OpenOutcome::opened) {
            view->setActionNote(QString());
            return;
        }
        workspace.openFile(resultDir, [view](Workspace::OpenOutcome folderOutcome) {
            if (!view) {
                return;
            }
            view->setActionNote(
                folderOutcome == Workspace::OpenOutcome::opened
                    ? tr("No application here opens model.obj · opened the result folder instead")
                    : tr("Couldn't open model.obj: no application here opens it or the result folder"));
        });
    });
}

void BrowseView::reveal(const QString& path)
{
    QPointer<ResultView> view = m_resultView;
    const QFileInfo item(path);
    const QString name = item.fileName().isEmpty() ? QDir(path).dirName() : item.fileName();
    const bool isFolder = item.isDir();
    m_workspace.revealInFileManager(path, [view, name, isFolder](Workspace::RevealOutcome outcome) {
        if (!view) {
            return;
        }
        switch (outcome) {
        case Workspace::RevealOutcome::shown:
            view->setActionNote(QString());
            return;
        case Workspace::RevealOutcome::folderOpened:
            view->setActionNote(
                isFolder ? tr("No file manager answered to select %1 · opened it instead").arg(name)
                         : tr("No file manager answered to select %1 · opened its folder instead").arg(name),
                name);
            return;
        case Workspace::RevealOutcome::failed:
            view->setActionNote(
                tr("Couldn't show %1: no file manager answered and no application here opens folders")
                    .arg(name),
                name);
            return;
        }
    });
}

void BrowseView::setDropTargeted(bool targeted)
{
    m_isDropTargeted = targeted;
    m_circle->setTargeted(targeted);
}

void BrowseView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        setDropTargeted(true);
        return;
    }
    event->ignore();
}

void BrowseView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void BrowseView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTargeted(false);
    QWidget::dragLeaveEvent(event);
}

void BrowseView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    const QString detail = m_defaults.string(SettingsKeys::kDetail, SettingsKeys::kDetailDefault);
    const QString path = firstDroppedPath(event->mimeData());
    if (path.isEmpty()) {
        // Nothing usable in the first item: ignored silently, the state stays.
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_drop->ingest(QUrl::fromLocalFile(path), detail);
}

} // namespace tovarine
