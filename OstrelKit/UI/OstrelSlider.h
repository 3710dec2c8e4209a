#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QSlider;

namespace ostrel {

// The kit's accessible slider: a horizontal slider over a double value whose label is spoken (not drawn),
// whose spoken value is the value formatted with `format` plus a space and the unit when one is given, and
// whose tooltip is "<label>: <spoken value>". Continuous without a step; with one it stops at
// lower + k × step. GUI thread only.
class OstrelSlider : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        double lower = 0.0; // range, inclusive
        double upper = 1.0;
        std::optional<double> step;              // absent: continuous
        QString format = QStringLiteral("%.2f"); // printf-style, exactly one floating-point conversion
        QString accessibilityUnit;               // appended after a space when not empty
    };

    // A format that cannot format one number (see OstrelValueFormat) is refused: the slider speaks with
    // "%.2f" and formatProblem() says why.
    OstrelSlider(const QString& label, double value, const Options& options, QWidget* parent = nullptr);
    OstrelSlider(const QString& label, double value, QWidget* parent = nullptr);

    double value() const { return m_value; }
    // Clamps to the range and snaps to the step; emits valueChanged when the value changes.
    void setValue(double value);

    const QString& label() const { return m_label; }
    QString formattedValue() const;
    const std::optional<QString>& formatProblem() const { return m_formatProblem; }
    QSlider* slider() const { return m_slider; }

    // The spoken text of `value`: formatted with `format`, then " <unit>" when the unit is not empty; absent
    // for a refused format.
    static std::optional<QString> spokenText(double value, const QString& format, const QString& unit);

signals:
    void valueChanged(double value);

private:
    void sliderMoved(int position);
    // An arrow key on a slider with more steps than positions: moves one step, not one position.
    void stepByKey(int action);
    void refreshSpoken();
    int positions() const;
    // The value of a slider position, and a value moved onto the step grid (unchanged without a step).
    double valueAt(int position) const;
    double snapped(double value) const;

    QString m_label;
    Options m_options;
    std::optional<QString> m_formatProblem;
    double m_value = 0.0;
    QSlider* m_slider;
};

} // namespace ostrel
