#include "QuorvantilePrefsView.h"

#include "Quorvantile.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSettings>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace ostrel {

namespace {

const char* const kNerdModeKey = "quorvantile.nerdMode";
const char* const kNicknamesKey = "quorvantile.nicknames";

QFont sized(int size, QFont::Weight weight = QFont::Normal)
{
    QFont font;
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

QFont monoSized(int size, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

// Text colour at an emphasis level of the palette: secondary and tertiary are fainter.
QString emphasis(const QWidget* widget, double opacity)
{
    QColor colour = widget->palette().color(QPalette::WindowText);
    colour.setAlphaF(static_cast<float>(opacity));
    return QStringLiteral("color: rgba(%1,%2,%3,%4);")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alphaF());
}

constexpr double kSecondary = 0.55;
constexpr double kTertiary = 0.3;

QLabel* label(QWidget* owner, const QString& text, const QFont& font, double opacity = 1.0)
{
    auto* l = new QLabel(text);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    if (opacity < 1.0) {
        l->setStyleSheet(emphasis(owner, opacity));
    }
    return l;
}

// A filled circle.
class Dot : public QWidget
{
public:
    Dot(QColor colour, int size) : m_colour(colour) { setFixedSize(size, size); }
    void setColour(QColor colour)
    {
        if (colour != m_colour) {
            m_colour = colour;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_colour);
        painter.drawEllipse(rect());
    }

private:
    QColor m_colour;
};

// A name label that reports double clicks.
class NameLabel : public QLabel
{
public:
    NameLabel(const QString& text, std::function<void()> onDoubleClick)
        : QLabel(text), m_onDoubleClick(std::move(onDoubleClick))
    {
        setTextFormat(Qt::PlainText);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { m_onDoubleClick(); }

private:
    std::function<void()> m_onDoubleClick;
};

const QColor kGreen(52, 199, 89);
const QColor kBlue(0, 122, 255);

QColor faded(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(opacity));
    return colour;
}

void clearLayout(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            // The row may be handling the event that led here (a double click on its name): it goes later.
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        if (QLayout* inner = item->layout()) {
            clearLayout(inner);
        }
        delete item;
    }
}

} // namespace

QMap<QString, QString> QuorvantilePrefsView::readNicknames()
{
    const QVariant stored = QSettings().value(QLatin1String(kNicknamesKey));
    if (!stored.canConvert<QVariantMap>() || stored.typeId() != QMetaType::QVariantMap) {
        return {};
    }
    QMap<QString, QString> nicknames;
    const QVariantMap map = stored.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString) {
            return {};
        }
        nicknames.insert(it.key(), it.value().toString());
    }
    return nicknames;
}

