#include "CadenzorBridge.h"
#include "ScratchWorkingFolder.h"
#include "SortedJsonWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

CadenzorPacket samplePacket(const QString& sourceApp = "Draftwell")
{
    CadenzorBeat bare{"b1", "2026-12-01T10:00:00Z", "line", std::nullopt, 120, 22, std::nullopt, std::nullopt};
    CadenzorBeat full{"b2", "2026-12-01T10:05:00Z", "scene", "Notes/Pad", 300, 51, "s1", "a1"};
    CadenzorScene scene{"s1", "a1", "2026-12-01T10:00:00Z", std::nullopt, 2};
    CadenzorAct act{"a1", std::nullopt, "2026-12-01T10:00:00Z", std::nullopt, 1, 2};
    CadenzorSummary summary{2, 1, 1, 420, {{"line", 1}, {"scene", 1}}, {{"Notes/Pad", 1}}, {"2026-12-01"}};
    return CadenzorPacket(sourceApp, "Pilot, draft 3", {bare, full}, {scene}, {act}, summary);
}

QStringList keysOf(const QJsonValue& value)
{
    return value.toObject().keys();
}

// Each test has a data folder of its own: the tests run as parallel processes.
class Packets : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_DATA_HOME", m_data.path().toUtf8()); }

    QTemporaryDir m_data;
};

TEST_F(Packets, EncodingLeavesOutAbsentValues)
{
    const CadenzorPacket packet = samplePacket();
    EXPECT_EQ(packet.version(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(packet.exportedAt()).hasMatch());
    const QJsonObject json = packet.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"acts", "beats", "exportedAt", "scenes", "sourceApp", "summary", "title",
                                        "version"}));
    EXPECT_EQ(keysOf(json["beats"].toArray()[0]), (QStringList{"contentLength", "id", "tier", "timestamp", "wordCount"}));
    EXPECT_EQ(keysOf(json["beats"].toArray()[1]).size(), 8);
    EXPECT_EQ(keysOf(json["scenes"].toArray()[0]), (QStringList{"actId", "beatCount", "id", "startedAt"}));
    EXPECT_EQ(keysOf(json["acts"].toArray()[0]), (QStringList{"beatCount", "id", "sceneCount", "startedAt"}));

    const CadenzorPacket empty("x", "t", {}, {}, {}, {});
    const QByteArray bytes = SortedJsonWriter::write(empty.toJson());
    EXPECT_TRUE(bytes.contains("\"beats\" : []"));
    EXPECT_TRUE(bytes.contains("\"tierBreakdown\" : {}"));
    QString error;
    const auto back = CadenzorPacket::fromJson(QJsonDocument::fromJson(bytes).object(), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, empty);
}

TEST_F(Packets, PrettyJsonWithSortedKeysAndEscapedSlashes)
{
    const QJsonObject object{{"b", QJsonArray{1, "a/b"}}, {"a", QJsonObject{{"z", true}, {"y", "\u2500\n"}}}};
    EXPECT_EQ(SortedJsonWriter::write(object),
              "{\n  \"a\" : {\n    \"y\" : \"\u2500\\n\",\n    \"z\" : true\n  },\n  \"b\" : [\n    1,\n    "
              "\"a\\/b\"\n  ]\n}");
    EXPECT_EQ(SortedJsonWriter::write(QJsonValue(qint64(9007199254740993))), "9007199254740993");
}

