#include "MarkupOverlay.h"

#include "HangCeiling.h"
#include "MarkupAnnotationBubble.h"
#include "MarkupButtonStyles.h"
#include "MarkupCanvas.h"
#include "MarkupMenuCommands.h"
#include "MarkupSendSheet.h"
#include "MarkupToolbar.h"
#include "Screenshots.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A small host window with some content of its own, as an application would have.
struct DemoHost {
    enum class Look { dark, light };

    DemoHost(int width = 1000, int height = 700, Look look = Look::dark, bool shown = true)
    {
        window = std::make_unique<QWidget>();
        window->setWindowTitle("markup demo host");
        window->resize(width, height);
        QPalette palette = window->palette();
        const bool light = look == Look::light;
        palette.setColor(QPalette::Window, QColor(light ? "#f4f4f0" : "#20242a"));
        palette.setColor(QPalette::WindowText, QColor(light ? "#1c1c1c" : "#d0d4da"));
        if (light) {
            palette.setColor(QPalette::Base, QColor("#ffffff"));
            palette.setColor(QPalette::Text, QColor("#1c1c1c"));
        }
        window->setPalette(palette);
        window->setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(window.get());
        auto* heading = new QLabel("Quarterly layout draft", window.get());
        QFont headingFont = heading->font();
        headingFont.setPixelSize(22);
        heading->setFont(headingFont);
        layout->addWidget(heading);
        layout->addStretch(1);
        content = new QPushButton("A button of the host", window.get());
        layout->addWidget(content);
        overlay = markupOverlay(window.get());
        if (shown) {
            show();
        }
    }

    void show() const
    {
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get(), tovarine::test::kHangCeilingMs));
    }

    MarkupState& state() const { return *overlay->state(); }

    std::unique_ptr<QWidget> window;
    QPushButton* content = nullptr;
    MarkupOverlay* overlay = nullptr;
};

// Presses at the first point, moves through the others and releases at the last, as a real mouse would: the
// points are where the pointer is on screen relative to where the widget was at the press, even if the widget
// moves while it is dragged.
void drag(QWidget* target, const QList<QPoint>& points)
{
    const QPoint origin = target->mapToGlobal(QPoint(0, 0));
    auto send = [&](QEvent::Type type, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPoint global = origin + point;
        QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton);
    for (qsizetype i = 1; i < points.size(); ++i) {
        send(QEvent::MouseMove, points[i], Qt::NoButton, Qt::LeftButton);
    }
    send(QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton);
    QCoreApplication::processEvents();
}

QWidget* inputView(const DemoHost& host)
{
    return host.window->findChild<QWidget*>("markupInput");
}

void saveScreenshot(QWidget* window, const QString& name)
{
    QTest::qWait(50);
    const QString dir = tovarine::test::screenshotFolder();
    ASSERT_TRUE(window->grab().save(dir + "/" + name + ".png"));
}

TEST(MarkupOverlay, ActiveAtOnceAndClicksPassThroughInSelect)
{
    DemoHost host;
    EXPECT_TRUE(host.state().isActive());
    EXPECT_TRUE(host.overlay->toolbar()->isVisible());
    EXPECT_EQ(host.overlay->toolbar()->width(), 640);
    EXPECT_EQ(host.overlay->toolbar()->geometry().center().y(), 44 - 1); // integer centre of a 44-high bar
    EXPECT_FALSE(inputView(host)->isVisible());
    EXPECT_EQ(MarkupState::shared, host.overlay->state());

    QSignalSpy clicked(host.content, &QPushButton::clicked);
    const QPoint onContent = host.content->mapTo(host.window.get(), host.content->rect().center());
    QWidget* under = host.window->childAt(onContent);
    ASSERT_TRUE(under);
    QTest::mouseClick(under, Qt::LeftButton, Qt::NoModifier, under->mapFrom(host.window.get(), onContent));
    EXPECT_EQ(clicked.count(), 1) << "in the select tool the host's own button takes the click";
}