QuorvantilePrefsView::QuorvantilePrefsView(QWidget* parent) : QWidget(parent), m_nicknames(readNicknames())
{
    setObjectName(QStringLiteral("QuorvantilePrefsView"));
    setMinimumWidth(300);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    header->addWidget(label(this, QStringLiteral("Quorvantile"), sized(15, QFont::DemiBold)));
    header->addStretch();
    auto* dot = new Dot(kGreen, 8);
    dot->setObjectName(QStringLiteral("activeDot"));
    header->addWidget(dot);
    m_activeLabel = label(this, QStringLiteral("Active"), sized(11), kSecondary);
    m_activeLabel->setObjectName(QStringLiteral("activeLabel"));
    header->addWidget(m_activeLabel);
    column->addLayout(header);

    auto* description =
        label(this,
              QStringLiteral("Private LAN compute mesh \u2014 distributes inference and rendering "
                             "across your machines automatically."),
              sized(11), kSecondary);
    description->setWordWrap(true);
    column->addWidget(description);

    m_machines = new QGroupBox(QStringLiteral("Machines on Mesh"));
    m_machines->setObjectName(QStringLiteral("machines"));
    m_machines->setFont(sized(11));
    auto* machineList = new QVBoxLayout(m_machines);
    machineList->setSpacing(0);
    m_noMachines = label(this, QStringLiteral("No machines discovered"), sized(11), kTertiary);
    m_noMachines->setObjectName(QStringLiteral("noMachines"));
    m_noMachines->setContentsMargins(0, 8, 0, 8);
    column->addWidget(m_machines);

    m_performance = new QGroupBox(QStringLiteral("Performance"));
    m_performance->setObjectName(QStringLiteral("performance"));
    m_performance->setFont(sized(11));
    new QVBoxLayout(m_performance);
    m_performance->layout()->setSpacing(4);
    column->addWidget(m_performance);

    auto* display = new QGroupBox(QStringLiteral("Display"));
    auto* displayLayout = new QVBoxLayout(display);
    m_nerdMode = new QCheckBox(QStringLiteral("Nerd mode (detailed node info in HUD)"));
    m_nerdMode->setObjectName(QStringLiteral("nerdMode"));
    m_nerdMode->setFont(sized(11));
    m_nerdMode->setChecked(QSettings().value(QLatin1String(kNerdModeKey), false).toBool());
    connect(m_nerdMode, &QCheckBox::toggled, this,
            [](bool on) { QSettings().setValue(QLatin1String(kNerdModeKey), on); });
    displayLayout->addWidget(m_nerdMode);
    column->addWidget(display);
    column->addStretch();

    connect(&Quorvantile::shared(), &Quorvantile::changed, this, &QuorvantilePrefsView::refresh);
    refresh();
}

void QuorvantilePrefsView::refresh()
{
    const bool active = Quorvantile::shared().isEnabled();
    findChild<QWidget*>(QStringLiteral("activeDot"))->setVisible(active);
    m_activeLabel->setVisible(active);
    refreshMachines();
    refreshPerformance();
}

// Rows are kept per node and updated in place; only rows of nodes that left go. The layout is redone only
// when the set or order of nodes changed, and moving a row there keeps its widgets (and the focus).
void QuorvantilePrefsView::refreshMachines()
{
    Quorvantile& mesh = Quorvantile::shared();
    const QList<QuorvantileNode> nodes = mesh.activeNodes();
    QStringList order;
    for (const QuorvantileNode& node : nodes) {
        order.append(quorvantileUuidText(node.id()));
    }
    // A change of a machine's record takes it out of the table until it is resolved again. The row being
    // renamed stays meanwhile, in its place, with its editor: only the machine's leaving ends the editing.
    if (m_editingNickname && !order.contains(*m_editingNickname) && m_rows.contains(*m_editingNickname)) {
        const auto id = quorvantileUuidFromText(*m_editingNickname);
        if (id && mesh.discovery().isResolving(*id)) {
            const qsizetype at = m_order.indexOf(*m_editingNickname);
            order.insert(at < 0 ? order.size() : std::min(at, order.size()), *m_editingNickname);
        }
    }
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (order.contains(it.key())) {
            ++it;
            continue;
        }
        QWidget* gone = it->widget;
        if (m_editingNickname == it.key()) {
            m_editingNickname.reset(); // the machine left while being renamed
        }
        keepFocusFrom(gone);
        gone->hide();
        gone->setParent(nullptr);
        gone->deleteLater(); // it may be handling the event that led here
        it = m_rows.erase(it);
    }
    for (const QuorvantileNode& node : nodes) {
        const QString idText = quorvantileUuidText(node.id());
        if (!m_rows.contains(idText)) {
            m_rows.insert(idText, makeRow(idText));
        }
    }

    auto* machines = static_cast<QVBoxLayout*>(m_machines->layout());
    if (order != m_order || machines->count() == 0) {
        m_order = order;
        while (QLayoutItem* item = machines->takeAt(0)) {
            QWidget* widget = item->widget();
            if (widget && widget->objectName() == QLatin1String("divider")) {
                delete widget;
            }
            delete item;
        }
        m_noMachines->setVisible(order.isEmpty());
        machines->addWidget(m_noMachines);
        for (qsizetype i = 0; i < order.size(); ++i) {
            machines->addWidget(m_rows.value(order[i]).widget);
            if (order[i] != order.last()) {
                auto* divider = new QFrame;
                divider->setObjectName(QStringLiteral("divider"));
                divider->setFrameShape(QFrame::HLine);
                divider->setFrameShadow(QFrame::Plain);
                divider->setStyleSheet(emphasis(this, 0.15));
                divider->setContentsMargins(4, 0, 4, 0);
                machines->addWidget(divider);
            }
        }
    }
    for (const QuorvantileNode& node : nodes) {
        const QString idText = quorvantileUuidText(node.id());
        updateRow(m_rows[idText], idText, node);
    }
}

