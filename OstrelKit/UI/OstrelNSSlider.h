#pragma once

#include <QColor>
#include <QSlider>

#include <functional>

namespace ostrel {

class UserDefaults;

// The Preferences form's native slider, bound to a double in the user-defaults store: small, its filled track
// in `tint`, no tick marks. A drag shows every step (shownValueChanged) and writes the store once, when it
// ends; a key, a click on the track or assistive technology writes at once. A change of the key made
// elsewhere moves the slider only when it differs from the shown value by more than 0.0001. GUI thread only.
class OstrelNSSlider : public QSlider
{
    Q_OBJECT
public:
    OstrelNSSlider(UserDefaults& store, const QString& key, double defaultValue, double lower, double upper,
                   const QColor& tint, QWidget* parent = nullptr);

    // The value the slider shows.
    double shownValue() const { return m_shown; }

    // What assistive technology speaks for a value (by default "%.2f"); the form gives each slider the text
    // it shows beside it. Arrow keys move 1/100 of the range, Page Up/Down 1/10.
    void setSpokenText(std::function<QString(double)> text);

    static constexpr double kFollowThreshold = 0.0001;
    static constexpr int kPositions = 10000;

signals:
    // The shown value moved: by the user (during a drag too, before the store is written) or by a change of
    // the key.
    void shownValueChanged(double value);

private:
    void valueChanged(int position);
    void follow(double bound);

    UserDefaults& m_store;
    QString m_key;
    double m_default;
    double m_lower;
    double m_upper;
    double m_shown;
    bool m_dragMoved = false; // a drag moved the slider: its release writes the store
    std::function<QString(double)> m_spokenText;
};

} // namespace ostrel