TEST(MarkupOverlay, DrawsStrokesArrowsAndNotesWithTheMouse)
{
    DemoHost host;
    host.overlay->toolbar()->toolButton(MarkupMode::draw)->click();
    QWidget* input = inputView(host);
    ASSERT_TRUE(input->isVisible());
    EXPECT_EQ(input->cursor().shape(), Qt::CrossCursor);
    drag(input, {QPoint(100, 200), QPoint(140, 230), QPoint(200, 260), QPoint(260, 240)});
    ASSERT_EQ(host.state().strokes().size(), 1);
    EXPECT_EQ(host.state().strokes()[0].points.size(), 4);
    EXPECT_EQ(host.state().strokes()[0].points[0], QPointF(100, 200));

    host.overlay->toolbar()->toolButton(MarkupMode::arrow)->click();
    drag(input, {QPoint(500, 400), QPoint(560, 350), QPoint(620, 300)});
    drag(input, {QPoint(700, 400), QPoint(705, 400)}); // too short: dropped
    ASSERT_EQ(host.state().strokes().size(), 2);
    EXPECT_EQ(host.state().strokes()[1].points, (QList<QPointF>{QPointF(500, 400), QPointF(620, 300)}));

    host.overlay->toolbar()->toolButton(MarkupMode::note)->click();
    QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, QPoint(300, 420));
    QCoreApplication::processEvents();
    ASSERT_EQ(host.state().annotations().size(), 1);
    EXPECT_EQ(host.state().mode(), MarkupMode::select);
    EXPECT_FALSE(input->isVisible());
    MarkupAnnotationBubble* bubble = host.overlay->bubble(1);
    ASSERT_TRUE(bubble);
    EXPECT_LE((bubble->geometry().center() - QPoint(300, 420)).manhattanLength(), 2) << "centred on the click";
    auto* text = bubble->findChild<QPlainTextEdit*>("markupNoteText");
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->hasFocus()) << "a new note is ready for typing";
    QTest::keyClicks(text, "tighten this gap");
    EXPECT_EQ(host.state().annotations()[0].text, "tighten this gap");
    EXPECT_EQ(bubble->findChild<QLabel*>("markupNoteTitle")->text(), "NOTE #1");

    // Keys over the drawing surface go on to the window.
    host.overlay->toolbar()->toolButton(MarkupMode::draw)->click();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(input, &key);
    EXPECT_FALSE(key.isAccepted());

    host.overlay->toolbar()->toolButton(MarkupMode::select)->click();
    saveScreenshot(host.window.get(), "markup-01-overlay");

    // Undo removes the arrow, then the stroke; the note stays.
    host.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.window.get(), tovarine::test::kHangCeilingMs));
    host.content->setFocus(); // in a note's text, Ctrl+Z undoes typing instead
    QTest::keyClick(host.content, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return host.state().strokes().size() == 1; }, tovarine::test::kHangCeilingMs));
    host.window->findChild<QAbstractButton*>("markupUndo")->click();
    host.window->findChild<QAbstractButton*>("markupUndo")->click();
    EXPECT_TRUE(host.state().strokes().isEmpty());
    EXPECT_EQ(host.state().annotations().size(), 1);
    host.window->findChild<QAbstractButton*>("markupClear")->click();
    EXPECT_TRUE(host.state().annotations().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(host.overlay->bubble(1));
}

TEST(MarkupOverlay, NoteCardsHaveTheirDarkBodyOnALightHost)
{
    DemoHost host(1000, 700, DemoHost::Look::light);
    host.state().setCurrentPoints({QPointF(120, 260), QPointF(220, 300), QPointF(330, 280), QPointF(420, 320)});
    host.state().finishFreehand();
    host.state().setDrawColor(MarkupColor::red);
    host.state().setArrowStart(QPointF(640, 420));
    host.state().finishArrow(QPointF(560, 330));
    host.state().addAnnotation(QPointF(300, 420));
    host.state().updateAnnotation(1, 300, 420, "this label is hard to read");
    host.state().addAnnotation(QPointF(760, 250));
    host.state().updateAnnotation(2, 760, 250, "more room above");
    QCoreApplication::processEvents();
    MarkupAnnotationBubble* bubble = host.overlay->bubble(1);
    ASSERT_TRUE(bubble);

    // The body below the header, away from the text, is the card's grey 0.1; the light host does not show
    // through, so the light note text stands out.
    const QImage card = bubble->grab().toImage();
    const QWidget* header = bubble->findChild<QWidget*>("markupNoteHeader");
    const QPoint body(card.width() - 6, header->geometry().bottom() + 4);
    const QColor want = MarkupPalette::grey(0.1);
    const QColor got = card.pixelColor(body);
    EXPECT_LE(std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                  std::abs(got.blue() - want.blue()),
              6)
        << got.name().toStdString();
    EXPECT_EQ(got.alpha(), 255);
    // In the window, too: the host's light background is covered there.
    const QImage window = host.window->grab().toImage();
    const QColor inWindow = window.pixelColor(bubble->mapTo(host.window.get(), body));
    EXPECT_LT(inWindow.lightness(), 60) << inWindow.name().toStdString();
    saveScreenshot(host.window.get(), "markup-04-overlay-light-host");
}

