#include "QuorvantileIndicator.h"

#include "Quorvantile.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {

constexpr int kPadX = 10;
constexpr int kPadY = 6;
constexpr int kRowSpacing = 3;
constexpr int kDotSize = 10;
constexpr int kHeaderSpacing = 6;
constexpr int kStatusMaxWidth = 200; // the status line wraps to two lines beyond this
constexpr int kWorkerIdWidth = 55;
constexpr int kBarWidth = 60;
constexpr int kBarHeight = 4;
constexpr int kPercentWidth = 28;
constexpr int kWorkerSpacing = 5;

const QColor kGreen(52, 199, 89);
const QColor kOrange(255, 149, 0);

QColor withAlpha(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

QFont mono(int size, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

// Texts a host may translate; untranslated they read as written.
QString localized(const char* text)
{
    return QCoreApplication::translate("QuorvantileIndicator", text);
}

QRect statusRect(const QString& text)
{
    const QFontMetrics metrics(mono(9, QFont::Medium));
    QRect bounds =
        metrics.boundingRect(QRect(0, 0, kStatusMaxWidth, 1000), Qt::AlignRight | Qt::TextWordWrap, text);
    bounds.setHeight(std::min(bounds.height(), metrics.lineSpacing() * 2));
    return bounds;
}

} // namespace

QString QuorvantileIndicator::workerPercentText(double fraction, bool isDone)
{
    if (isDone) {
        return localized("done");
    }
    const double percent = std::isfinite(fraction) ? std::trunc(fraction * 100.0) : 0.0;
    return QString::number(static_cast<long long>(percent)) + u'%';
}

QuorvantileIndicator::Look QuorvantileIndicator::describe(Quorvantile& mesh, const QColor& accent)
{
    Look look;
    if (!mesh.isEnabled()) {
        return look;
    }
    look.visible = true;
    QSet<QString> hosts;
    for (const QuorvantileNode& node : mesh.discovery().activeNodes()) {
        if (!node.isLocal()) {
            hosts.insert(node.host());
        }
    }
    const int remote = static_cast<int>(hosts.size());
    look.remoteCount = remote;
    const bool working = mesh.renderStatus().has_value() || mesh.isInferring();
    const auto& reason = mesh.localRenderReason();
    look.pulse = working && remote > 0 && !reason;
    look.label = remote > 0 ? QStringLiteral("QUORVANTILE") : QStringLiteral("OFFLINE");

    if (reason) {
        look.dotColor = kOrange;
    } else if (remote > 0) {
        look.dotColor = working ? kGreen : withAlpha(kGreen, 0.4);
    } else {
        look.dotColor = working ? kOrange : withAlpha(accent, 0.25);
    }

    const QString machines = QString::number(remote + 1);
    if (reason) {
        look.status = *reason;
    } else if (remote == 0) {
        look.status =
            working ? QStringLiteral("rendering locally only") : QStringLiteral("this machine only");
    } else if (mesh.renderStatus()) {
        look.status = *mesh.renderStatus();
    } else if (mesh.isInferring()) {
        look.status = QStringLiteral("working");
    } else {
        look.status = machines + QStringLiteral(" machines ready");
    }

    if (reason || (remote == 0 && working)) {
        look.statusColor = withAlpha(kOrange, 0.75);
    } else if (working) {
        look.statusColor = withAlpha(kGreen, 0.85);
    } else {
        look.statusColor = withAlpha(accent, 0.45);
    }

    if (reason) {
        look.tooltip = QStringLiteral("Quorvantile mesh: ") + *reason +
                       QStringLiteral("\nRendering on this machine only.");
    } else if (remote == 0 && working) {
        look.tooltip =
            QStringLiteral("Quorvantile mesh: no other machines found. Rendering on this machine only.\n"
                           "Turn on another computer on the same network to share work.");
    } else if (remote == 0) {
        look.tooltip =
            QStringLiteral("Quorvantile mesh: no other machines found. Renders will run on this machine "
                           "only. Turn on another computer on the same network to share work.");
    } else if (working && !mesh.renderStatus() && mesh.workerProgress().isEmpty()) {
        // A model call with no render running: there are no worker rows to count.
        look.tooltip = QStringLiteral("Quorvantile mesh: ") + machines +
                       QStringLiteral(" machines on the network, working on a model request.");
    } else if (working) {
        look.tooltip =
            QStringLiteral("Quorvantile mesh: rendering across ") +
            QString::number(mesh.workerProgress().size()) +
            QStringLiteral(" machines. Each machine renders its own segment; the coordinator stitches "
                           "the results.");
    } else {
        look.tooltip =
            QStringLiteral("Quorvantile mesh: ") + machines +
            QStringLiteral(" machines on the network, ready to share work. No configuration needed \u2014 "
                           "just hit SARVEK.");
    }

    if (mesh.lastSpeedComparison() && !working) {
        look.speedup = localized("%1x faster with %2 machines")
                           .arg(mesh.lastSpeedComparison()->speedupText())
                           .arg(mesh.lastSpeedComparison()->workerCount);
    }
    return look;
}

QuorvantileIndicator::QuorvantileIndicator(const QColor& accentColor, QWidget* parent)
    : QWidget(parent), m_accent(accentColor), m_pulse(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_pulse->setStartValue(1.0);
    m_pulse->setKeyValueAt(0.5, 0.3);
    m_pulse->setEndValue(1.0);
    m_pulse->setDuration(1000); // 0.5 s each way
    m_pulse->setEasingCurve(QEasingCurve::InOutQuad);
    m_pulse->setLoopCount(-1);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_dotOpacity = value.toDouble();
        update();
    });
    connect(&Quorvantile::shared(), &Quorvantile::changed, this, &QuorvantileIndicator::refresh);
    refresh();
}

