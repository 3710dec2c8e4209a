#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace ostrel {

class OstrelNSSlider;
class UserDefaults;

enum class OstrelPrefsLayout { full, minimal };

// The kit's Preferences form. It edits the user-defaults store directly (no model, nothing to save): every
// control writes its key at once (a slider's drag when it ends, its read-outs following the drag meanwhile)
// and follows changes made elsewhere. Layout full shows the "ZaraviduDA" and
// "Interface" sections; minimal shows only the Reduce Motion switch under "Accessibility". The application's
// own content and the reset section appear in both. GUI thread only.
class OstrelPreferencesView : public QWidget
{
    Q_OBJECT
public:
    // `appSpecificContent` (may be null) is reparented into the form.
    OstrelPreferencesView(const QString& appName, QWidget* appSpecificContent, OstrelPrefsLayout layout,
                          QWidget* parent = nullptr);
    OstrelPreferencesView(const QString& appName, QWidget* appSpecificContent, OstrelPrefsLayout layout,
                          UserDefaults& store, QWidget* parent = nullptr);

    static constexpr int kWidth = 440;
    static constexpr int kHeight = 680;

private:
    QWidget* header(const QString& appName);
    QWidget* section(const QString& title, const QString& symbol, QWidget* content);
    QWidget* zaraviduSection();
    QWidget* interfaceSection(bool minimal);
    QWidget* resetSection();
    QWidget* sliderRow(const QString& label, const QString& key, double defaultValue, double lower,
                       double upper, const QString& tooltip, bool widthText);
    QWidget* switchRow(const QString& title, const QString& caption, const QString& key, const QColor& tint,
                       const QString& objectName);
    void refresh();
    // The value the form shows for a slider's key: the dragged slider's while a drag runs, else the store's.
    double shownValue(const QString& key, double defaultValue) const;

    UserDefaults& m_store;
    QLabel* m_lickableLabel = nullptr;
    QList<QWidget*> m_swatches;
    QList<QCheckBox*> m_switches;
    QList<QLabel*> m_valueTexts;
    QList<OstrelNSSlider*> m_sliders;
};

} // namespace ostrel
