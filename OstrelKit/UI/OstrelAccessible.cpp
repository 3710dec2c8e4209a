#include "OstrelAccessible.h"

#include "OstrelValueFormat.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>
#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

const char* const kSpokenValue = "ostrelSpokenValue";
const char* const kSpokenSelected = "ostrelSpokenSelected";
const char* const kSpokenRole = "ostrelSpokenRole";
// Set by ostrelAccessible: the widget's accessible description is its whole spoken hint, even when empty.
const char* const kSpokenHint = "ostrelSpokenHint";
// Beyond this many decimals 1e-<decimals> is no longer a normal double.
constexpr int kMaxIncrementDecimals = 300;

// The spoken hint of a widget the kit describes: its accessible description as set, never the tooltip (Qt's
// own faces fall back to the tooltip when the description is empty).
QString spokenHint(const QWidget* widget)
{
    return widget->accessibleDescription();
}

// A button's text as spoken: mnemonic markers removed ("&&" stays a literal "&").
QString spokenButtonText(const QAbstractButton* button)
{
    QString text = button->text();
    QString spoken;
    spoken.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        spoken += text[i];
    }
    return spoken;
}

// The role Qt's own face gives the widget types the kit's face stands in for.
QAccessible::Role nativeRole(const QWidget* widget)
{
    if (qobject_cast<const QCheckBox*>(widget)) {
        return QAccessible::CheckBox;
    }
    if (qobject_cast<const QRadioButton*>(widget)) {
        return QAccessible::RadioButton;
    }
    if (qobject_cast<const QAbstractButton*>(widget)) {
        return QAccessible::Button;
    }
    return QAccessible::Client;
}

// Whether the kit's face can stand in for the widget's own without losing anything a screen reader reads:
// buttons (their states and actions are kept below) and plain widgets. Other Qt widgets (text fields,
// labels, lists) keep their own faces.
bool kitFaceFits(const QWidget* widget)
{
    if (qobject_cast<const QAbstractButton*>(widget)) {
        return true;
    }
    for (const QMetaObject* meta = widget->metaObject(); meta; meta = meta->superClass()) {
        if (meta == &QWidget::staticMetaObject) {
            return true;
        }
        const char* name = meta->className();
        if (name[0] == 'Q' && !std::strchr(name, ':')) {
            return false; // a Qt widget class with a face of its own
        }
    }
    return false;
}

// The accessible face of a widget the kit describes: the widget's own name, hint and role, the value and
// selected state the kit set on it, and for a button what Qt's own face tells assistive technology
// (checkable, checked, pressed, and its press or toggle action).
class SpokenWidget : public QAccessibleWidget
{
public:
    explicit SpokenWidget(QWidget* widget)
        : QAccessibleWidget(widget, widget->property(kSpokenRole).isValid()
                                        ? QAccessible::Role(widget->property(kSpokenRole).toInt())
                                        : nativeRole(widget))
    {
    }
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Value:
            if (widget()->property(kSpokenValue).isValid()) {
                return widget()->property(kSpokenValue).toString();
            }
            break;
        case QAccessible::Description:
            return spokenHint(widget());
        case QAccessible::Name:
            if (widget()->accessibleName().isEmpty() && button()) {
                return spokenButtonText(button());
            }
            break;
        default:
            break;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (QAbstractButton* b = button()) {
            s.checkable = b->isCheckable();
            s.checked = b->isChecked();
            auto* box = qobject_cast<QCheckBox*>(b);
            s.checkStateMixed = box && box->checkState() == Qt::PartiallyChecked;
            s.pressed = b->isDown();
        }
        if (widget()->property(kSpokenSelected).toBool()) {
            s.selectable = true;
            s.selected = true;
        }
        return s;
    }
    QStringList actionNames() const override
    {
        QStringList names;
        if (QAbstractButton* b = button(); b && b->isEnabled()) {
            names << (b->isCheckable() ? toggleAction() : pressAction());
        }
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        QAbstractButton* b = button();
        if (b && name == toggleAction()) {
            if (b->isEnabled() && b->isCheckable()) {
                b->toggle();
            }
        } else if (b && name == pressAction()) {
            if (b->isEnabled()) {
                b->click();
            }
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    QAbstractButton* button() const { return qobject_cast<QAbstractButton*>(widget()); }
};

// Holds a slider's model; a child of the slider, so it lives exactly as long as the slider.
class SliderModelHolder : public QObject
{
public:
    SliderModelHolder(SpokenSliderModel model, QObject* slider) : QObject(slider), model(std::move(model))
    {
        setObjectName(QStringLiteral("ostrelSpokenSliderModel"));
    }
    SpokenSliderModel model;
};

SliderModelHolder* modelHolder(QObject* slider)
{
    for (QObject* child : slider->children()) {
        if (auto* holder = dynamic_cast<SliderModelHolder*>(child)) {
            return holder;
        }
    }
    return nullptr;
}

// The accessible face of a slider of doubles: name and description from the widget, the value, range and
// step from its model, and the model's text as the spoken value (not the integer position).
class SpokenSlider : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    SpokenSlider(QWidget* widget, SliderModelHolder* holder)
        : QAccessibleWidget(widget, QAccessible::Slider), m_holder(holder)
    {
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            return m_holder && m_holder->model.text ? m_holder->model.text() : QString();
        }
        if (t == QAccessible::Description) {
            return spokenHint(widget());
        }
        return QAccessibleWidget::text(t);
    }
    // The number the spoken text shows, if it shows one (see setSpokenSlider).
    std::optional<OstrelValueFormat::ShownNumber> shown() const
    {
        if (!m_holder || !m_holder->model.text) {
            return std::nullopt;
        }
        return OstrelValueFormat::shownNumber(m_holder->model.text(), m_holder->model.numberFrom);
    }
    QVariant currentValue() const override
    {
        if (const auto number = shown()) {
            return number->value;
        }
        return m_holder && m_holder->model.value ? QVariant(m_holder->model.value()) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override
    {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok && m_holder && m_holder->model.setValue) {
            m_holder->model.setValue(number);
        }
    }
    QVariant maximumValue() const override { return m_holder ? QVariant(m_holder->model.upper) : QVariant(); }
    QVariant minimumValue() const override { return m_holder ? QVariant(m_holder->model.lower) : QVariant(); }
    QVariant minimumStepSize() const override
    {
        if (const auto number = shown()) {
            // One unit of the shown number's last digit, as the nearest double to 1e-<decimals>: a reader
            // takes ceil(-log10(increment)) decimals, which is exactly <decimals> for these.
            return QStringLiteral("1e-%1").arg(std::min(number->decimals, kMaxIncrementDecimals)).toDouble();
        }
        return m_holder ? QVariant(m_holder->model.step) : QVariant();
    }
    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (stepped()) {
            names << increaseAction() << decreaseAction();
        }
        return names;
    }
    void doAction(const QString& name) override
    {
        auto* slider = static_cast<QAbstractSlider*>(widget());
        if (stepped() && (name == increaseAction() || name == decreaseAction())) {
            if (slider->isEnabled()) {
                slider->triggerAction(name == increaseAction() ? QAbstractSlider::SliderSingleStepAdd
                                                               : QAbstractSlider::SliderSingleStepSub);
            }
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    bool stepped() const { return m_holder && m_holder->model.stepped; }

    QPointer<SliderModelHolder> m_holder;
};

// Whether the kit makes the object's face: a slider given a model, a widget given a spoken value, or a
// button or plain widget given a label and hint.
bool kitMakesFace(QObject* object)
{
    if (!object || !object->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget); slider && modelHolder(slider)) {
        return true;
    }
    return widget->property(kSpokenValue).isValid() ||
           (widget->property(kSpokenHint).toBool() && kitFaceFits(widget));
}