QuorvantileIndicator::~QuorvantileIndicator() = default;

void QuorvantileIndicator::refresh()
{
    const bool pulsed = m_look.pulse;
    m_look = describe(Quorvantile::shared(), m_accent);
    setToolTip(m_look.visible ? m_look.tooltip : QString());
    if (pulsed != m_look.pulse) {
        applyPulse();
    }
    updateGeometry();
    update();
}

void QuorvantileIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applyPulse();
}

void QuorvantileIndicator::applyPulse()
{
    if (m_look.pulse) {
        if (m_pulse->state() != QAbstractAnimation::Running) {
            m_pulse->start();
        }
    } else {
        m_pulse->stop();
        m_dotOpacity = 1.0;
    }
    update();
}

QSize QuorvantileIndicator::contentSize() const
{
    if (!m_look.visible) {
        return {0, 0};
    }
    const QFontMetrics label(mono(7, QFont::Bold));
    int width = label.horizontalAdvance(m_look.label) + kHeaderSpacing + kDotSize;
    int height = std::max(label.height(), kDotSize);
    const QRect status = statusRect(m_look.status);
    width = std::max(width, status.width());
    height += kRowSpacing + status.height();
    const QFontMetrics small(mono(7, QFont::Medium));
    for (int i = 0; i < Quorvantile::shared().workerProgress().size(); ++i) {
        width = std::max(width, kWorkerIdWidth + kWorkerSpacing + kBarWidth + kWorkerSpacing + kPercentWidth);
        height += kRowSpacing + small.height();
    }
    if (!m_look.speedup.isEmpty()) {
        const QFontMetrics speed(mono(8, QFont::Medium));
        width = std::max(width, speed.horizontalAdvance(m_look.speedup));
        height += kRowSpacing + speed.height();
    }
    return {width, height};
}

QSize QuorvantileIndicator::sizeHint() const
{
    const QSize content = contentSize();
    if (content.isEmpty()) {
        return {0, 0};
    }
    return content + QSize(2 * kPadX, 2 * kPadY);
}