// The share of `widget`'s drawn pixels lighter than a dark surface: text and marks only, a few percent.
double lightShare(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            light += image.pixelColor(x, y).lightness() > 110 ? 1 : 0;
        }
    }
    return double(light) / std::max(1, image.width() * image.height());
}

TEST(MarkupOverlay, WidthPickerAndBriefScrollBarAreDarkLikeTheirSurfacesOnALightHost)
{
    DemoHost host(1000, 700, DemoHost::Look::light);
    auto* picker = host.window->findChild<QComboBox*>("markupSizePicker");
    ASSERT_TRUE(picker);
    EXPECT_LT(lightShare(picker), 0.25) << "the width picker is dark on the dark toolbar";

    // A brief longer than its box, so the box scrolls.
    for (int i = 0; i < 30; ++i) {
        host.state().addAnnotation(QPointF(300 + 5 * i, 300)); // beneath the sheet
    }
    host.state().setShowSendSheet(true);
    QCoreApplication::processEvents();
    MarkupSendSheet* sheet = host.overlay->sendSheet();
    ASSERT_TRUE(sheet);
    QScrollBar* bar = sheet->findChild<QPlainTextEdit*>("markupBrief")->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_LT(lightShare(bar), 0.25) << "the brief's scroll bar is dark on the dark sheet";
    // Its handle still shows against the groove.
    const QImage image = bar->grab().toImage();
    int darkest = 255;
    int lightest = 0;
    for (int y = 0; y < image.height(); ++y) {
        const int level = image.pixelColor(image.width() / 2, y).lightness();
        darkest = std::min(darkest, level);
        lightest = std::max(lightest, level);
    }
    EXPECT_GT(lightest - darkest, 20);
    saveScreenshot(host.window.get(), "markup-05-send-sheet-light-host");
}

// The toolbar's dividers show on its dark surface whatever the host's palette: their line stands out from the
// bar on a light host as on a dark one.
TEST(MarkupOverlay, ToolbarDividersShowOnTheBarOnEveryHost)
{
    for (const DemoHost::Look look : {DemoHost::Look::dark, DemoHost::Look::light}) {
        SCOPED_TRACE(look == DemoHost::Look::light ? "light host" : "dark host");
        DemoHost host(1000, 700, look);
        QWidget* bar = host.overlay->toolbar();
        const QList<QWidget*> dividers = bar->findChildren<QWidget*>("markupDivider");
        ASSERT_EQ(dividers.size(), 3);
        const QImage image = bar->grab().toImage();
        const int barLevel = image.pixelColor(2, bar->height() / 2).lightness();
        for (QWidget* divider : dividers) {
            const QRect box = divider->geometry();
            int lightest = 0;
            for (int x = box.left(); x <= box.right(); ++x) {
                lightest = std::max(lightest, image.pixelColor(x, box.center().y()).lightness());
            }
            EXPECT_GE(lightest - barLevel, 40) << "bar " << barLevel << ", divider " << lightest;
        }
    }
}

