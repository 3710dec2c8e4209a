#include "OstrelFileNames.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace ostrel;

// QDir::filePath returns a name beginning with ':' unchanged (a resource path); the join never does.
TEST(OstrelFileNames, JoinsOneComponentAsText)
{
    const struct
    {
        QString folder;
        QString name;
        QString joined;
    } cases[] = {
        {"/tmp/out", ":x", "/tmp/out/:x"},
        {"/tmp/out/", "::", "/tmp/out/::"},
        {"/", ":evil.obj", "/:evil.obj"},
        {"out", ":x", "out/:x"},
        {":out", "m.obj", "./:out/m.obj"}, // a relative folder beginning with ':' is no resource either
        {"/tmp/out", "a\\b", "/tmp/out/a\\b"},
        {"/tmp/out", "..x", "/tmp/out/..x"},
        // Not one component, or no folder: nothing to open.
        {"/tmp/out", ":/abs", ""},
        {"/tmp/out", "../x", ""},
        {"/tmp/out", "..", ""},
        {"/tmp/out", ".", ""},
        {"/tmp/out", "", ""},
        {"/tmp/out", QString("a") + QChar(0) + "b", ""},
        {"", ":x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.folder + " + " + c.name).toStdString());
        EXPECT_EQ(OstrelFileNames::childPath(c.folder, c.name), c.joined);
        EXPECT_EQ(OstrelFileNames::isSingleComponent(c.name), !c.joined.isEmpty() || c.folder.isEmpty());
    }
    EXPECT_EQ(QDir("/tmp/out").filePath(":x"), ":x"); // why the join exists
}
