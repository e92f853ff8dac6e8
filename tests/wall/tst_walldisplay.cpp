// The wall display in the window: stored options, full screen, menu, pointer, autostart and the
// screen saver service on a private session bus.
#include "mainwindowtestaccess.h"

#include "autostart.h"
#include "cursorhider.h"
#include "displaymenu.h"
#include "displaysettings.h"
#include "kiosk.h"
#include "privatebus.h"
#include "screenawake.h"
#include "tempsettings.h"
#include "walldisplay.h"

#include <QScreen>
#include <QtTest>
#include <QtWidgets>

Q_DECLARE_METATYPE(DisplayOptions)

namespace {
constexpr int ShortDelayMs = 50;

WallDisplay *wallOf(MainWindow &w)
{
    return w.findChild<WallDisplay *>();
}

DisplayOptions options(bool fullScreen, int hideCursorSeconds, bool keepScreenAwake)
{
    DisplayOptions o;
    o.fullScreen = fullScreen;
    o.hideCursorSeconds = hideCursorSeconds;
    o.keepScreenAwake = keepScreenAwake;
    return o;
}

// As the window holds them: it always offers its signal timeout (2 s by default) and its metering.
DisplayOptions offered(DisplayOptions o, int signalTimeoutMs = 2000)
{
    o.signalTimeoutMs = signalTimeoutMs;
    o.metering = MeterChoices();
    return o;
}

} // namespace

class TestWallDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { settings.reset(new TempSettings); }
    void cleanup()
    {
        settings.reset();
        Kiosk::setManagerProbe({});
    }
    void storedOptions_data();
    void storedOptions();
    void keysRoundTrip();
    void fullScreenByKeysAndClicks_data();
    void fullScreenByKeysAndClicks();
    void undecoratedWindowComesBackWhereItWas();
    void menuAndShortcuts();
    void pointerHidesAndReturns();
    void screenSaverInhibitedAndReleased();
    void optionsDialogAndAutostart();

private:
    QScopedPointer<TempSettings> settings;
    QScopedPointer<PrivateBus> bus;
    QTemporaryDir configHome;
};

