#include "DesktopAccessibilityReader.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace ostrel {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kInterfaceNamespace = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimationsKey = QStringLiteral("enable-animations");
const QString kA11yNamespace = QStringLiteral("org.gnome.desktop.a11y.interface");
const QString kHighContrastKey = QStringLiteral("high-contrast");

std::unique_ptr<DesktopAccessibilityReader>& sharedSlot()
{
    // Never released: followers may observe it until the process ends.
    static auto* slot = new std::unique_ptr<DesktopAccessibilityReader>();
    return *slot;
}

} // namespace

DesktopAccessibilityReader::DesktopAccessibilityReader(QObject* parent) : QObject(parent) {}

DesktopAccessibilityReader& DesktopAccessibilityReader::shared()
{
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_unique<PortalAccessibilityReader>();
    }
    return *slot;
}

void DesktopAccessibilityReader::install(std::unique_ptr<DesktopAccessibilityReader> reader)
{
    sharedSlot() = std::move(reader);
}

void DesktopAccessibilityReader::publish(const DesktopAccessibilityOptions& options)
{
    if (options == m_options) {
        return;
    }
    m_options = options;
    emit optionsChanged();
}

PortalAccessibilityReader::PortalAccessibilityReader(QDBusConnection bus, QObject* parent)
    : DesktopAccessibilityReader(parent), m_bus(std::move(bus))
{
    if (!m_bus.isConnected()) {
        return;
    }
    // The whole message is taken: Qt 6.4 refuses to connect a slot with a QDBusVariant parameter here.
    m_bus.connect(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QDBusMessage)));
    read(kInterfaceNamespace, kAnimationsKey);
    read(kA11yNamespace, kHighContrastKey);
}

void PortalAccessibilityReader::read(const QString& settingsNamespace, const QString& key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface,
                                                       QStringLiteral("Read"));
    call << settingsNamespace << key;
    ++m_pendingReads;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, settingsNamespace, key](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                    apply(settingsNamespace, key, reply.arguments().constFirst());
                }
                if (--m_pendingReads == 0) {
                    emit firstReadFinished();
                }
            });
}

void PortalAccessibilityReader::apply(const QString& settingsNamespace, const QString& key,
                                      const QVariant& value)
{
    const auto flag = booleanFromValue(value);
    if (!flag) {
        return;
    }
    DesktopAccessibilityOptions next = options();
    if (settingsNamespace == kInterfaceNamespace && key == kAnimationsKey) {
        next.reduceMotion = !*flag;
    } else if (settingsNamespace == kA11yNamespace && key == kHighContrastKey) {
        next.increaseContrast = *flag;
    } else {
        return;
    }
    publish(next);
}

std::optional<bool> PortalAccessibilityReader::booleanFromValue(const QVariant& value)
{
    QVariant v = value;
    // The portal's Read returns the value wrapped in a variant (older portals wrap it twice).
    for (int depth = 0; depth < 3 && v.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth) {
        v = v.value<QDBusVariant>().variant();
    }
    if (v.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = v.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::VariantType) {
            QDBusVariant inner;
            argument >> inner;
            return booleanFromValue(QVariant::fromValue(inner));
        }
        return std::nullopt;
    }
    if (v.metaType() != QMetaType::fromType<bool>()) {
        return std::nullopt;
    }
    return v.toBool();
}

void PortalAccessibilityReader::settingChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3) {
        return;
    }
    apply(arguments.at(0).toString(), arguments.at(1).toString(), arguments.at(2));
}

} // namespace ostrel
