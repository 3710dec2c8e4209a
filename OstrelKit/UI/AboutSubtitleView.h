#pragma once

#include <QLabel>
#include <QStringList>
#include <QTimer>

namespace ostrel {

// A monospaced caption whose letters flip case at random, one draw every 180 ms, while it is on screen.
// Each showing starts again from the source's own casing; the flipping does not consult reduce motion
// (it is text, not motion). GUI thread only.
class AboutSubtitleView : public QLabel
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 180;

    explicit AboutSubtitleView(QString source, QWidget* parent = nullptr);

    const QString& source() const { return m_source; }
    const QStringList& letters() const { return m_letters; }
    bool ticking() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tick();

    QString m_source;
    QStringList m_letters;
    QTimer m_timer;
};

} // namespace ostrel
