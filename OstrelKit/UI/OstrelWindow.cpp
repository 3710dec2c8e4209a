#include "OstrelWindow.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QWidget>

#include <cmath>

namespace ostrel {

namespace {

const char* const kLockName = "ostrelAspectLock";

// Keeps a window's content at a width:height ratio when it is resized by anyone but the geometry commands
// (which set whole frames, title bar included, as they are asked to).
class AspectLock : public QObject
{
public:
    AspectLock(QWidget* window, double widthPart, double heightPart)
        : QObject(window), m_window(window), m_width(widthPart), m_height(heightPart)
    {
        setObjectName(QString::fromLatin1(kLockName));
        window->installEventFilter(this);
    }
    std::pair<double, double> ratio() const { return {m_width, m_height}; }
    void setRatio(double widthPart, double heightPart)
    {
        m_width = widthPart;
        m_height = heightPart;
    }
    // The size the commands just gave the content; a resize to it is not corrected.
    void expect(const QSize& size) { m_expected = size; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Resize && !m_adjusting) {
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            if (size == m_expected) {
                return false;
            }
            const int height = int(std::lround(size.width() * m_height / m_width));
            if (height != size.height()) {
                m_adjusting = true;
                m_window->resize(size.width(), height);
                m_adjusting = false;
            }
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    double m_width;
    double m_height;
    QSize m_expected;
    bool m_adjusting = false;
};

AspectLock* lockOf(const QWidget* window)
{
    return window->findChild<AspectLock*>(QString::fromLatin1(kLockName), Qt::FindDirectChildrenOnly);
}

void setContentAspectRatio(QWidget* window, double widthPart, double heightPart)
{
    AspectLock* lock = lockOf(window);
    if (widthPart <= 0 || heightPart <= 0) {
        delete lock;
        window->setSizeIncrement(1, 1);
        return;
    }
    if (lock) {
        lock->setRatio(widthPart, heightPart);
    } else {
        new AspectLock(window, widthPart, heightPart);
    }
}

// Gives the window the frame `frame` (title bar and borders included).
void setFrame(QWidget* window, const QRectF& frame)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const int left = inner.left() - outer.left();
    const int top = inner.top() - outer.top();
    const int extraWidth = outer.width() - inner.width();
    const int extraHeight = outer.height() - inner.height();
    const QRect target(int(std::lround(frame.x())) + left, int(std::lround(frame.y())) + top,
                       int(std::lround(frame.width())) - extraWidth,
                       int(std::lround(frame.height())) - extraHeight);
    if (AspectLock* lock = lockOf(window)) {
        lock->expect(target.size());
    }
    window->setGeometry(target);
}

} // namespace

OstrelWindow::OstrelWindow(QObject* parent)
    : QObject(parent), m_keyWindow([] { return QApplication::activeWindow(); })
{
}

void OstrelWindow::setKeyWindowProvider(KeyWindow provider)
{
    m_keyWindow = std::move(provider);
}

std::optional<std::pair<double, double>> OstrelWindow::contentAspectRatio(const QWidget* window)
{
    if (const AspectLock* lock = lockOf(window)) {
        return lock->ratio();
    }
    return std::nullopt;
}

void OstrelWindow::setCurrent(AspectRatioPreset preset)
{
    const bool changed = preset != m_currentAspect;
    m_currentAspect = preset;
    if (changed) {
        emit currentAspectChanged(preset);
    }
}

void OstrelWindow::setAspect(AspectRatioPreset preset)
{
    QWidget* window = m_keyWindow();
    if (!window) {
        return;
    }
    if (const auto ratio = AspectRatioPresets::ratio(preset)) {
        setContentAspectRatio(window, ratio->first, ratio->second);
        setFrame(window, OstrelWindowFrames::aspect(window->frameGeometry(), ratio->first, ratio->second));
    } else {
        setContentAspectRatio(window, 0, 0);
    }
    setCurrent(preset);
}

void OstrelWindow::setSize(WindowPreset preset)
{
    QWidget* window = m_keyWindow();
    if (!window) {
        return;
    }
    setFrame(window, OstrelWindowFrames::sized(window->frameGeometry(), WindowPresets::side(preset)));
    setContentAspectRatio(window, 1, 1);
    if (AspectLock* lock = lockOf(window)) {
        lock->expect(window->size());
    }
    setCurrent(AspectRatioPreset::square);
}

void OstrelWindow::makeSquare()
{
    // The 1:1 aspect: same left edge, width and vertical centre.
    setAspect(AspectRatioPreset::square);
}

void OstrelWindow::releaseSquare()
{
    QWidget* window = m_keyWindow();
    if (!window) {
        return;
    }
    setContentAspectRatio(window, 0, 0);
    setCurrent(AspectRatioPreset::free);
}

void OstrelWindow::toggleSquare()
{
    if (isSquare()) {
        releaseSquare();
    } else {
        makeSquare();
    }
}

} // namespace ostrel