TEST_F(Packets, RoundTripThroughTheSharedFolder)
{
    const CadenzorPacket packet = samplePacket();
    const CadenzorBridge::WriteResult written = CadenzorBridge::write(packet);
    ASSERT_TRUE(written.path) << written.error.toStdString();
    EXPECT_EQ(QFileInfo(*written.path).fileName(), "Draftwell_" + packet.exportedAt().left(10) + ".cadenzor.json");
    EXPECT_EQ(QFileInfo(*written.path).absolutePath(), CadenzorBridge::sharedDirectory());
    EXPECT_EQ(CadenzorBridge::sharedDirectory(), m_data.path() + "/tovarine.app/cadenzor");

    const CadenzorBridge::ReadResult read = CadenzorBridge::read(*written.path);
    ASSERT_TRUE(read.packet) << read.error.toStdString();
    EXPECT_EQ(*read.packet, packet);

    // Same source, same day: the second write replaces the first file.
    CadenzorPacket second = samplePacket();
    second.beats.clear();
    ASSERT_TRUE(CadenzorBridge::write(second).path);
    EXPECT_EQ(QDir(CadenzorBridge::sharedDirectory()).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(CadenzorBridge::read(*written.path).packet->beats.isEmpty());
}

TEST_F(Packets, FileNamesStayInsideTheSharedFolder)
{
    struct Case {
        QString sourceApp;
        QString expectedStart;
    };
    const Case cases[] = {
        {"../../etc/passwd", ".._.._etc_passwd_"},
        {"a\\b", "a_b_"},
        {QString("nul") + QChar(0) + "x", "nul_x_"},
        {"tab\there\n", "tab_here__"},
        {"", "_"},
        {"..", ".._"},
    };
    for (const Case& c : cases) {
        const CadenzorPacket packet(c.sourceApp, "t", {}, {}, {}, {});
        const QString name = CadenzorBridge::fileName(packet);
        EXPECT_TRUE(name.startsWith(c.expectedStart)) << name.toStdString();
        EXPECT_FALSE(name.contains('/'));
        const CadenzorBridge::WriteResult written = CadenzorBridge::write(packet);
        ASSERT_TRUE(written.path) << written.error.toStdString();
        EXPECT_EQ(QFileInfo(*written.path).absolutePath(), CadenzorBridge::sharedDirectory());
    }
}

// A source name beginning with ':' is a Qt resource path to QDir::filePath: the packet still goes into the
// shared folder, under a name that reads back, and nothing appears in the working folder.
TEST_F(Packets, SourceNamesBeginningWithAColonStayInTheSharedFolder)
{
    for (const QString sourceApp : {":x", ":evil", "::", ":/abs"}) {
        SCOPED_TRACE(sourceApp.toStdString());
        tovarine::test::ScratchWorkingFolder working;
        const CadenzorPacket packet = samplePacket(sourceApp);
        const CadenzorBridge::WriteResult written = CadenzorBridge::write(packet);
        ASSERT_TRUE(written.path) << written.error.toStdString();
        EXPECT_EQ(QFileInfo(*written.path).absolutePath(), CadenzorBridge::sharedDirectory());
        EXPECT_EQ(QFileInfo(*written.path).fileName(), CadenzorBridge::fileName(packet));
        const CadenzorBridge::ReadResult read = CadenzorBridge::read(*written.path);
        ASSERT_TRUE(read.packet) << read.error.toStdString();
        EXPECT_EQ(*read.packet, packet);
        EXPECT_EQ(working.entries(), QStringList());
    }
    EXPECT_EQ(QDir(CadenzorBridge::sharedDirectory()).entryList(QDir::Files).size(), 4);
}

TEST_F(Packets, BadFilesReadAsClearErrors)
{
    QTemporaryDir dir;
    const QJsonObject good = samplePacket().toJson();
    auto without = [&](const QString& key) {
        QJsonObject copy = good;
        copy.remove(key);
        return QJsonDocument(copy).toJson();
    };
    QJsonObject nullBeatScene = good;
    QJsonArray beats = good["beats"].toArray();
    QJsonObject beat = beats[1].toObject();
    beat["sceneId"] = QJsonValue::Null;
    beats[1] = beat;
    nullBeatScene["beats"] = beats;
    QJsonObject noWordCount = good;
    beat.remove("wordCount");
    beats[1] = beat;
    noWordCount["beats"] = beats;
    QJsonObject extra = good;
    extra["somethingNew"] = 3;
    extra["version"] = 2;
    QJsonObject fraction = good;
    fraction["version"] = 1.5;

    struct Case {
        const char* name;
        QByteArray bytes;
        const char* errorPart; // nullptr: reads
    };
    const Case cases[] = {
        {"no title", without("title"), "\"title\" is missing"},
        {"no summary", without("summary"), "\"summary\" is missing"},
        {"beat without wordCount", QJsonDocument(noWordCount).toJson(), "\"beats[1].wordCount\" is missing"},
        {"not JSON", "{\"version\": ", "not valid JSON"},
        {"array", "[1,2]", "not an object"},
        {"fractional version", QJsonDocument(fraction).toJson(), "\"version\" is not a whole number"},
        {"null optional", QJsonDocument(nullBeatScene).toJson(), nullptr},
        {"extra keys and version 2", QJsonDocument(extra).toJson(), nullptr},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromUtf8(c.name) + ".json");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        const CadenzorBridge::ReadResult read = CadenzorBridge::read(path);
        if (c.errorPart) {
            EXPECT_FALSE(read.packet) << c.name;
            EXPECT_TRUE(read.error.contains(c.errorPart)) << c.name << ": " << read.error.toStdString();
        } else {
            ASSERT_TRUE(read.packet) << c.name << ": " << read.error.toStdString();
        }
    }
    EXPECT_FALSE(CadenzorBridge::read(dir.filePath("null optional.json")).packet->beats[1].sceneId);
    EXPECT_EQ(CadenzorBridge::read(dir.filePath("extra keys and version 2.json")).packet->version(), 2);

    QFile huge(dir.filePath("huge.json"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.resize(CadenzorBridge::kMaxPacketBytes + 1);
    huge.close();
    EXPECT_TRUE(CadenzorBridge::read(huge.fileName()).error.contains("too large"));
    EXPECT_TRUE(CadenzorBridge::read(dir.filePath("missing.json")).error.contains("Could not read"));
}

} // namespace
