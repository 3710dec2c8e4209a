#pragma once

#include "MarkupState.h"

#include <QWidget>

#include <memory>

class MarkupStyledButton;
class QLabel;
class QPlainTextEdit;

// The last step of a markup pass: a 540-point panel showing the brief (built once when the sheet appears) with
// "copy" and "save to file". It says "saved" only when the file was written; a failed save shows its reason in
// red and keeps the save button. GUI thread only.
class MarkupSendSheet : public QWidget {
    Q_OBJECT

public:
    MarkupSendSheet(std::shared_ptr<MarkupState> state, QWidget* parent);

    bool saved() const { return m_saved; }
    QString briefText() const { return m_briefText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void save();

    std::shared_ptr<MarkupState> m_state;
    bool m_saved = false;
    QString m_briefText;
    QWidget* m_titleBar = nullptr;
    QPlainTextEdit* m_brief = nullptr;
    MarkupStyledButton* m_saveButton = nullptr;
    QLabel* m_confirmation = nullptr;
    QLabel* m_failure = nullptr;
};
