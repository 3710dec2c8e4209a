#include "OstrelTextFocus.h"

namespace ostrel {

OstrelTextFocus& OstrelTextFocus::shared()
{
    static auto* instance = new OstrelTextFocus();
    return *instance;
}

void OstrelTextFocus::setIsEditing(bool editing)
{
    if (editing == m_isEditing) {
        return;
    }
    m_isEditing = editing;
    emit isEditingChanged(editing);
}

} // namespace ostrel
