#include "UserDefaults.h"

#include <QMutexLocker>

#include <cmath>

namespace ostrel {

UserDefaults& UserDefaults::standard()
{
    static UserDefaults* instance = new UserDefaults();
    return *instance;
}

UserDefaults::UserDefaults(QObject* parent) : QObject(parent) {}

UserDefaults::UserDefaults(const QString& iniPath, QObject* parent)
    : QObject(parent), m_settings(iniPath, QSettings::IniFormat)
{
}

bool UserDefaults::contains(const QString& key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_settings.contains(key);
}

QVariant UserDefaults::value(const QString& key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_settings.value(key);
}

QString UserDefaults::string(const QString& key, const QString& defaultValue) const
{
    const QVariant value = this->value(key);
    if (!value.isValid() || !value.canConvert<QString>()) {
        return defaultValue;
    }
    return value.toString();
}

double UserDefaults::real(const QString& key, double defaultValue) const
{
    const QVariant value = this->value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && std::isfinite(number) ? number : defaultValue;
}

int UserDefaults::integer(const QString& key, int defaultValue) const
{
    const QVariant value = this->value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

bool UserDefaults::boolean(const QString& key, bool defaultValue) const
{
    const QVariant value = this->value(key);
    if (!value.isValid()) {
        return defaultValue;
    }
    const QString text = value.toString().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) {
        return true;
    }
    if (text == QLatin1String("false") || text == QLatin1String("0")) {
        return false;
    }
    return defaultValue;
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_settings.contains(key) && m_settings.value(key) == value) {
            return;
        }
        m_settings.setValue(key, value);
        m_settings.sync();
    }
    emit changed(key);
}

void UserDefaults::remove(const QString& key)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_settings.contains(key)) {
            return;
        }
        m_settings.remove(key);
        m_settings.sync();
    }
    emit changed(key);
}

} // namespace ostrel
