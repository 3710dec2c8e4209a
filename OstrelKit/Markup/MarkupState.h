#pragma once

#include "MarkupTypes.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointF>

#include <functional>
#include <memory>
#include <optional>

// The markup overlay's model: the tool, ink and width, finished strokes, numbered notes, the stroke or arrow being
// drawn and whether the send sheet is up. It also builds the plain-text brief and writes the feedback file.
// GUI thread only. Every change emits changed() after it is made.
class MarkupState : public QObject {
    Q_OBJECT

public:
    explicit MarkupState(QObject* parent = nullptr);

    // The state of the overlay shown last; the menu command falls back to it. Kept alive here until another
    // overlay is shown.
    static std::shared_ptr<MarkupState> shared;

    bool isActive() const { return m_isActive; }
    MarkupMode mode() const { return m_mode; }
    MarkupColor drawColor() const { return m_drawColor; }
    MarkupStrokeSize strokeSize() const { return m_strokeSize; }
    const QList<MarkupStroke>& strokes() const { return m_strokes; }
    const QList<MarkupAnnotation>& annotations() const { return m_annotations; }
    const QList<QPointF>& currentPoints() const { return m_currentPoints; }
    std::optional<QPointF> arrowStart() const { return m_arrowStart; }
    std::optional<QPointF> arrowPreviewEnd() const { return m_arrowPreviewEnd; }
    bool showSendSheet() const { return m_showSendSheet; }
    qint64 annotationCounter() const { return m_annotationCounter; }

    void setActive(bool active);
    void setMode(MarkupMode mode);
    void setDrawColor(MarkupColor color);
    void setStrokeSize(MarkupStrokeSize size);
    void setCurrentPoints(QList<QPointF> points);
    void appendCurrentPoint(QPointF point);
    void setArrowStart(std::optional<QPointF> point);
    void setArrowPreviewEnd(std::optional<QPointF> point);
    void setShowSendSheet(bool show);

    // Note views move and edit their note in place. False when no note has that number.
    bool updateAnnotation(qint64 id, double x, double y, const QString& text);

    // Inverts isActive; switching off also returns to the select tool.
    void toggle();
    // Hands out the next number, appends an empty note at the point and returns to the select tool.
    void addAnnotation(QPointF point);
    void removeAnnotation(qint64 id);
    // A freehand stroke needs two points; fewer leave no stroke.
    void finishFreehand();
    // An arrow longer than 10 points becomes a stroke from arrowStart to end; with no start nothing changes.
    void finishArrow(QPointF end);
    // Removes the last stroke; notes are never undone.
    void undo();
    // Removes strokes and notes, restarts the note numbers and drops any stroke in progress.
    void clearAll();

    // The plain-text brief, lines joined by "\n".
    QString buildBrief() const;
    // The feedback document: annotations, brief, page, strokes, textEdits, timestamp.
    QJsonObject feedbackJSON() const;

    struct SaveResult {
        bool saved = false;
        QString path;  // where the file is (or would have been) written
        QString error; // why it was not written, when saved is false
    };
    // Writes <Documents>/quenby/markup-feedback.json atomically; an earlier file stays when the write fails.
    SaveResult saveFeedback() const;
    static QString feedbackFilePath();

    // The clock the brief and the file are stamped with; tests set a fixed one.
    void setClock(std::function<QDateTime()> clock);

signals:
    void changed();

private:
    QString timestamp() const;

    bool m_isActive = true;
    MarkupMode m_mode = MarkupMode::select;
    MarkupColor m_drawColor = MarkupColor::yellow;
    MarkupStrokeSize m_strokeSize = MarkupStrokeSize::medium;
    QList<MarkupStroke> m_strokes;
    QList<MarkupAnnotation> m_annotations;
    QList<QPointF> m_currentPoints;
    std::optional<QPointF> m_arrowStart;
    std::optional<QPointF> m_arrowPreviewEnd;
    bool m_showSendSheet = false;
    qint64 m_annotationCounter = 0;
    std::function<QDateTime()> m_clock;
};