void QuorvantilePrefsView::refreshPerformance()
{
    Quorvantile& mesh = Quorvantile::shared();
    auto* performance = static_cast<QVBoxLayout*>(m_performance->layout());
    clearLayout(performance);
    const QuorvantileStats& stats = mesh.stats();
    m_performance->setVisible(stats.totalCalls() >= 1);
    if (stats.totalCalls() >= 1) {
        performance->addWidget(statRow(QStringLiteral("Total calls"), QString::number(stats.totalCalls())));
        performance->addWidget(statRow(QStringLiteral("Remote calls"), QString::number(stats.remoteCalls())));
        performance->addWidget(statRow(QStringLiteral("Local calls"),
                                       QString::number(stats.totalCalls() - stats.remoteCalls())));
        if (const auto& comparison = mesh.lastSpeedComparison()) {
            auto* divider = new QFrame;
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            divider->setStyleSheet(emphasis(this, 0.15));
            performance->addWidget(divider);
            performance->addWidget(statRow(QStringLiteral("Last render"), comparison->summary()));
            performance->addWidget(
                statRow(QStringLiteral("Speedup"), comparison->speedupText() + QLatin1Char('x')));
        }
    }
}

QWidget* QuorvantilePrefsView::statRow(const QString& title, const QString& value)
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("statRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel* name = label(this, title, sized(11), kSecondary);
    name->setObjectName(QStringLiteral("statLabel"));
    layout->addWidget(name);
    layout->addStretch();
    QLabel* text = label(this, value, monoSized(11));
    text->setObjectName(QStringLiteral("statValue"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(text, 1);
    return row;
}

QuorvantilePrefsView::Row QuorvantilePrefsView::makeRow(const QString& idText)
{
    Row row;
    row.widget = new QWidget;
    row.widget->setObjectName(QStringLiteral("nodeRow"));
    row.widget->setProperty("nodeId", idText);
    row.widget->setContentsMargins(4, 4, 4, 4);
    auto* layout = new QHBoxLayout(row.widget);
    layout->setSpacing(8);
    row.dot = new Dot(faded(kGreen, 0.6), 8);
    layout->addWidget(row.dot, 0, Qt::AlignVCenter);

    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    // The name and its editor share one place, so a row keeps its height when editing starts.
    row.nameLine = new QStackedLayout;
    row.name = new NameLabel(QString(), [this, idText] { startEditingNickname(idText); });
    row.name->setObjectName(QStringLiteral("nodeName"));
    row.name->setFont(sized(11, QFont::Medium));
    row.nameLine->addWidget(row.name);
    row.field = new QLineEdit;
    row.field->setPlaceholderText(QStringLiteral("Nickname"));
    row.field->setFont(sized(11));
    row.field->setEnabled(false);
    connect(row.field, &QLineEdit::textEdited, this,
            [this, idText](const QString& typed) { setNickname(idText, typed); });
    connect(row.field, &QLineEdit::returnPressed, this, &QuorvantilePrefsView::endEditing,
            Qt::QueuedConnection);
    row.nameLine->addWidget(row.field);
    row.nameLine->setCurrentWidget(row.name);
    text->addLayout(row.nameLine);
    row.detailLine = new QHBoxLayout;
    row.detailLine->setSpacing(6);
    row.detailLine->addStretch();
    text->addLayout(row.detailLine);
    layout->addLayout(text);
    layout->addStretch();

    row.badge = label(this, QString(), monoSized(9, QFont::Medium), kSecondary);
    row.badge->setObjectName(QStringLiteral("platformBadge"));
    row.badge->setContentsMargins(6, 2, 6, 2);
    const QColor primary = palette().color(QPalette::WindowText);
    row.badge->setStyleSheet(row.badge->styleSheet() +
                             QStringLiteral("background: rgba(%1,%2,%3,0.05); border-radius: 3px;")
                                 .arg(primary.red())
                                 .arg(primary.green())
                                 .arg(primary.blue()));
    layout->addWidget(row.badge, 0, Qt::AlignVCenter);
    return row;
}

void QuorvantilePrefsView::updateRow(Row& row, const QString& idText, const QuorvantileNode& node)
{
    const QuorvantileManifest& manifest = node.manifest();
    static_cast<Dot*>(row.dot)->setColour(faded(node.isLocal() ? kBlue : kGreen, 0.6));
    row.name->setText(m_nicknames.contains(idText) ? m_nicknames.value(idText) : manifest.nodeName());
    row.badge->setText(quorvantilePlatformRawValue(manifest.platform()));

    const bool editing = m_editingNickname == idText;
    if (editing && row.nameLine->currentWidget() != row.field) {
        row.field->setObjectName(QStringLiteral("nicknameField"));
        row.field->setEnabled(true);
        row.field->setText(m_nicknames.value(idText));
        row.nameLine->setCurrentWidget(row.field);
        row.field->setFocus();
    } else if (!editing && row.nameLine->currentWidget() != row.name) {
        keepFocusFrom(row.field);
        row.field->setObjectName(QString());
        row.field->setEnabled(false);
        row.nameLine->setCurrentWidget(row.name);
    }
    // While editing, the field is left alone: its text is what the user is typing.

    QStringList details;
    details << (node.isLocal() ? QStringLiteral("this machine") : node.host()) << QStringLiteral("\u00B7")
            << QString::number(manifest.cpuCores()) + QStringLiteral(" cores") << QStringLiteral("\u00B7")
            << QString::number(manifest.ramMB() / 1024) + QStringLiteral("GB");
    if (manifest.hasMetal()) {
        details << QStringLiteral("\u00B7 Metal");
    }
    if (manifest.gpuName()) {
        details << QStringLiteral("\u00B7 ") + *manifest.gpuName();
    }
    if (details != row.details) {
        row.details = details;
        while (QLayoutItem* item = row.detailLine->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const QString& part : details) {
            QLabel* piece = label(this, part, sized(9), kTertiary);
            piece->setObjectName(QStringLiteral("detail"));
            row.detailLine->addWidget(piece);
        }
        row.detailLine->addStretch();
    }
}

// Hiding or disabling the widget that has the focus hands it to the next widget of the window's focus chain,
// which may be any of the host's: keys typed next would land there. The pane takes it instead.
void QuorvantilePrefsView::keepFocusFrom(QWidget* leaving)
{
    const QWidget* focused = window()->focusWidget();
    if (focused && (focused == leaving || leaving->isAncestorOf(focused))) {
        setFocus(Qt::OtherFocusReason);
    }
}

void QuorvantilePrefsView::startEditingNickname(const QString& nodeIdText)
{
    m_editingNickname = nodeIdText;
    refreshMachines();
}

void QuorvantilePrefsView::endEditing()
{
    m_editingNickname.reset();
    refreshMachines();
}

void QuorvantilePrefsView::setNickname(const QString& nodeIdText, const QString& nickname)
{
    if (nickname.isEmpty()) {
        m_nicknames.remove(nodeIdText);
    } else {
        m_nicknames.insert(nodeIdText, nickname);
    }
    QVariantMap stored;
    for (auto it = m_nicknames.cbegin(); it != m_nicknames.cend(); ++it) {
        stored.insert(it.key(), it.value());
    }
    QSettings().setValue(QLatin1String(kNicknamesKey), stored);
}

} // namespace ostrel