void QuorvantileIndicator::paintEvent(QPaintEvent*)
{
    if (!m_look.visible) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSize size = sizeHint();
    // The badge hugs the trailing edge of whatever space the host gives it.
    const QRect badge(width() - size.width(), 0, size.width(), size.height());
    QPainterPath background;
    background.addRoundedRect(badge, 4, 4);
    painter.fillPath(background, QColor(0, 0, 0, 102));

    const int right = badge.right() + 1 - kPadX;
    int y = badge.top() + kPadY;

    // Header: label, then the dot.
    const QFont labelFont = mono(7, QFont::Bold);
    const QFontMetrics labelMetrics(labelFont);
    const int headerHeight = std::max(labelMetrics.height(), kDotSize);
    const QRectF dot(right - kDotSize, y + (headerHeight - kDotSize) / 2.0, kDotSize, kDotSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(m_look.dotColor, m_dotOpacity));
    painter.drawEllipse(dot);
    painter.setFont(labelFont);
    painter.setPen(withAlpha(m_accent, 0.5));
    const int labelWidth = labelMetrics.horizontalAdvance(m_look.label);
    painter.drawText(QRect(int(dot.left()) - kHeaderSpacing - labelWidth, y, labelWidth, headerHeight),
                     Qt::AlignVCenter | Qt::AlignRight, m_look.label);
    y += headerHeight + kRowSpacing;

    // Status line, up to two lines, trailing-aligned.
    const QRect status = statusRect(m_look.status);
    painter.setFont(mono(9, QFont::Medium));
    painter.setPen(m_look.statusColor);
    painter.drawText(QRect(right - status.width(), y, status.width(), status.height()),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap, m_look.status);
    y += status.height();

    // Worker rows.
    const QFont idFont = mono(7, QFont::Medium);
    const QFont percentFont = mono(7, QFont::Normal);
    const int rowHeight = QFontMetrics(idFont).height();
    for (const Quorvantile::WorkerProgress& worker : Quorvantile::shared().workerProgress()) {
        y += kRowSpacing;
        const int percentLeft = right - kPercentWidth;
        const int barLeft = percentLeft - kWorkerSpacing - kBarWidth;
        const int idLeft = barLeft - kWorkerSpacing - kWorkerIdWidth;
        painter.setFont(idFont);
        painter.setPen(withAlpha(m_accent, 0.5));
        painter.drawText(QRect(idLeft, y, kWorkerIdWidth, rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QFontMetrics(idFont).elidedText(worker.id, Qt::ElideRight, kWorkerIdWidth));
        const QRectF track(barLeft, y + (rowHeight - kBarHeight) / 2.0, kBarWidth, kBarHeight);
        QPainterPath trackPath;
        trackPath.addRoundedRect(track, 1.5, 1.5);
        painter.fillPath(trackPath, withAlpha(m_accent, 0.15));
        const double fraction = std::isfinite(worker.fraction) ? std::clamp(worker.fraction, 0.0, 1.0) : 0.0;
        QPainterPath fill;
        fill.addRoundedRect(QRectF(track.left(), track.top(), kBarWidth * fraction, kBarHeight), 1.5, 1.5);
        painter.fillPath(fill, withAlpha(kGreen, worker.isDone ? 0.6 : 0.4));
        painter.setFont(percentFont);
        painter.setPen(worker.isDone ? withAlpha(kGreen, 0.6) : withAlpha(m_accent, 0.4));
        painter.drawText(QRect(percentLeft, y, kPercentWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         workerPercentText(worker.fraction, worker.isDone));
        y += rowHeight;
    }

    if (!m_look.speedup.isEmpty()) {
        y += kRowSpacing;
        const QFont speedFont = mono(8, QFont::Medium);
        painter.setFont(speedFont);
        painter.setPen(withAlpha(kGreen, 0.6));
        const int h = QFontMetrics(speedFont).height();
        painter.drawText(QRect(badge.left(), y, right - badge.left(), h), Qt::AlignRight | Qt::AlignVCenter,
                         m_look.speedup);
    }
}

} // namespace ostrel
