#include "MarkupState.h"

#include "SortedJsonWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

std::shared_ptr<MarkupState> MarkupState::shared;

namespace {

// An arrow this long or shorter is taken for a slip of the mouse and dropped.
constexpr double kShortestArrow = 10;

// The header's organisation label.
constexpr auto kBriefHeader = "TOVARINE.APP MARKUP FEEDBACK";

QString rule()
{
    return QString(40, QChar(0x2500));
}

} // namespace

MarkupState::MarkupState(QObject* parent)
    : QObject(parent), m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

void MarkupState::setActive(bool active)
{
    if (m_isActive != active) {
        m_isActive = active;
        emit changed();
    }
}

void MarkupState::setMode(MarkupMode mode)
{
    if (m_mode != mode) {
        m_mode = mode;
        emit changed();
    }
}

void MarkupState::setDrawColor(MarkupColor color)
{
    if (m_drawColor != color) {
        m_drawColor = color;
        emit changed();
    }
}

void MarkupState::setStrokeSize(MarkupStrokeSize size)
{
    if (m_strokeSize != size) {
        m_strokeSize = size;
        emit changed();
    }
}

void MarkupState::setCurrentPoints(QList<QPointF> points)
{
    m_currentPoints = std::move(points);
    emit changed();
}

void MarkupState::appendCurrentPoint(QPointF point)
{
    m_currentPoints.append(point);
    emit changed();
}

void MarkupState::setArrowStart(std::optional<QPointF> point)
{
    m_arrowStart = point;
    emit changed();
}

void MarkupState::setArrowPreviewEnd(std::optional<QPointF> point)
{
    m_arrowPreviewEnd = point;
    emit changed();
}

void MarkupState::setShowSendSheet(bool show)
{
    if (m_showSendSheet != show) {
        m_showSendSheet = show;
        emit changed();
    }
}

bool MarkupState::updateAnnotation(qint64 id, double x, double y, const QString& text)
{
    for (MarkupAnnotation& annotation : m_annotations) {
        if (annotation.id == id) {
            if (annotation.x != x || annotation.y != y || annotation.text != text) {
                annotation.x = x;
                annotation.y = y;
                annotation.text = text;
                emit changed();
            }
            return true;
        }
    }
    return false;
}

void MarkupState::toggle()
{
    m_isActive = !m_isActive;
    if (!m_isActive) {
        m_mode = MarkupMode::select;
    }
    emit changed();
}

void MarkupState::addAnnotation(QPointF point)
{
    ++m_annotationCounter;
    m_annotations.append(MarkupAnnotation{m_annotationCounter, point.x(), point.y(), QString()});
    m_mode = MarkupMode::select;
    emit changed();
}

void MarkupState::removeAnnotation(qint64 id)
{
    if (m_annotations.removeIf([id](const MarkupAnnotation& annotation) { return annotation.id == id; }) > 0) {
        emit changed();
    }
}

void MarkupState::finishFreehand()
{
    if (m_currentPoints.size() >= 2) {
        m_strokes.append(MarkupStroke(MarkupStroke::StrokeType::freehand, m_currentPoints, m_drawColor,
                                      rawValue(m_strokeSize)));
    }
    m_currentPoints.clear();
    emit changed();
}

void MarkupState::finishArrow(QPointF end)
{
    if (!m_arrowStart) {
        return;
    }
    const QPointF start = *m_arrowStart;
    if (std::hypot(end.x() - start.x(), end.y() - start.y()) > kShortestArrow) {
        m_strokes.append(
            MarkupStroke(MarkupStroke::StrokeType::arrow, {start, end}, m_drawColor, rawValue(m_strokeSize)));
    }
    m_arrowStart.reset();
    m_arrowPreviewEnd.reset();
    emit changed();
}

void MarkupState::undo()
{
    if (!m_strokes.isEmpty()) {
        m_strokes.removeLast();
        emit changed();
    }
}

void MarkupState::clearAll()
{
    m_strokes.clear();
    m_annotations.clear();
    m_annotationCounter = 0;
    m_currentPoints.clear();
    m_arrowStart.reset();
    m_arrowPreviewEnd.reset();
    emit changed();
}

