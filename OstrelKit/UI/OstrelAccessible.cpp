#include "OstrelAccessible.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

namespace ostrel {

namespace {

const char* const kSpokenValue = "ostrelSpokenValue";
const char* const kSpokenSelected = "ostrelSpokenSelected";
const char* const kSpokenRole = "ostrelSpokenRole";

// The accessible face of a widget given a spoken value: the widget's own name, description and role, plus
// the value and selected state the kit set on it.
class SpokenWidget : public QAccessibleWidget
{
public:
    explicit SpokenWidget(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Role(widget->property(kSpokenRole).toInt()))
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            return widget()->property(kSpokenValue).toString();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (widget()->property(kSpokenSelected).toBool()) {
            s.selectable = true;
            s.selected = true;
        }
        return s;
    }
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
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override
    {
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
        return m_holder ? QVariant(m_holder->model.step) : QVariant();
    }

private:
    QPointer<SliderModelHolder> m_holder;
};

QAccessibleInterface* spokenFactory(const QString&, QObject* object)
{
    if (auto* slider = qobject_cast<QAbstractSlider*>(object)) {
        if (SliderModelHolder* holder = modelHolder(slider)) {
            return new SpokenSlider(slider, holder);
        }
    }
    if (object && object->isWidgetType() && object->property(kSpokenValue).isValid()) {
        return new SpokenWidget(static_cast<QWidget*>(object));
    }
    return nullptr;
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(spokenFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void notifyValue(QWidget* widget)
{
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(widget, widget->property(kSpokenValue));
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace

void setSpokenValue(QWidget* widget, const QString& value)
{
    // The factory and the property must be in place before the widget's accessible face is first made: the
    // accessibility layer keeps the face it made first.
    installFactory();
    if (!widget->property(kSpokenRole).isValid()) {
        widget->setProperty(kSpokenRole, int(QAccessible::Client));
    }
    widget->setProperty(kSpokenValue, value);
    notifyValue(widget);
}

void setSpokenSlider(QAbstractSlider* slider, SpokenSliderModel model)
{
    installFactory();
    if (SliderModelHolder* holder = modelHolder(slider)) {
        holder->model = std::move(model);
    } else {
        new SliderModelHolder(std::move(model), slider);
    }
    spokenSliderChanged(slider);
}

void spokenSliderChanged(QAbstractSlider* slider)
{
    if (QAccessible::isActive()) {
        if (SliderModelHolder* holder = modelHolder(slider); holder && holder->model.value) {
            QAccessibleValueChangeEvent event(slider, holder->model.value());
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
