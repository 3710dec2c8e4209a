#include "OstrelAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
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

QAccessibleInterface* spokenFactory(const QString&, QObject* object)
{
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
