#pragma once

#include "KeptFocus.h"
#include "RescaleRules.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class LineLimitedLabel;
class MainThreadLink;
using ostrel::UserDefaults;

// The measure-and-rescale panel under the model preview: the model's size in the unit setting, a target for
// the longest side or per axis (with a logarithmic slider for the longest side), and "Save scaled", which
// exports a rescaled OBJ into the result folder. The source model is never changed.
// Measuring (on first show, "measuring…" meanwhile) and exporting run on worker threads; their results come
// back through a link that the panel cuts when it is destroyed. GUI thread only.
class DimensionsAndRescale : public QWidget
{
    Q_OBJECT
public:
    DimensionsAndRescale(const QString& meshPath, const QString& resultDir, UserDefaults& defaults,
                         QWidget* parent = nullptr);
    ~DimensionsAndRescale() override;

    // The shown size (the measured one, then the size of the last saved file); none until measured.
    const std::optional<RescaleRules::Dims>& dims() const { return m_dims; }
    bool isRescaling() const { return m_rescaling; }

signals:
    // After each save ends, successful or not (tests and the window wait on it).
    void rescaleFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void load();
    void rescale();
    void fillTexts();
    void refresh();
    void unitsChanged();
    RescaleRules::Targets targets() const;

    QString m_meshPath;
    QString m_resultDir;
    UserDefaults& m_defaults;
    QString m_units;
    std::optional<RescaleRules::Dims> m_measured; // the source's size: the basis of every save
    std::optional<RescaleRules::Dims> m_dims;     // the shown size
    bool m_loadStarted = false;
    bool m_rescaling = false;
    std::shared_ptr<MainThreadLink> m_link;
    KeptFocus m_keptFocus;

    QLabel* m_measuringLabel = nullptr;
    QWidget* m_measuredRow = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QToolButton* m_longestSegment = nullptr;
    QToolButton* m_perAxisSegment = nullptr;
    QWidget* m_longestFields = nullptr;
    QWidget* m_perAxisFields = nullptr;
    QLineEdit* m_targetField = nullptr;
    QLineEdit* m_axisFields[3] = {};
    QLabel* m_unitLabels[2] = {};
    QPushButton* m_saveButton = nullptr;
    QSlider* m_slider = nullptr;
    LineLimitedLabel* m_statusLabel = nullptr;
};

} // namespace tovarine
