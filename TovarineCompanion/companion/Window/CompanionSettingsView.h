#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

using ostrel::UserDefaults;

// The settings form, 420 px wide: "Reconstruction" (the Detail picker and its note), "Units" (the
// "Dimensions in" picker and its note) and "About" (one line: name, version, web domain). A pick is written
// at once; changes made elsewhere show at once. A stored value no choice names stays stored and leaves its
// picker blank until the user picks. Object names: detailPicker, detailNote, unitsPicker, unitsNote,
// aboutLine. GUI thread only.
class CompanionSettingsView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidthPx = 420;

    explicit CompanionSettingsView(UserDefaults& defaults, QWidget* parent = nullptr);

    // The note under the Detail picker for a stored detail value, by exact text; any other value (the
    // empty text, other letter case) gives the note of "full".
    static QString detailBlurb(const QString& detail);

private:
    void refresh();

    UserDefaults& m_defaults;
    QComboBox* m_detail = nullptr;
    QLabel* m_detailNote = nullptr;
    QComboBox* m_units = nullptr;
};

} // namespace tovarine
