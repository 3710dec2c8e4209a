#include "CompanionHelp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <optional>

namespace tovarine::CompanionHelp {

namespace {

const QString kLicences = QStringLiteral("Licences");

struct LicenceFile
{
    QString title;
    QString path; // relative to the engine folder
};

const QList<LicenceFile>& licenceTable()
{
    static const QList<LicenceFile> table{
        {QStringLiteral("Morvel engine notices"), QStringLiteral("NOTICES.md")},
        {QStringLiteral("QuadriFlow \u2014 BSD-3-Clause (Stanford)"),
         QStringLiteral("vendor/licenses/QuadriFlow-BSD-3-Clause.txt")},
        {QStringLiteral("Eigen \u2014 MPL-2.0"), QStringLiteral("vendor/licenses/MPL-2.0.txt")},
        {QStringLiteral("rhino3dm \u2014 MIT"), QStringLiteral("vendor/licenses/rhino3dm-MIT.txt")},
        {QStringLiteral("openNURBS (with zlib)"), QStringLiteral("vendor/licenses/openNURBS.txt")},
        {QStringLiteral("geometry-central \u2014 MIT"), QStringLiteral("vendor/geometry-central/LICENSE")},
        {QStringLiteral("pcg32, Eigen BFloat16 \u2014 Apache-2.0"), QStringLiteral("vendor/licenses/Apache-2.0.txt")},
        {QStringLiteral("Draco \u2014 Apache-2.0"), QStringLiteral("vendor/licenses/Draco-Apache-2.0.txt")},
        {QStringLiteral("LEMON \u2014 Boost 1.0"), QStringLiteral("vendor/licenses/LEMON-BSL-1.0.txt")},
        {QStringLiteral("Blender max-flow \u2014 MIT"), QStringLiteral("vendor/licenses/Blender-maxflow-MIT.txt")},
        {QStringLiteral("Where to get the source"), QStringLiteral("vendor/licenses/README.txt")},
    };
    return table;
}

// The whole file as UTF-8 text; absent when the folder or file is missing or the bytes are not UTF-8.
std::optional<QString> readUtf8(const QString& engineFolder, const QString& relativePath)
{
    if (engineFolder.isEmpty() || !QFileInfo(engineFolder).isDir()) {
        return std::nullopt;
    }
    QFile file(QDir(engineFolder).filePath(relativePath));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

QString versionString()
{
    return QStringLiteral("v00000-007");
}

QString makerDomain()
{
    return QStringLiteral("ostrel.studio");
}

QStringList helpSections()
{
    return {QStringLiteral("Getting started"), QStringLiteral("Capture"),        QStringLiteral("Reconstruction"),
            QStringLiteral("Morvel"),          QStringLiteral("Units + orientation"), QStringLiteral("Files + sharing"),
            QStringLiteral("Print prep"),      kLicences};
}

QStringList licenceFiles()
{
    QStringList paths;
    for (const LicenceFile& row : licenceTable()) {
        paths.append(row.path);
    }
    return paths;
}

QList<ostrel::HelpEntry> licenceEntries(const QString& engineFolder)
{
    QList<ostrel::HelpEntry> entries;
    entries.append(ostrel::HelpEntry(
        QStringLiteral("Third-party licences"),
        QStringLiteral(
            "The Morvel cage engine carries these components: QuadriFlow, the quad remesher by Jingwei Huang, "
            "Yichao Zhou, Matthias Niessner, Jonathan Shewchuk and Leonidas Guibas, under BSD-3-Clause with "
            "the rider of Stanford University; Eigen, the linear-algebra library, under MPL-2.0, whose source "
            "is published at eigen.tuxfamily.org; rhino3dm and openNURBS, the two 3DM file libraries by Robert "
            "McNeel & Associates, under MIT with their own notice; and geometry-central, the engine's geometry "
            "kernel by Nicholas Sharp and contributors, under MIT. The full texts follow."),
        kLicences));
    for (const LicenceFile& row : licenceTable()) {
        const std::optional<QString> text = readUtf8(engineFolder, row.path);
        entries.append(ostrel::HelpEntry(
            row.title, text ? *text : QStringLiteral("Not found in this build: ") + row.path, kLicences));
    }
    return entries;
}

} // namespace tovarine::CompanionHelp
