#include "DesktopMotionSetting.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

namespace ostrel {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.gnome.desktop.interface");
const QString kKey = QStringLiteral("enable-animations");

} // namespace

DesktopMotionSetting::DesktopMotionSetting(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    if (m_bus.isConnected()) {
        // The whole message is taken: Qt 6.4 refuses to connect a slot with a QDBusVariant parameter here.
        m_bus.connect(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"), this,
                      SLOT(settingChanged(QDBusMessage)));
    }
}

std::optional<bool> DesktopMotionSetting::readReduceMotion() const
{
    if (!m_bus.isConnected()) {
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface,
                                                       QStringLiteral("Read"));
    call << kNamespace << kKey;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kReadTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reduceMotionFromValue(reply.arguments().constFirst());
}

std::optional<bool> DesktopMotionSetting::reduceMotionFromValue(const QVariant& value)
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
            return reduceMotionFromValue(QVariant::fromValue(inner));
        }
        return std::nullopt;
    }
    if (v.metaType() != QMetaType::fromType<bool>()) {
        return std::nullopt;
    }
    return !v.toBool();
}

void DesktopMotionSetting::settingChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3 || arguments.at(0).toString() != kNamespace || arguments.at(1).toString() != kKey) {
        return;
    }
    if (const auto reduce = reduceMotionFromValue(arguments.at(2))) {
        emit reduceMotionChanged(*reduce);
    }
}

} // namespace ostrel
