#pragma once

#include "OstrelWindowGeometry.h"

#include <QObject>

#include <functional>

class QWidget;

namespace ostrel {

// Reshapes whichever window is active when a command runs: locks its content to an aspect ratio, makes it
// one of four squares, or frees it. It holds no window; with no active window an operation does nothing and
// currentAspect keeps its value. currentAspect records the last command, not the window: resizing by hand,
// another active window or closing it do not change it. Frames are applied directly (no animation) and
// rounded to whole pixels; the lock is a resize constraint this object applies itself, which a window
// manager may override. GUI thread only.
class OstrelWindow : public QObject
{
    Q_OBJECT
public:
    using KeyWindow = std::function<QWidget*()>;

    explicit OstrelWindow(QObject* parent = nullptr);

    // Where operations find "the key window" (QApplication::activeWindow() by default; tests pass their own).
    void setKeyWindowProvider(KeyWindow provider);

    AspectRatioPreset currentAspect() const { return m_currentAspect; }
    bool isConstrained() const { return m_currentAspect != AspectRatioPreset::free; }
    bool isSquare() const { return m_currentAspect == AspectRatioPreset::square; }

    void setAspect(AspectRatioPreset preset);
    void setSize(WindowPreset preset);
    void makeSquare();
    void releaseSquare();
    void toggleSquare();

    // The content aspect lock on `window` (width part, height part); absent when none.
    static std::optional<std::pair<double, double>> contentAspectRatio(const QWidget* window);

signals:
    void currentAspectChanged(ostrel::AspectRatioPreset aspect);

private:
    void setCurrent(AspectRatioPreset preset);

    KeyWindow m_keyWindow;
    AspectRatioPreset m_currentAspect = AspectRatioPreset::free;
};

} // namespace ostrel