void MarkupState::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

QString MarkupState::timestamp() const
{
    return m_clock().toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

QString MarkupState::buildBrief() const
{
    QStringList lines{QLatin1String(kBriefHeader), QStringLiteral("source: native app"),
                      QStringLiteral("timestamp: ") + timestamp(), QString()};
    if (!m_annotations.isEmpty()) {
        lines << QStringLiteral("ANNOTATIONS (%1)").arg(m_annotations.size()) << rule();
        for (qsizetype i = 0; i < m_annotations.size(); ++i) {
            const MarkupAnnotation& note = m_annotations[i];
            lines << QStringLiteral("%1. at position (%2, %3)")
                         .arg(i + 1)
                         .arg(truncatedCoordinate(note.x))
                         .arg(truncatedCoordinate(note.y));
            lines << QStringLiteral("   \"") + (note.text.isEmpty() ? QStringLiteral("(no text)") : note.text)
                         + QLatin1Char('"');
            lines << QString();
        }
    }
    if (!m_strokes.isEmpty()) {
        lines << QStringLiteral("DRAWINGS") << rule()
              << QStringLiteral("%1 stroke(s) drawn on the page.").arg(m_strokes.size())
              << QStringLiteral("(see strokes array in JSON for coordinates)") << QString();
    }
    if (m_annotations.isEmpty() && m_strokes.isEmpty()) {
        lines << QStringLiteral("(no changes marked)");
    }
    return lines.join(QLatin1Char('\n'));
}

QJsonObject MarkupState::feedbackJSON() const
{
    QJsonArray notes;
    for (const MarkupAnnotation& note : m_annotations) {
        notes.append(QJsonObject{{QStringLiteral("id"), note.id},
                                 {QStringLiteral("scrollY"), 0},
                                 {QStringLiteral("text"), note.text},
                                 {QStringLiteral("x"), truncatedCoordinate(note.x)},
                                 {QStringLiteral("y"), truncatedCoordinate(note.y)}});
    }
    QJsonArray strokes;
    for (const MarkupStroke& stroke : m_strokes) {
        QJsonObject object{{QStringLiteral("color"), rawValue(stroke.color)},
                           {QStringLiteral("size"), truncatedCoordinate(stroke.size)},
                           {QStringLiteral("type"), rawValue(stroke.type)}};
        if (stroke.type == MarkupStroke::StrokeType::freehand) {
            object.insert(QStringLiteral("d"), stroke.pathData());
        } else if (stroke.points.size() == 2) {
            object.insert(QStringLiteral("x1"), truncatedCoordinate(stroke.points[0].x()));
            object.insert(QStringLiteral("y1"), truncatedCoordinate(stroke.points[0].y()));
            object.insert(QStringLiteral("x2"), truncatedCoordinate(stroke.points[1].x()));
            object.insert(QStringLiteral("y2"), truncatedCoordinate(stroke.points[1].y()));
        }
        strokes.append(object);
    }
    QJsonObject document;
    document.insert(QStringLiteral("page"), QStringLiteral("(native app)"));
    document.insert(QStringLiteral("timestamp"), timestamp());
    document.insert(QStringLiteral("textEdits"), QJsonArray());
    document.insert(QStringLiteral("annotations"), notes);
    document.insert(QStringLiteral("strokes"), strokes);
    document.insert(QStringLiteral("brief"), buildBrief());
    return document;
}

QString MarkupState::feedbackFilePath()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).filePath(QStringLiteral("quenby/markup-feedback.json"));
}

MarkupState::SaveResult MarkupState::saveFeedback() const
{
    SaveResult result;
    result.path = feedbackFilePath();
    const QString folder = QFileInfo(result.path).absolutePath();
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("Could not create the folder %1").arg(folder);
        return result;
    }
    const QByteArray bytes = SortedJsonWriter::write(feedbackJSON());
    QSaveFile file(result.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        result.error = QStringLiteral("Could not write %1: %2").arg(result.path, file.errorString());
        return result;
    }
    result.saved = true;
    return result;
}
