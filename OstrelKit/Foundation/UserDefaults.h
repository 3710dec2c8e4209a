#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace ostrel {

// The user-defaults store: a thin typed layer over QSettings with a change signal, so views bound to a key
// follow writes made anywhere in the process. Readers pass their own default (see SettingsKeys.h); nothing
// is registered. A stored value of the wrong type reads as the default.
// Any thread: every read and write holds the store's own lock, so a reader off the GUI thread (a quotation
// corpus, for one) sees whole values. changed() is emitted on the writer's thread after the lock is released;
// receivers in other threads get it queued. A read-modify-write of one key is not atomic across calls: a
// caller that needs that holds its own lock around the pair.
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
    // The stored value as it is (an invalid QVariant when absent), for values of other shapes (lists).
    QVariant value(const QString& key) const;

    // Writes at once (synced to disk) and emits changed(key) when the stored value differs.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);

signals:
    void changed(const QString& key);

private:
    mutable QMutex m_mutex;
    QSettings m_settings;
};

} // namespace ostrel
