#pragma once

#include <QDir>
#include <QTemporaryDir>

namespace tovarine::test {

// Makes a fresh empty temporary folder the process's working folder for its lifetime and restores the
// previous one after, so a test can show that a writer put nothing in the working folder. Not for tests that
// run threads which resolve relative paths meanwhile.
class ScratchWorkingFolder
{
public:
    ScratchWorkingFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_folder.path()); }
    ~ScratchWorkingFolder() { QDir::setCurrent(m_previous); }
    ScratchWorkingFolder(const ScratchWorkingFolder&) = delete;
    ScratchWorkingFolder& operator=(const ScratchWorkingFolder&) = delete;

    // Everything in the working folder, hidden entries included.
    QStringList entries() const
    {
        return QDir(m_folder.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private:
    QString m_previous;
    QTemporaryDir m_folder;
};

} // namespace tovarine::test
