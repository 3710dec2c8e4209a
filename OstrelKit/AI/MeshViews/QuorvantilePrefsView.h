#pragma once

#include <QMap>
#include <QWidget>
#include <optional>

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QStackedLayout;
class QVBoxLayout;

namespace ostrel {

class QuorvantileNode;

// A settings pane a host puts into its preferences window: whether this machine has joined the mesh, the
// machines on the mesh with their capabilities and the user's nicknames for them, call and render statistics
// once model calls were made, and the "nerd mode" display switch. It follows Quorvantile::shared() and writes
// only "quorvantile.nerdMode" and "quorvantile.nicknames" (through QSettings). Machine rows are updated in
// place when the mesh publishes a change, so a nickname being typed keeps its editor and the focus, also
// while its machine's changed record is resolved again; when the editing ends (Return, or the machine
// leaves), the focus stays in the pane. GUI thread only.
class QuorvantilePrefsView : public QWidget
{
    Q_OBJECT
public:
    explicit QuorvantilePrefsView(QWidget* parent = nullptr);

    // The nicknames as stored: a map of strings, or empty when the stored value is missing, not a map, or
    // holds any value that is not a string.
    static QMap<QString, QString> readNicknames();

    // Node id text of the row being renamed, if any.
    const std::optional<QString>& editingNickname() const { return m_editingNickname; }
    // Starts renaming the row of the node with this id text (what a double click on its name does).
    void startEditingNickname(const QString& nodeIdText);

private:
    // One machine's row and the widgets that change with the node.
    struct Row
    {
        QWidget* widget = nullptr;
        QWidget* dot = nullptr;
        QLabel* name = nullptr;
        QLineEdit* field = nullptr; // the nickname editor, shown while this row is being renamed
        QStackedLayout* nameLine = nullptr;
        QHBoxLayout* detailLine = nullptr;
        QStringList details;
        QLabel* badge = nullptr;
    };

    void refresh();
    void refreshMachines();
    void refreshPerformance();
    Row makeRow(const QString& idText);
    void updateRow(Row& row, const QString& idText, const QuorvantileNode& node);
    QWidget* statRow(const QString& label, const QString& value);
    void setNickname(const QString& nodeIdText, const QString& nickname);
    void endEditing();
    // Moves the focus to the pane when it is on `leaving` or inside it, before `leaving` is hidden.
    void keepFocusFrom(QWidget* leaving);

    QMap<QString, QString> m_nicknames;
    std::optional<QString> m_editingNickname;
    QMap<QString, Row> m_rows; // by node id text
    QStringList m_order;       // node id texts in the order shown
    QLabel* m_noMachines = nullptr;
    QLabel* m_activeLabel = nullptr;
    QGroupBox* m_machines = nullptr;
    QGroupBox* m_performance = nullptr;
    QCheckBox* m_nerdMode = nullptr;
};

} // namespace ostrel