void TestWallDisplay::initTestCase()
{
    // Before anything opens the session bus, and before the autostart folder is looked up.
    bus.reset(new PrivateBus);
    QVERIFY2(!bus->address().isEmpty(), qPrintable(bus->why()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
}

void TestWallDisplay::storedOptions_data()
{
    QTest::addColumn<QVariantList>(
        "stored"); // full_screen, hide_cursor_s, keep_screen_awake; invalid: absent
    QTest::addColumn<DisplayOptions>("expected");
    const DisplayOptions defaults = options(false, 3, true);
    QTest::newRow("absent") << QVariantList{QVariant(), QVariant(), QVariant()} << defaults;
    QTest::newRow("as written") << QVariantList{true, 0, false} << options(true, 0, false);
    QTest::newRow("as an INI file gives them")
        << QVariantList{"true", "3600", "false"} << options(true, 3600, false);
    QTest::newRow("wrong types") << QVariantList{"yes", 2.5, QByteArray("\x01")} << defaults;
    QTest::newRow("negative") << QVariantList{-1, -1, -1} << defaults;
    QTest::newRow("absurd") << QVariantList{"maybe", "99999999999", 7} << defaults;
    QTest::newRow("an hour and a second") << QVariantList{QVariant(), 3601, QVariant()} << defaults;
}

void TestWallDisplay::storedOptions()
{
    QFETCH(QVariantList, stored);
    QFETCH(DisplayOptions, expected);
    QSettings store(settings->path() + "/options.ini", QSettings::IniFormat);
    const char *keys[] = {"full_screen", "hide_cursor_s", "keep_screen_awake"};
    for (int i = 0; i < 3; ++i)
        if (stored[i].isValid())
            store.setValue(keys[i], stored[i]);
    store.sync();
    QCOMPARE(DisplaySettings::read(QSettings(store.fileName(), QSettings::IniFormat)), expected);
}

void TestWallDisplay::keysRoundTrip()
{
    {
        MainWindow w;
        const DisplayOptions now = wallOf(w)->options();
        QCOMPARE(now, offered(options(false, 3, true)));
        QCOMPARE(wallOf(w)->cursorHider()->delayMs(), 3000);
        wallOf(w)->apply(options(false, 10, false));
    }
    QSettings store = TempSettings::store();
    QCOMPARE(store.allKeys().size(), 21);
    QCOMPARE(store.value("hide_cursor_s").toInt(), 10);
    MainWindow again;
    QCOMPARE(wallOf(again)->options(), offered(options(false, 10, false)));
    QCOMPARE(wallOf(again)->cursorHider()->delayMs(), 10000);
    QVERIFY(!wallOf(again)->screenAwake()->isEnabled());
}

void TestWallDisplay::fullScreenByKeysAndClicks_data()
{
    QTest::addColumn<bool>("managed");
    QTest::newRow("under a window manager") << true;
    QTest::newRow("bare X server") << false;
}

void TestWallDisplay::fullScreenByKeysAndClicks()
{
    QFETCH(bool, managed);
    Kiosk::setManagerProbe([managed] { return managed; });
    MainWindow w;
    w.move(40, 30);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect normal = w.geometry();
    const QRect screen = w.screen()->geometry();
    Kiosk *kiosk = wallOf(w)->kiosk();
    QAction *fullScreenAction = wallOf(w)->menu()->fullScreen;
// Without a manager the state is not Qt's: the window only covers the screen.
#define CHECK_FULL_SCREEN(on)                                                                                \
    do {                                                                                                     \
        QTRY_COMPARE(kiosk->isFullScreen(), on);                                                             \
        QCOMPARE(fullScreenAction->isChecked(), on);                                                         \
        QCOMPARE(w.isFullScreen(), on &&managed);                                                            \
        if (on && !managed)                                                                                  \
            QCOMPARE(w.geometry(), QRect(screen.topLeft(), screen.size().expandedTo(w.minimumSize())));      \
        if (!on)                                                                                             \
            QTRY_COMPARE(w.geometry(), normal);                                                              \
    } while (false)
    QTest::keyClick(&w, Qt::Key_F11);
    CHECK_FULL_SCREEN(true);
    QTest::keyClick(&w, Qt::Key_F11);
    CHECK_FULL_SCREEN(false);
    QTest::mouseDClick(&w, Qt::LeftButton);
    CHECK_FULL_SCREEN(true);
    QTest::keyClick(&w, Qt::Key_Escape);
    CHECK_FULL_SCREEN(false);
    QTest::keyClick(&w, Qt::Key_Escape); // only leaves
    CHECK_FULL_SCREEN(false);
    QTest::mouseDClick(MainWindowTestAccess::ui(w)->ProgLeft, Qt::LeftButton); // through the meter
    CHECK_FULL_SCREEN(true);
    fullScreenAction->trigger();
    CHECK_FULL_SCREEN(false);
}

void TestWallDisplay::undecoratedWindowComesBackWhereItWas()
{
    // Qt keeps a restored window 20 px below its screen's top, for a title bar that only a manager draws.
    for (const bool managed : {true, false}) {
        Kiosk::setManagerProbe([managed] { return managed; });
        QWidget saved, restored;
        saved.setGeometry(0, 0, 400, 300);
        Kiosk kiosk(&restored);
        kiosk.restore(saved.saveGeometry(), false, 0);
        QCOMPARE(restored.geometry(), managed ? QRect(0, 20, 400, 300) : QRect(0, 0, 400, 300));
    }
    // Covering the screen itself, the window stores its own geometry and the full-screen flag.
    QWidget window;
    window.setGeometry(10, 0, 400, 300);
    Kiosk kiosk(&window);
    kiosk.setFullScreen(true);
    QCOMPARE(window.geometry(), window.screen()->geometry());
    QWidget again;
    Kiosk next(&again);
    again.restoreGeometry(kiosk.savedGeometry());
    QVERIFY(again.isFullScreen());
    next.restore(kiosk.savedGeometry(), false, 0);
    QCOMPARE(again.geometry(), QRect(10, 0, 400, 300));
    QVERIFY(!next.isFullScreen()); // the stored option decides
}

void TestWallDisplay::menuAndShortcuts()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(500, 300), w.mapToGlobal(QPoint(500, 300)));
    QApplication::sendEvent(MainWindowTestAccess::ui(w)->AnalogClock, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text() + (action->shortcut().isEmpty() ? "" : " " + action->shortcut().toString());
    QCOMPARE(texts,
             (QStringList{QString::fromUtf8("Communication settings…"), QString::fromUtf8("Display options…"),
                          "", "Full screen F11", "", "About Kolvane Meters", "Quit Ctrl+Q"}));
    menu->close();

    QString shown;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        shown = dialog ? dialog->windowTitle() : QString();
        if (dialog)
            dialog->reject();
    });
    wallOf(w)->menu()->communicationSettings->trigger();
    QCOMPARE(shown, QStringLiteral("Communication Interface"));

    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        shown = box ? box->windowTitle() + "|" + box->text() : QString();
        if (box)
            box->accept();
    });
    wallOf(w)->menu()->about->trigger();
    QVERIFY2(shown.startsWith("About Kolvane Meters|") && shown.contains("1.9") &&
                 shown.contains(qVersion()) && shown.contains(QSettings().fileName()),
             qPrintable(shown));

    QApplication::setActiveWindow(&w); // the dialogs took it
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!w.isVisible()); // closed as by the window's own close button
}

