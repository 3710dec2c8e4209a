#include "BrowseView.h"
#include "HangCeiling.h"
#include "ResultView.h"
#include "TovarineCompanionApp.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

// The window with the real desktop behind its result actions, on a desktop where the opener finds no
// application for anything (xdg-open exits 3) and no file manager answers: each action says that nothing
// opened, never that something did.
TEST(MainWindowOnTheDesktop, ResultActionsSayWhenNothingOpens)
{
    QTemporaryDir bin;
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ':' + path);
    const auto restore = qScopeGuard([path] { qputenv("PATH", path); });

    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get());
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.mainWindow()));
    const QString resultDir = fixture.root.filePath(QStringLiteral("Desktop/tovarine/walnut-teacup"));
    QDir().mkpath(resultDir);
    QFile obj(resultDir + QStringLiteral("/model.obj"));
    ASSERT_TRUE(obj.open(QIODevice::WriteOnly));
    obj.close();
    app.browseView()->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
    ResultView* result = app.browseView()->resultView();
    ASSERT_NE(result, nullptr);

    QTest::mouseClick(result->findChild<QPushButton*>(QStringLiteral("revealButton")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(result->actionNote(),
                              QStringLiteral("Couldn't show walnut-teacup: no file manager answered and no "
                                             "application here opens folders"),
                              tovarine::test::kHangCeilingMs);
    QTest::mouseClick(result->findChild<QPushButton*>(QStringLiteral("openObjButton")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(
        result->actionNote(),
        QStringLiteral("Couldn't open model.obj: no application here opens it or the result folder"),
        tovarine::test::kHangCeilingMs);
}

} // namespace
} // namespace tovarine
