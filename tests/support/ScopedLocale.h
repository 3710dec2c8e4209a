#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <clocale>
#include <memory>
#include <string>

namespace tovarine::test {

// A locale that writes numbers with a decimal comma, and one in which the C library's tolower('I') is not
// 'i'.
inline constexpr const char* kCommaLocale = "de_DE.UTF-8";
inline constexpr const char* kDotlessILocale = "tr_TR.UTF-8";

// Puts the process's C library locale (every category) to `name` for the object's life, as an application
// started under that LANG has it, and the one before back afterwards. A locale the machine has not generated
// is compiled for this object alone from the system's locale sources (localedef) where that works; active()
// says whether the locale is in force, so a test can skip clearly where it is not. Only while no other thread
// of the test formats or reads text.
class ScopedLocale
{
public:
    explicit ScopedLocale(const char* name) : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        m_active = std::setlocale(LC_ALL, name) != nullptr || compileAndSet(name);
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool active() const { return m_active; }

private:
    bool compileAndSet(const char* name)
    {
        const QString full = QString::fromLatin1(name);
        const QString language = full.section(QLatin1Char('.'), 0, 0);
        const QString charset = full.section(QLatin1Char('.'), 1);
        m_compiled = std::make_unique<QTemporaryDir>();
        if (!m_compiled->isValid()) {
            return false;
        }
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), language, QStringLiteral("-f"),
                         charset.isEmpty() ? QStringLiteral("UTF-8") : charset, m_compiled->filePath(full)});
        if (!localedef.waitForFinished(120000) || localedef.exitStatus() != QProcess::NormalExit ||
            !QFileInfo::exists(m_compiled->filePath(full))) {
            return false;
        }
        // glibc reads LOCPATH when the locale is set; the loaded locale stays after it is put back.
        const QByteArray oldPath = qgetenv("LOCPATH");
        qputenv("LOCPATH", QFile::encodeName(m_compiled->path()));
        const bool set = std::setlocale(LC_ALL, name) != nullptr;
        if (oldPath.isNull()) {
            qunsetenv("LOCPATH");
        } else {
            qputenv("LOCPATH", oldPath);
        }
        return set;
    }

    std::string m_previous;
    std::unique_ptr<QTemporaryDir> m_compiled;
    bool m_active = false;
};

} // namespace tovarine::test
