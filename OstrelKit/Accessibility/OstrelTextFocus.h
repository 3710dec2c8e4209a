#pragma once

#include <QObject>

namespace ostrel {

// Whether the user is typing in a guarded text field, so views can keep single-key shortcuts away while they
// do. Written by the text focus guards; the last focus change or disappearance written wins (no count of
// fields is kept). Created on first access with isEditing false; lives as long as the process.
// GUI thread only.
class OstrelTextFocus : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isEditing READ isEditing WRITE setIsEditing NOTIFY isEditingChanged)
public:
    static OstrelTextFocus& shared();

    bool isEditing() const { return m_isEditing; }
    void setIsEditing(bool editing);

signals:
    void isEditingChanged(bool editing);

private:
    OstrelTextFocus() = default;
    bool m_isEditing = false;
};

} // namespace ostrel
