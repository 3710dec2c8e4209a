#pragma once

#include <QMap>
#include <QWidget>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QVBoxLayout;

namespace ostrel {

class QuorvantileNode;

// A settings pane a host puts into its preferences window: whether this machine has joined the mesh, the
// machines on the mesh with their capabilities and the user's nicknames for them, call and render statistics
// once model calls were made, and the "nerd mode" display switch. It follows Quorvantile::shared() and writes
// only "quorvantile.nerdMode" and "quorvantile.nicknames" (through QSettings). GUI thread only.
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
    void rebuild();
    QWidget* nodeRow(const QuorvantileNode& node);
    QWidget* statRow(const QString& label, const QString& value);
    void setNickname(const QString& nodeIdText, const QString& nickname);
    void endEditing();

    QMap<QString, QString> m_nicknames;
    std::optional<QString> m_editingNickname;
    QLabel* m_activeLabel = nullptr;
    QGroupBox* m_machines = nullptr;
    QGroupBox* m_performance = nullptr;
    QCheckBox* m_nerdMode = nullptr;
};

} // namespace ostrel