QAccessibleInterface* spokenFactory(const QString&, QObject* object)
{
    if (!kitMakesFace(object)) {
        return nullptr;
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(object)) {
        if (SliderModelHolder* holder = modelHolder(slider)) {
            return new SpokenSlider(slider, holder);
        }
    }
    return new SpokenWidget(static_cast<QWidget*>(object));
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(spokenFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

// Qt keeps the first face it made of a widget, and makes some early (a button's when its text is set): a
// face the kit should have made is dropped, so the next query makes the kit's.
void adoptFace(QObject* object)
{
    installFactory();
    if (!kitMakesFace(object)) {
        return;
    }
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    if (face && !dynamic_cast<SpokenWidget*>(face) && !dynamic_cast<SpokenSlider*>(face)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(face));
    }
}

// Announces a changed spoken value the way the widget's face can carry it. The AT-SPI bridge announces a
// value change only for a face with a numeric value (it warns for any other), so a switch's change goes out
// as a change of its selected state (a check box announces its checked state itself), and a plain widget's
// value is read when asked for.
void notifyValue(QWidget* widget)
{
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    if (!face) {
        return;
    }
    if (face->valueInterface()) {
        QAccessibleValueChangeEvent event(widget, face->valueInterface()->currentValue());
        QAccessible::updateAccessibility(&event);
    } else if (widget->property(kSpokenSelected).isValid()) {
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent event(widget, changed);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace

void setSpokenValue(QWidget* widget, const QString& value)
{
    if (!widget->property(kSpokenRole).isValid()) {
        widget->setProperty(kSpokenRole, int(QAccessible::Client));
    }
    const bool changed = widget->property(kSpokenValue) != QVariant(value);
    widget->setProperty(kSpokenValue, value);
    adoptFace(widget);
    if (changed) {
        notifyValue(widget);
    }
}

void setSpokenSlider(QAbstractSlider* slider, SpokenSliderModel model)
{
    if (SliderModelHolder* holder = modelHolder(slider)) {
        holder->model = std::move(model);
    } else {
        new SliderModelHolder(std::move(model), slider);
    }
    adoptFace(slider);
    spokenSliderChanged(slider);
}

void spokenSliderChanged(QAbstractSlider* slider)
{
    if (QAccessible::isActive()) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(slider);
        if (modelHolder(slider) && face && face->valueInterface()) {
            QAccessibleValueChangeEvent event(slider, face->valueInterface()->currentValue());
            QAccessible::updateAccessibility(&event);
        }
    }
}

QString spokenValue(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Value) : QString();
}

bool spokenSelected(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face && face->state().selected;
}

void ostrelAccessible(QWidget* widget, const QString& label, const std::optional<QString>& hint)
{
    widget->setProperty(kSpokenHint, true);
    adoptFace(widget);
    widget->setAccessibleName(label);
    widget->setAccessibleDescription(hint.value_or(QString()));
    widget->setToolTip(hint.value_or(label));
}

void ostrelAccessibleToggle(QWidget* widget, const QString& label, bool isOn)
{
    const QString value = isOn ? QStringLiteral("On") : QStringLiteral("Off");
    if (!widget->property(kSpokenRole).isValid()) {
        widget->setProperty(kSpokenRole, int(QAccessible::CheckBox));
    }
    widget->setProperty(kSpokenSelected, isOn);
    setSpokenValue(widget, value);
    widget->setAccessibleName(label);
    widget->setToolTip(label + QStringLiteral(": ") + value);
}

} // namespace ostrel
