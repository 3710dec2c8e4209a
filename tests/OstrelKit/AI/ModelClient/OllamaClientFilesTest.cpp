#include "OllamaClient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// A client whose support folder lives in a fresh temporary data location.
class ClientFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    }

    QString file(const QString& name) const { return QDir(client.supportDir()).filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile out(file(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }

    QTemporaryDir m_home;
    OllamaClient client{QStringLiteral("Dunmarrow"), QStringLiteral("http://127.0.0.1:9")};
};

} // namespace

TEST_F(ClientFiles, SupportFolderIsCreatedUnderTheMakersFolder)
{
    const QString dir = client.supportDir();
    EXPECT_EQ(dir, m_home.filePath(QStringLiteral("ostrel/Dunmarrow")));
    EXPECT_TRUE(QDir(dir).exists());
}

TEST_F(ClientFiles, PreferredModelIsTheTrimmedFileOrTheDefault)
{
    EXPECT_EQ(client.preferredModel(), QStringLiteral("llama3.1:8b")); // no file
    const std::pair<QByteArray, QString> cases[] = {
        {"", QStringLiteral("llama3.1:8b")},
        {" \n\t\r\n", QStringLiteral("llama3.1:8b")},
        {"mistral:7b\n", QStringLiteral("mistral:7b")},
        {"  qwen2.5:14b  ", QStringLiteral("qwen2.5:14b")},
        // Not UTF-8 (a Latin-1 editor's "é"): no usable name, so the default.
        {"mod\xe9le:7b\n", QStringLiteral("llama3.1:8b")},
    };
    for (const auto& [content, expected] : cases) {
        write(QStringLiteral("dunmarrow_model.txt"), content);
        EXPECT_EQ(client.preferredModel(), expected) << content.constData();
    }

    client.setPreferredModel(QStringLiteral("phi3:mini\n"));
    QFile stored(file(QStringLiteral("dunmarrow_model.txt")));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray("phi3:mini\n")); // written as given
    EXPECT_EQ(client.preferredModel(), QStringLiteral("phi3:mini"));
}

TEST_F(ClientFiles, ActiveModelFollowsTheInstalledFamilies)
{
    // availableModels is filled by a connection check; the network tests cover that. Here: no models.
    EXPECT_FALSE(client.activeModel());
}

TEST_F(ClientFiles, MemoryLinesAreStampedAndReadBackNewestLast)
{
    EXPECT_EQ(client.loadContext(5), QString()); // no file yet
    client.appendMemory(QStringLiteral("first"));
    client.appendMemory(QStringLiteral("second"));
    client.appendMemory(QStringLiteral("third"));

    const QStringList lines = client.loadContext(10).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    const QRegularExpression stamped(QStringLiteral(R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\] first$)"));
    EXPECT_TRUE(stamped.match(lines[0]).hasMatch()) << lines[0].toStdString();

    const QString lastTwo = client.loadContext(2);
    EXPECT_TRUE(lastTwo.startsWith(QLatin1Char('[')));
    EXPECT_TRUE(lastTwo.contains(QStringLiteral("] second\n[")));
    EXPECT_TRUE(lastTwo.endsWith(QStringLiteral("] third")));
    EXPECT_EQ(client.loadContext(0), QString());

    // An entry holding a line break counts as two lines.
    client.appendMemory(QStringLiteral("two\nlines"));
    EXPECT_EQ(client.loadContext(1), QStringLiteral("lines"));

    client.clearMemory();
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("memory.txt"))));
    EXPECT_EQ(client.loadContext(10), QString());
    client.clearMemory(); // a missing file is fine
    client.appendMemory(QStringLiteral("again"));
    EXPECT_TRUE(client.loadContext(10).endsWith(QStringLiteral("] again")));
}

TEST_F(ClientFiles, EveryUnicodeLineBreakSplitsMemoryLines)
{
    // CR LF leaves an empty piece, which is dropped; a line of blanks stays.
    write(QStringLiteral("memory.txt"),
          QStringLiteral("a\r\nb\rc\u2028d\u2029e\u0085f\x0b" "g\x0c" "h\n  \n").toUtf8());
    EXPECT_EQ(client.loadContext(100), QStringLiteral("a\nb\nc\nd\ne\nf\ng\nh\n  "));
    EXPECT_EQ(client.loadContext(2), QStringLiteral("h\n  "));
}

TEST(OllamaClientJson, ExtractJsonTakesTheOuterBraces)
{
    const auto found = OllamaClient::extractJSON(
        QStringLiteral("Sure! Here it is: {\"title\": \"Dune\", \"tags\": [\"a\", {\"b\": 1}]} Hope that helps."));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->value(QStringLiteral("title")).toString(), QStringLiteral("Dune"));
    EXPECT_EQ(found->value(QStringLiteral("tags")).toArray().size(), 2);

    for (const char* text : {"no braces at all", "} before {", "[1, 2, 3]", "{\"a\": 1} and {\"b\": 2}",
                             "```json\n{\"a\": 1,}\n```", "{}}"}) {
        EXPECT_FALSE(OllamaClient::extractJSON(QString::fromUtf8(text))) << text;
    }
    EXPECT_EQ(OllamaClient::extractJSON(QStringLiteral("{}")), QJsonObject());
}