TEST(MarkupOverlay, NoteCardsFollowTheirNumberAndDragByTheHeader)
{
    DemoHost host(1200, 700);
    host.state().addAnnotation(QPointF(200, 300));
    host.state().addAnnotation(QPointF(500, 300));
    host.state().addAnnotation(QPointF(800, 300));
    host.state().updateAnnotation(3, 800, 300, "third");
    QCoreApplication::processEvents();
    EXPECT_EQ(host.overlay->bubble(1)->width(), 160);

    // Delete note 2 with its own button: the cards of 1 and 3 keep their notes.
    host.overlay->bubble(2)->findChild<QToolButton*>("markupNoteDelete")->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(host.overlay->bubble(2));
    EXPECT_EQ(host.overlay->bubble(3)->findChild<QLabel*>("markupNoteTitle")->text(), "NOTE #3");
    EXPECT_EQ(host.overlay->bubble(3)->findChild<QPlainTextEdit*>("markupNoteText")->toPlainText(), "third");

    QWidget* header = host.overlay->bubble(3)->findChild<QWidget*>("markupNoteHeader");
    const QPoint start = header->rect().center();
    drag(header, {start, start + QPoint(15, -10), start + QPoint(30, -20)});
    EXPECT_EQ(host.state().annotations().last().x, 830);
    EXPECT_EQ(host.state().annotations().last().y, 280);

    host.window->resize(480, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(host.overlay->bubble(1)->width(), 100);
}

TEST(MarkupOverlay, ToolbarDragIsClampedAndComesHomeAfterAToggle)
{
    EXPECT_EQ(MarkupOverlay::toolbarWidth(1000), 640);
    EXPECT_EQ(MarkupOverlay::toolbarWidth(500), 460);
    EXPECT_EQ(MarkupOverlay::toolbarWidth(20), 0) << "never a negative width";
    EXPECT_EQ(MarkupOverlay::clampedToolbarOffset(QSizeF(0, 0), QPointF(900, 0), QSizeF(1000, 700)), QSizeF(460, 0));
    EXPECT_EQ(MarkupOverlay::clampedToolbarOffset(QSizeF(0, 0), QPointF(0, -500), QSizeF(1000, 700)), QSizeF(0, -10));
    EXPECT_EQ(MarkupOverlay::clampedToolbarOffset(QSizeF(0, 0), QPointF(0, 5000), QSizeF(1000, 700)), QSizeF(0, 660));
    EXPECT_EQ(MarkupOverlay::clampedToolbarOffset(QSizeF(0, 0), QPointF(-30, 0), QSizeF(60, 700)).width(), 10);

    DemoHost host;
    MarkupToolbar* toolbar = host.overlay->toolbar();
    const QPoint grip(toolbar->width() - 5, 20); // the gap before the send button
    drag(toolbar, {grip, grip + QPoint(20, 10), grip + QPoint(900, 10)});
    EXPECT_EQ(host.overlay->toolbarOffset(), QSizeF(460, 10));
    EXPECT_EQ(toolbar->geometry().center().x() + 1, 960);

    host.state().toggle();
    EXPECT_FALSE(toolbar->isVisible());
    host.state().toggle();
    EXPECT_EQ(host.overlay->toolbarOffset(), QSizeF(0, 0));
    EXPECT_TRUE(toolbar->isVisible());
}

TEST(MarkupOverlay, MenuCommandTogglesTheFocusedOverlayElseTheLastOne)
{
    MarkupState::shared.reset();
    MarkupMenuCommands commands;
    EXPECT_EQ(commands.toggleAction()->text(), "Toggle Markup Mode");
    EXPECT_EQ(commands.toggleAction()->shortcut(), QKeySequence("Ctrl+Shift+M"));
    commands.toggleAction()->trigger(); // no overlay at all: nothing happens

    DemoHost first;
    DemoHost second;
    first.window->activateWindow();
    first.content->setFocus();
    QApplication::setActiveWindow(first.window.get());
    QCoreApplication::processEvents();
    if (QApplication::focusWidget() == first.content) {
        commands.toggleAction()->trigger();
        EXPECT_FALSE(first.state().isActive());
        EXPECT_TRUE(second.state().isActive());
        first.state().toggle();
    }
    first.content->clearFocus();
    QApplication::setActiveWindow(nullptr);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    commands.toggleAction()->trigger();
    EXPECT_FALSE(second.state().isActive()) << "with no focus it toggles the overlay shown last";
    EXPECT_TRUE(first.state().isActive());
}

TEST(MarkupOverlay, WithoutFocusTheMenuCommandTogglesTheOverlayShownLastNotTheOneMadeLast)
{
    MarkupState::shared.reset();
    MarkupMenuCommands commands;
    DemoHost a(1000, 700, DemoHost::Look::dark, false);
    DemoHost b(1000, 700, DemoHost::Look::dark, false);
    commands.toggleAction()->trigger();
    EXPECT_TRUE(a.state().isActive());
    EXPECT_TRUE(b.state().isActive()) << "no overlay shown yet: nothing to toggle";

    b.show();
    a.show();
    QApplication::setActiveWindow(nullptr);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(MarkupState::shared, a.overlay->state());
    commands.toggleAction()->trigger();
    EXPECT_FALSE(a.state().isActive());
    EXPECT_TRUE(b.state().isActive());

    // Shown again, B is the last to appear.
    b.window->hide();
    b.show();
    QApplication::setActiveWindow(nullptr);
    QCoreApplication::processEvents();
    commands.toggleAction()->trigger();
    EXPECT_FALSE(b.state().isActive());
    EXPECT_FALSE(a.state().isActive());
}

TEST(MarkupOverlay, UndoKeyIsTheMarkupsWhileOnAndTheHostsWhileOff)
{
    // A host with its own Edit > Undo on the same key.
    QMainWindow window;
    window.resize(900, 600);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* content = new QPushButton("A button of the host");
    auto* field = new QLineEdit;
    layout->addWidget(field);
    layout->addStretch(1);
    layout->addWidget(content);
    window.setCentralWidget(central);
    QMenu* edit = window.menuBar()->addMenu("Edit");
    QAction* hostUndo = edit->addAction("Undo");
    hostUndo->setShortcut(QKeySequence::Undo);
    QSignalSpy hostUndid(hostUndo, &QAction::triggered);
    MarkupOverlay* overlay = markupOverlay(central);
    MarkupState& state = *overlay->state();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    state.setCurrentPoints({QPointF(10, 10), QPointF(40, 40)});
    state.finishFreehand();
    state.setCurrentPoints({QPointF(50, 50), QPointF(90, 90)});
    state.finishFreehand();

    content->setFocus();
    QTRY_VERIFY(content->hasFocus());
    QTest::keyClick(content, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(state.strokes().size(), 1) << "the overlay is on: the key undoes the markup";
    EXPECT_EQ(hostUndid.count(), 0);

    // A text field that undoes its own typing keeps the key.
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, "abc");
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(field->text(), "abc") << "the field undid its typing";
    EXPECT_EQ(state.strokes().size(), 1);
    EXPECT_EQ(hostUndid.count(), 0);

    state.toggle();
    ASSERT_FALSE(state.isActive());
    content->setFocus();
    QTRY_VERIFY(content->hasFocus());
    QTest::keyClick(content, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(hostUndid.count(), 1) << "the overlay is off: the key is the host's";
    EXPECT_EQ(state.strokes().size(), 1);

    state.toggle();
    QTest::keyClick(content, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state.strokes().isEmpty());
    EXPECT_EQ(hostUndid.count(), 1);
}

TEST(MarkupOverlay, SendSheetNamesTheDocumentsFolderTheDesktopConfigured)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QDir().mkpath(home.path() + "/.config");
    QDir().mkpath(home.path() + "/Dokumente");
    QFile dirs(home.path() + "/.config/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    dirs.close();

    DemoHost host;
    host.state().setShowSendSheet(true);
    MarkupSendSheet* sheet = host.overlay->sendSheet();
    ASSERT_TRUE(sheet);
    QString explanation;
    for (const QLabel* label : sheet->findChildren<QLabel*>()) {
        if (label->text().contains("File saves to")) {
            explanation = label->text();
        }
    }
    EXPECT_TRUE(explanation.contains("~/Dokumente/quenby/markup-feedback.json")) << explanation.toStdString();
    EXPECT_FALSE(explanation.contains("Documents"));
    sheet->findChild<QAbstractButton*>("markupSave")->click();
    ASSERT_TRUE(sheet->saved());
    EXPECT_TRUE(QFile::exists(home.path() + "/Dokumente/quenby/markup-feedback.json"));
    EXPECT_FALSE(QFile::exists(home.path() + "/Documents/quenby/markup-feedback.json"));
}

TEST(MarkupOverlay, SendSheetShowsTheBriefCopiesAndSaves)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    DemoHost host;
    host.state().addAnnotation(QPointF(400, 300));
    host.state().updateAnnotation(1, 400, 300, "align with the header");
    host.state().setCurrentPoints({QPointF(100, 300), QPointF(200, 350), QPointF(260, 330)});
    host.state().finishFreehand();

    host.window->findChild<QAbstractButton*>("markupSend")->click();
    MarkupSendSheet* sheet = host.overlay->sendSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->width(), 540);
    EXPECT_TRUE(sheet->briefText().contains("ANNOTATIONS (1)"));
    EXPECT_EQ(sheet->findChild<QPlainTextEdit*>("markupBrief")->toPlainText(), sheet->briefText());

    // The brief shown is the one built when the sheet appeared.
    host.state().addAnnotation(QPointF(10, 10));
    sheet->findChild<QAbstractButton*>("markupCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), sheet->briefText());
    EXPECT_TRUE(QApplication::clipboard()->text().contains("ANNOTATIONS (1)"));

    auto* save = sheet->findChild<QAbstractButton*>("markupSave");
    save->click();
    EXPECT_TRUE(sheet->saved());
    EXPECT_EQ(save->text(), "saved");
    EXPECT_FALSE(sheet->findChild<QLabel*>("markupSavedLine")->isHidden());
    EXPECT_TRUE(QFile::exists(home.path() + "/Documents/quenby/markup-feedback.json"));
    saveScreenshot(host.window.get(), "markup-02-send-sheet");

    // A click on the backdrop closes it; reopening starts unsaved with a fresh brief.
    QTest::mouseClick(host.window->findChild<QWidget*>("markupBackdrop"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(5, 5));
    QCoreApplication::processEvents();
    EXPECT_FALSE(host.overlay->sendSheet());
    host.state().setShowSendSheet(true);
    sheet = host.overlay->sendSheet();
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->saved());
    EXPECT_EQ(sheet->findChild<QAbstractButton*>("markupSave")->text(), "save to file");
    EXPECT_TRUE(sheet->briefText().contains("ANNOTATIONS (2)"));
}

TEST(MarkupOverlay, BlockedSaveSaysWhyAndKeepsTheButton)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QDir().mkpath(home.path() + "/Documents");
    QFile blocker(home.path() + "/Documents/quenby");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    DemoHost host;
    host.state().setShowSendSheet(true);
    MarkupSendSheet* sheet = host.overlay->sendSheet();
    ASSERT_TRUE(sheet);
    sheet->findChild<QAbstractButton*>("markupSave")->click();
    EXPECT_FALSE(sheet->saved());
    EXPECT_EQ(sheet->findChild<QAbstractButton*>("markupSave")->text(), "save to file");
    auto* failure = sheet->findChild<QLabel*>("markupSaveFailure");
    EXPECT_FALSE(failure->isHidden());
    EXPECT_TRUE(failure->text().contains("quenby")) << failure->text().toStdString();
    EXPECT_TRUE(sheet->findChild<QLabel*>("markupSavedLine")->isHidden());
    saveScreenshot(host.window.get(), "markup-03-save-failed");
}

