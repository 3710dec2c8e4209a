// Markup JSON comes back from outside: a feedback file another tool may have edited, or strokes and notes
// stored with their own encoding. Any bytes must read as strokes and notes or be refused; what reads must
// encode and read again unchanged, and, put into a markup state, give a brief and a feedback file that is
// JSON again.
#include "MarkupState.h"
#include "MarkupTypes.h"
#include "SortedJsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool sameStroke(const MarkupStroke& a, const MarkupStroke& b)
{
    return a.id == b.id && a.type == b.type && a.points == b.points && a.color == b.color && a.size == b.size;
}

// Through the JSON text, not only the in-memory object: what a file would hold.
QJsonObject reread(const QJsonObject& object)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QJsonDocument(object).toJson(QJsonDocument::Compact));
    check(document.isObject());
    return document.object();
}

void readOne(const QJsonValue& value, MarkupState& state)
{
    if (!value.isObject()) {
        return;
    }
    const QJsonObject object = value.toObject();
    if (const std::optional<MarkupStroke> stroke = MarkupStroke::fromJson(object)) {
        (void)stroke->pathData();
        const std::optional<MarkupStroke> again = MarkupStroke::fromJson(reread(stroke->toJson()));
        check(again && sameStroke(*stroke, *again));
        state.setDrawColor(stroke->color);
        if (stroke->type == MarkupStroke::StrokeType::freehand) {
            state.setCurrentPoints(stroke->points);
            state.finishFreehand();
        } else if (stroke->points.size() == 2) {
            state.setArrowStart(stroke->points[0]);
            state.finishArrow(stroke->points[1]);
        }
    }
    if (const std::optional<MarkupAnnotation> note = MarkupAnnotation::fromJson(object)) {
        const std::optional<MarkupAnnotation> again = MarkupAnnotation::fromJson(reread(note->toJson()));
        check(again && *again == *note);
        state.addAnnotation(QPointF(note->x, note->y));
        check(state.updateAnnotation(state.annotationCounter(), note->x, note->y, note->text));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    MarkupState state;
    state.setClock([] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC); });
    if (document.isArray()) {
        for (const QJsonValue& value : document.array()) {
            readOne(value, state);
        }
    } else if (document.isObject()) {
        const QJsonObject root = document.object();
        readOne(root, state);
        for (const QJsonValue& value : root.value(QStringLiteral("strokes")).toArray()) {
            readOne(value, state);
        }
        for (const QJsonValue& value : root.value(QStringLiteral("annotations")).toArray()) {
            readOne(value, state);
        }
    } else {
        return 0;
    }
    const QString brief = state.buildBrief();
    check(!brief.isEmpty());
    const QByteArray file = SortedJsonWriter::write(state.feedbackJSON());
    const QJsonDocument written = QJsonDocument::fromJson(file);
    check(written.isObject());
    check(written.object().value(QStringLiteral("annotations")).toArray().size() ==
          state.annotations().size());
    check(written.object().value(QStringLiteral("strokes")).toArray().size() == state.strokes().size());
    return 0;
}
