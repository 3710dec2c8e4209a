#include "PrintPrepRules.h"

#include "OstrelNumberFormat.h"
#include "PrintPrepFiles.h"
#include "TypedNumber.h"

#include <cmath>

namespace tovarine::PrintPrepRules {

namespace {

QString seconds1(double seconds)
{
    return QStringLiteral(" · ") + ostrel::OstrelNumberFormat::fixed(seconds, 1) + QLatin1Char('s');
}

QString fixed2(double value)
{
    return ostrel::OstrelNumberFormat::fixed(value, 2);
}

bool isClosed(std::int64_t openEdges, const QString& note)
{
    return openEdges < 1 || !note.isEmpty();
}

} // namespace

std::optional<double> thicknessMm(const QString& text, const QString& units)
{
    const auto value = TypedNumber::parse(text);
    if (!value) {
        return std::nullopt;
    }
    const double mm = TypedNumber::toMillimetres(*value, units);
    if (!std::isfinite(mm) || mm > kMaxThicknessMm) {
        return std::nullopt;
    }
    return mm;
}

FieldTexts unitDefaults(const QString& units)
{
    if (TypedNumber::isInches(units)) {
        return {QStringLiteral("0.08"), QStringLiteral("0.04")};
    }
    return {QStringLiteral("2"), QStringLiteral("1.0")};
}

QString thickenName(double mm)
{
    return QStringLiteral("model_thick_") + PrintPrepFiles::thicknessTag(mm) + QStringLiteral("mm.obj");
}

QString thinmapName(double mm)
{
    return QStringLiteral("model_thinmap_") + PrintPrepFiles::thicknessTag(mm) + QStringLiteral("mm.obj");
}

QString grownName(double mm)
{
    return QStringLiteral("model_grown_") + PrintPrepFiles::thicknessTag(mm) + QStringLiteral("mm.obj");
}

QString mtlName(const QString& objName)
{
    QString name = objName;
    return name.replace(QStringLiteral(".obj"), QStringLiteral(".mtl"));
}

QString postGrowName(const QString& grownName)
{
    QString name = grownName;
    return name.replace(QStringLiteral("model_grown_"), QStringLiteral("model_thinmap_postgrow_"));
}

QString failed(const QString& message)
{
    return QStringLiteral("failed · ") + message;
}

QString closedMeshWarning(bool olderExist)
{
    if (olderExist) {
        return QStringLiteral(
            "the Thicken / watertight files here are from an earlier reconstruction · run Thicken "
            "again to measure this one");
    }
    return QStringLiteral(
        "model.obj is an open scan, so wall thickness can't be measured yet · run Thicken first");
}

QString thickenSummary(const QString& name, const MeshThicken::Result& result, double seconds)
{
    QStringList parts;
    if (result.open > 0) {
        parts << QString::number(result.open) + QStringLiteral(" open");
    }
    if (result.nonManifold > 0) {
        parts << QString::number(result.nonManifold) + QStringLiteral(" non-manifold");
    }
    if (result.flipped > 0) {
        parts << QString::number(result.flipped) + QStringLiteral(" inside-out");
    }
    if (result.open != 0 || result.nonManifold != 0 || result.flipped != 0) {
        return QStringLiteral("shelled · ") + name + QStringLiteral(" · ") +
               parts.join(QStringLiteral(" · ")) + QStringLiteral(" edges") + seconds1(seconds);
    }
    return QStringLiteral("shelled · ") + name + QStringLiteral(" · watertight") + seconds1(seconds);
}

Summary guardSummary(const QString& sourceName, const MeshMinThickness::Result& r, double mm,
                     const QString& objName, double seconds)
{
    const QString note = PrintPrepFiles::smallGapNote(r.openEdges, r.faceCount);
    if (!isClosed(r.openEdges, note)) {
        return {QStringLiteral("checked ") + sourceName + QStringLiteral(" · not closed (") +
                    QString::number(r.openEdges) +
                    QStringLiteral(" open edges), so missed rays aren't measurements · ") +
                    QString::number(r.thinCount) + QStringLiteral(" thin of ") +
                    QString::number(r.faceCount) + QStringLiteral(" · ") + objName + seconds1(seconds),
                true};
    }
    if (r.thinCount != 0 || r.faceCount < 1) {
        const double percent = r.faceCount < 1 ? 0.0 : double(r.thinCount) / double(r.faceCount) * 100.0;
        return {QStringLiteral("checked ") + sourceName + QStringLiteral(" · ") +
                    QString::number(r.thinCount) + QStringLiteral(" thin (") +
                    ostrel::OstrelNumberFormat::fixed(percent, 1) + QStringLiteral("%) · min ") +
                    fixed2(r.minMM) + QStringLiteral(" / median ") + fixed2(r.medianMM) +
                    QStringLiteral(" mm") + note + QStringLiteral(" · ") + objName + seconds1(seconds),
                false};
    }
    const QString medianPart = r.medianMM > 0
                                   ? QStringLiteral(" · median ") + fixed2(r.medianMM) + QStringLiteral(" mm")
                                   : QString();
    return {QStringLiteral("checked ") + sourceName + QStringLiteral(" · all faces ≥ ") + fixed2(mm) +
                QStringLiteral(" mm") + medianPart + note + QStringLiteral(" · ") + objName +
                seconds1(seconds),
            false};
}

QString reguardSuffix(bool ran, std::optional<std::int64_t> thinAfterReguard)
{
    if (!ran) {
        return {};
    }
    if (!thinAfterReguard) {
        return QStringLiteral(" · re-guard failed");
    }
    return QStringLiteral(" · re-guard ") + QString::number(*thinAfterReguard) + QStringLiteral(" thin");
}

Summary growSummary(const QString& sourceName, const MeshGrow::Result& g, double mm, const QString& grownName,
                    const QString& reguard, double seconds)
{
    const QString note = PrintPrepFiles::smallGapNote(g.openEdges, g.faceCount);
    const bool closed = isClosed(g.openEdges, note);
    const QString before = QString::number(g.initialThin);
    const QString after = QString::number(g.finalThin);
    QString head;
    if (!closed) {
        head = QStringLiteral("grew ") + sourceName + QStringLiteral(" · not closed (") +
               QString::number(g.openEdges) +
               QStringLiteral(" open edges), so missed rays aren't measurements · ") + before +
               QStringLiteral(" → ") + after + QStringLiteral(" thin · ") + grownName;
    } else if (g.initialThin < 1) {
        head = QStringLiteral("checked ") + sourceName + QStringLiteral(" · nothing to grow · all faces ≥ ") +
               fixed2(mm) + QStringLiteral(" mm · ") + grownName;
    } else if (g.finalThin == 0) {
        head = QStringLiteral("grew ") + sourceName + QStringLiteral(" · all clear · ") + before +
               QStringLiteral(" → 0 thin · ") + QString::number(g.iterations) + QStringLiteral(" iters · ") +
               QString::number(g.displacedVertices) + QStringLiteral(" verts moved · ") + grownName;
    } else {
        head = QStringLiteral("grew ") + sourceName + QStringLiteral(" · ") + before + QStringLiteral(" → ") +
               after + QStringLiteral(" thin · ") + QString::number(g.iterations) +
               QStringLiteral(" iters · ") + QString::number(g.displacedVertices) +
               QStringLiteral(" verts moved · ") + grownName;
    }
    return {head + note + reguard + seconds1(seconds), !closed};
}

} // namespace tovarine::PrintPrepRules