TEST(MarkupCanvas, ArrowBarbsAndButtonLooks)
{
    const auto barbs = MarkupCanvas::arrowBarbs(QPointF(0, 0), QPointF(100, 0), 2);
    EXPECT_NEAR(barbs[0].p2().x(), 100 - 12 * std::cos(M_PI / 6), 1e-9);
    EXPECT_NEAR(std::abs(barbs[0].p2().y()), 6, 1e-9);
    EXPECT_NEAR(barbs[0].p2().y(), -barbs[1].p2().y(), 1e-9);
    EXPECT_NEAR(barbs[0].length(), 12, 1e-9);
    EXPECT_NEAR(MarkupCanvas::arrowBarbs(QPointF(0, 0), QPointF(0, 50), 5)[0].length(), 15, 1e-9);
    EXPECT_NEAR(MarkupCanvas::arrowBarbs(QPointF(0, 0), QPointF(0, 50), 8)[1].length(), 24, 1e-9);

    DemoHost host;
    MarkupStyledButton* select = host.overlay->toolbar()->toolButton(MarkupMode::select);
    MarkupStyledButton* draw = host.overlay->toolbar()->toolButton(MarkupMode::draw);
    EXPECT_EQ(select->plateColor(), MarkupPalette::accent());
    EXPECT_EQ(select->textColor(), QColor(Qt::black));
    EXPECT_EQ(draw->plateColor(), QColor(Qt::transparent));
    draw->setDown(true);
    EXPECT_EQ(draw->outlineColor(), MarkupPalette::grey(0.3));
    select->setDown(true);
    EXPECT_EQ(select->outlineColor(), QColor(Qt::transparent));
    auto* swatch = host.window->findChild<MarkupColorSwatch*>("markupSwatch-#e8ff00");
    ASSERT_TRUE(swatch);
    EXPECT_EQ(swatch->ringColor(), MarkupPalette::accent());
}

} // namespace