void TestWallDisplay::pointerHidesAndReturns()
{
    QWidget window;
    CursorHider hider(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!hider.isHidden()); // 0: never
    hider.setDelayMs(ShortDelayMs);
    QTRY_VERIFY(hider.isHidden());
    QCOMPARE(window.cursor().shape(), Qt::BlankCursor);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QVERIFY(!hider.isHidden());
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QTRY_VERIFY(hider.isHidden());
    // Not while a menu is open.
    QMenu menu(&window);
    menu.addAction("entry");
    QApplication::sendEvent(&window, &move);
    menu.popup(window.mapToGlobal(QPoint(5, 5)));
    QTest::qWait(ShortDelayMs * 6);
    QVERIFY(!hider.isHidden());
    menu.close();
    QTRY_VERIFY(hider.isHidden());
    hider.setDelayMs(0);
    QVERIFY(!hider.isHidden());
}

void TestWallDisplay::screenSaverInhibitedAndReleased()
{
    const int before = bus->calls().size();
    const auto since = [&] { return bus->calls().mid(before).join(", "); };
    {
        MainWindow w;
        QCOMPARE(wallOf(w)->screenAwake()->hold(), ScreenAwake::Hold::ScreenSaverService);
        QTRY_COMPARE(bus->calls().size(), before + 1);
        const QString cookie = bus->calls().last().section(' ', -1);
        wallOf(w)->apply(options(false, 3, false)); // turned off
        QTRY_COMPARE(since(), "Inhibit Kolvane Meters " + cookie + ", UnInhibit " + cookie);
        wallOf(w)->apply(options(false, 3, true));
        QTRY_COMPARE(bus->calls().size(), before + 3);
    }
    const QString cookie = bus->calls().last().section(' ', -1);
    QTRY_COMPARE(bus->calls().mid(before + 2).join(", "), // released at exit
                 "Inhibit Kolvane Meters " + cookie + ", UnInhibit " + cookie);
}

void TestWallDisplay::optionsDialogAndAutostart()
{
    MainWindow w;
    WallDisplay *wall = wallOf(w);
    const QString entry = configHome.path() + "/autostart/kolvane-meters.desktop";
    QCOMPARE(Autostart::location(), entry);
    const auto answer = [&](bool ok, const std::function<void(QDialog *)> &edit) {
        QTimer::singleShot(0, [=] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            edit(dialog);
            QTest::mouseClick(dialog->findChild<QPushButton *>(ok ? "pushButton_ok" : "pushButton_cancel"),
                              Qt::LeftButton);
        });
        wall->menu()->displayOptions->trigger();
    };
    const auto editAll = [](QDialog *dialog) {
        dialog->findChild<QCheckBox *>("checkBox_autostart")->setChecked(true);
        dialog->findChild<QCheckBox *>("checkBox_keepawake")->setChecked(false);
        dialog->findChild<QSpinBox *>("spinBox_hidecursor")->setValue(0);
        QCOMPARE(dialog->findChild<QSpinBox *>("spinBox_signaltimeout")->value(), 2000);
    };
    answer(false, editAll);
    QCOMPARE(wall->options(), offered(options(false, 3, true)));
    QVERIFY(!QFile::exists(entry));

    answer(true, editAll);
    DisplayOptions expected = offered(options(false, 0, false));
    expected.startAtLogin = true;
    QCOMPARE(wall->options(), expected);
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.startsWith("[Desktop Entry]\n") &&
                 text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"),
             qPrintable(text));

    // The signal timeout as the display offers it.
    wall->setSignalTimeoutMs(1500);
    QSignalSpy timeout(wall, &WallDisplay::signalTimeoutMsChanged);
    answer(true, [](QDialog *dialog) {
        auto *spin = dialog->findChild<QSpinBox *>("spinBox_signaltimeout");
        QVERIFY(!spin->isHidden() && spin->value() == 1500);
        spin->setValue(800);
        dialog->findChild<QCheckBox *>("checkBox_autostart")->setChecked(false);
    });
    QCOMPARE(timeout.value(0), QVariantList{800});
    QVERIFY(!QFile::exists(entry));
    QVERIFY(!Autostart::isEnabled());
}

QTEST_MAIN(TestWallDisplay)
#include "tst_walldisplay.moc"
