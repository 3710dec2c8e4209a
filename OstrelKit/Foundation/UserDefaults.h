#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace ostrel {

// The user-defaults store: a thin typed layer over QSettings with a change signal, so views bound to a key
// follow writes made anywhere in the process. Readers pass their own default (see SettingsKeys.h); nothing
// is registered. A stored value of the wrong type reads as the default.
// GUI thread only (the signal is emitted on the writer's thread; writers are GUI-thread code).
class UserDefaults : public QObject
{
    Q_OBJECT
public:
    // The application's store (QSettings with the application's organisation and name). Tests redirect it
    // with QSettings::setPath before first use, or build their own instance over a file.
    static UserDefaults& standard();

    explicit UserDefaults(QObject* parent = nullptr);
    // A store over one INI file (tests and tools).
    explicit UserDefaults(const QString& iniPath, QObject* parent = nullptr);

    bool contains(const QString& key) const;
    QString string(const QString& key, const QString& defaultValue) const;
    double real(const QString& key, double defaultValue) const;
    int integer(const QString& key, int defaultValue) const;
    bool boolean(const QString& key, bool defaultValue) const;

    // Writes at once (synced to disk) and emits changed(key) when the stored value differs.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);

signals:
    void changed(const QString& key);

private:
    QSettings m_settings;
};

} // namespace ostrel
