#pragma once

#include "DropReconstruction.h"
#include "FakePhotogrammetrySession.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tovarine::test {

// A drop model over a temporary root: results under <root>/Desktop/tovarine, temp folders under <root>/tmp,
// the fake engine, and a temporary settings store. Records every published state.
class DropTestFixture : public ::testing::Test
{
protected:
    void SetUp() override;

    QString path(const QString& relative) const { return m_root.filePath(relative); }
    QString tovarineDir() const { return path(QStringLiteral("Desktop/tovarine")); }
    QString resultDir(const QString& name) const { return tovarineDir() + QLatin1Char('/') + name; }

    // A capture folder with Images/ of `frames` JPEG frames, and the optional label and phone settings.
    QString makeCapture(const QString& relative, int frames = 3, const QByteArray& label = {},
                        const QByteArray& phoneSettings = {});

    // A new drop model over the same folders, as the next start of the app makes it.
    void restart();

    // Drops `item` and waits for the pipeline to settle in done or failed; returns the final state.
    DropReconstruction::State drop(const QString& item, const QString& detail = QStringLiteral("full"));
    // Waits until the state is done or failed and no driver is left.
    DropReconstruction::State waitForEnd();

    QTemporaryDir m_root;
    FakeEngine m_engine;
    std::unique_ptr<DropReconstruction> m_drop;
    QList<DropReconstruction::State> m_states;
};

} // namespace tovarine::test
