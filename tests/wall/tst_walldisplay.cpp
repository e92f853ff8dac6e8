// The wall display in the window: full screen with and without a window manager, the menu, the
// pointer, the screen saver service on a private session bus, the display options with autostart, and
// where on the screens the window goes.
#include "mainwindowtestaccess.h"

#include "autostart.h"
#include "displaymenu.h"
#include "pixelshift.h"
#include "privatebus.h"
#include "screenplacement.h"
#include "tempsettings.h"

#include <QtTest>
#include <QtWidgets>

using Access = MainWindowTestAccess;

class TestWallDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Before anything opens the session bus.
        bus.reset(new PrivateBus);
        QVERIFY2(!bus->address().isEmpty(), qPrintable(bus->why()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toLocal8Bit());
    }
    void init() { settings.reset(new TempSettings); }
    void cleanup()
    {
        settings.reset();
        Kiosk::setManagerProbe({});
    }

    // Without a manager the state is not Qt's: the window only covers the screen, and goes back.
    void fullScreenByKeysAndClicks_data()
    {
        QTest::addColumn<bool>("managed");
        QTest::newRow("under a window manager") << true;
        QTest::newRow("bare X server") << false;
    }
    void fullScreenByKeysAndClicks()
    {
        QFETCH(bool, managed);
        Kiosk::setManagerProbe([managed] { return managed; });
        MainWindow w;
        w.move(40, 30);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect normal = w.geometry();
        const QRect screen = w.screen()->geometry();
        Kiosk *kiosk = Access::wall(w)->kiosk();
        QAction *action = Access::wall(w)->menu()->fullScreen;
        const std::pair<std::function<void()>, bool> steps[] = {
            {[&] { QTest::keyClick(&w, Qt::Key_F11); }, true},
            {[&] { QTest::keyClick(&w, Qt::Key_F11); }, false},
            {[&] { QTest::mouseDClick(&w, Qt::LeftButton); }, true},
            {[&] { QTest::keyClick(&w, Qt::Key_Escape); }, false},
            {[&] { QTest::keyClick(&w, Qt::Key_Escape); }, false},                        // only leaves
            {[&] { QTest::mouseDClick(Access::ui(w)->ProgLeft, Qt::LeftButton); }, true}, // through the meter
            {[&] { action->trigger(); }, false}};
        for (const auto &[step, on] : steps) {
            step();
            QTRY_COMPARE(kiosk->isFullScreen(), on);
            QCOMPARE(action->isChecked(), on);
            QCOMPARE(w.isFullScreen(), on && managed);
            if (on && !managed)
                QCOMPARE(w.geometry(), QRect(screen.topLeft(), screen.size().expandedTo(w.minimumSize())));
            if (!on)
                QTRY_COMPARE(w.geometry(), normal);
        }
    }

    void undecoratedWindowComesBackWhereItWas()
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

    void menuAndShortcuts()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(500, 300), w.mapToGlobal(QPoint(500, 300)));
        QApplication::sendEvent(Access::ui(w)->AnalogClock, &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList texts;
        for (QAction *action : menu->actions())
            texts << action->text() +
                         (action->shortcut().isEmpty() ? "" : " " + action->shortcut().toString());
        QCOMPARE(texts, (QStringList{QString::fromUtf8("Communication settings…"),
                                     QString::fromUtf8("Display options…"), "", "Full screen F11", "",
                                     "About Kolvane Meters", "Quit Ctrl+Q"}));
        menu->close();
        QString shown;
        const auto close = [&](QDialog *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            shown = dialog->windowTitle() + (box ? "|" + box->text() : QString());
            dialog->reject();
        };
        Access::onNextDialog(close);
        Access::wall(w)->menu()->communicationSettings->trigger();
        QCOMPARE(shown, QStringLiteral("Communication Interface"));
        Access::onNextDialog(close);
        Access::wall(w)->menu()->about->trigger();
        QVERIFY2(shown.startsWith("About Kolvane Meters|") && shown.contains("1.9") &&
                     shown.contains(qVersion()) && shown.contains(QSettings().fileName()),
                 qPrintable(shown));
        QApplication::setActiveWindow(&w); // the dialogs took it
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!w.isVisible()); // closed as by the window's own close button
    }

    void pointerHidesAndReturns()
    {
        constexpr int ShortDelayMs = 50;
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

    void screenSaverInhibitedAndReleased()
    {
        const int before = bus->calls().size();
        {
            MainWindow w;
            ScreenAwake *awake = Access::wall(w)->screenAwake();
            QCOMPARE(awake->hold(), ScreenAwake::Hold::ScreenSaverService);
            QTRY_COMPARE(bus->calls().size(), before + 1);
            const QString cookie = bus->calls().last().section(' ', -1);
            awake->setEnabled(false);
            QTRY_COMPARE(bus->calls().mid(before).join(", "),
                         "Inhibit Kolvane Meters " + cookie + ", UnInhibit " + cookie);
            awake->setEnabled(true);
            QTRY_COMPARE(bus->calls().size(), before + 3);
        }
        const QString cookie = bus->calls().last().section(' ', -1);
        QTRY_COMPARE(bus->calls().mid(before + 2).join(", "), // released at exit
                     "Inhibit Kolvane Meters " + cookie + ", UnInhibit " + cookie);
    }

    // Cancel changes nothing; OK applies everything at once. The alarm's rows follow its check box, the
    // dialog offers what the window uses, and the autostart entry comes and goes with its box.
    void displayOptionsDialog()
    {
        MainWindow w;
        WallDisplay *wall = Access::wall(w);
        const QString entry = settings->path() + "/autostart/kolvane-meters.desktop";
        QCOMPARE(Autostart::location(), entry);
        QList<int> offered; // the rows' states as the dialog opens and after the alarm's box; the timeout
        const auto answer = [&](bool ok, bool on) {
            offered.clear();
            Access::onNextDialog([&, ok, on](QDialog *dialog) {
                const auto box = [&](const char *name) { return dialog->findChild<QCheckBox *>(name); };
                const auto spin = [&](const char *name) { return dialog->findChild<QSpinBox *>(name); };
                const auto rows = [&] {
                    for (const char *name : {"label_silencethreshold", "spinBox_silencethreshold",
                                             "label_silencedelay", "spinBox_silencedelay"})
                        offered << dialog->findChild<QWidget *>(name)->isEnabled();
                };
                rows();
                for (const char *name : {"checkBox_autostart", "checkBox_peakhold", "checkBox_over",
                                         "checkBox_silencealarm", "checkBox_pixelshift"})
                    box(name)->setChecked(on);
                box("checkBox_keepawake")->setChecked(!on);
                rows();
                offered << (spin("spinBox_signaltimeout")->isHidden()
                                ? -1
                                : spin("spinBox_signaltimeout")->value());
                spin("spinBox_signaltimeout")->setValue(on ? 800 : 900);
                spin("spinBox_hidecursor")->setValue(0);
                dialog->findChild<QDoubleSpinBox *>("spinBox_silencethreshold")->setValue(-30);
                spin("spinBox_silencedelay")->setValue(5);
                QTest::mouseClick(
                    dialog->findChild<QPushButton *>(ok ? "pushButton_ok" : "pushButton_cancel"),
                    Qt::LeftButton);
            });
            wall->menu()->displayOptions->trigger();
        };
        const QStringList before = Access::settingsInUse(w);
        answer(false, true);
        QCOMPARE(offered, (QList<int>{0, 0, 0, 0, 1, 1, 1, 1, 2000}));
        QCOMPARE(Access::settingsInUse(w), before);
        QVERIFY(!QFile::exists(entry));

        answer(true, true);
        const QStringList after =
            Access::with(before, {"signal_timeout_ms=800", "hide_cursor_s=0", "keep_screen_awake=false",
                                  "peak_hold=true", "over_indicator=true", "silence_alarm=true",
                                  "silence_threshold_db=-30", "silence_delay_s=5", "pixel_shift=true"});
        QCOMPARE(Access::settingsInUse(w), after);
        QVERIFY(Access::meterOptions(w) == (MeterChoices{true, true, true, -30, 5})); // stored at exit
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.startsWith("[Desktop Entry]\n") &&
                     text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"),
                 qPrintable(text));

        wall->setSignalTimeoutMs(1500); // as the window offers it
        answer(true, false);
        QCOMPARE(offered, (QList<int>{1, 1, 1, 1, 0, 0, 0, 0, 1500}));
        QCOMPARE(Access::settingsInUse(w),
                 Access::with(after, {"signal_timeout_ms=900", "keep_screen_awake=true", "peak_hold=false",
                                      "over_indicator=false", "silence_alarm=false", "pixel_shift=false"}));
        QVERIFY(!QFile::exists(entry) && !Autostart::isEnabled());
    }

    // The pixel shift's path: from the centre a pixel a step, row by row through the reach's square and
    // back; the reach is 1/200 of the height, at least a pixel.
    void pixelShiftPath_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("step");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("the centre first") << 580 << 0 << QPoint(0, 0);
        QTest::newRow("along the middle row") << 580 << 2 << QPoint(2, 0);
        QTest::newRow("down at the row's end") << 580 << 3 << QPoint(2, 1);
        QTest::newRow("the last corner") << 580 << 12 << QPoint(2, 2);
        QTest::newRow("turned back") << 580 << 13 << QPoint(1, 2);
        QTest::newRow("the first corner") << 580 << 36 << QPoint(-2, -2);
        QTest::newRow("round again") << 580 << 48 << QPoint(0, 0);
        QTest::newRow("1080 lines reach 5, odd middle row backwards") << 1080 << 5 << QPoint(-5, 0);
        QTest::newRow("a pixel at least, last corner") << 100 << 4 << QPoint(1, 1);
    }
    void pixelShiftPath()
    {
        QFETCH(int, height);
        QFETCH(int, step);
        QFETCH(QPoint, offset);
        QCOMPARE(PixelShift::offset(step, PixelShift::reach(height)), offset);
    }

    // At every step of the path the whole picture is in the window, moved as a whole and nothing else.
    void pixelShiftKeepsThePictureWhole()
    {
        MainWindow w;
        w.resize(1200, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        WallDisplay *wall = Access::wall(w);
        DisplayOptions options = wall->options();
        options.pixelShift = true;
        wall->apply(options);
        const auto placed = [&] {
            w.repaint();
            QVector<QRect> rects;
            for (const QWidget *child : w.centralWidget()->findChildren<QWidget *>())
                if (child->isVisible())
                    rects << QRect(child->mapTo(&w, QPoint()), child->size());
            return rects;
        };
        const QVector<QRect> centred = placed();
        QCOMPARE(wall->pictureArea(w.size()), QRect(3, 3, 1194, 694)); // 700 lines reach 3
        for (int step = 1; step <= 2 * (7 * 7 - 1); ++step) {
            wall->shiftPicture();
            const QPoint moved = PixelShift::offset(step, 3);
            const QVector<QRect> now = placed();
            QCOMPARE(now.size(), centred.size());
            for (int i = 0; i < now.size(); ++i) {
                QCOMPARE(now[i], centred[i].translated(moved));
                QVERIFY2(w.rect().contains(now[i]), qPrintable(QString::number(step)));
            }
        }
    }

    // The screen a window's left edge lies on; a maximized frame starts a few pixels left of its screen.
    void screenIndex()
    {
        using ScreenPlacement::screenIndexAt;
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QCOMPARE(screenIndexAt(1919, false, two), 0);
        QCOMPARE(screenIndexAt(1912, true, two), 1);
        QCOMPARE(screenIndexAt(5000, false, two), 1);
        QCOMPARE(screenIndexAt(100, false, {}), 0);
    }

    void fittedGeometry_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QVector<QRect>>("screens");
        QTest::addColumn<int>("fallback");
        QTest::addColumn<QRect>("expected");
        const QVector<QRect> one = {QRect(0, 0, 1920, 1040)}; // task bar below
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QTest::newRow("fits") << QRect(100, 100, 986, 580) << one << 0 << QRect(100, 100, 986, 580);
        QTest::newRow("across two screens")
            << QRect(1500, 90, 986, 580) << two << 0 << QRect(1500, 90, 986, 580);
        QTest::newRow("far larger") << QRect(0, 0, 20000, 12000) << one << 0 << QRect(0, 0, 1920, 1040);
        QTest::newRow("wider, height kept")
            << QRect(30, 40, 3000, 700) << one << 0 << QRect(0, 40, 1920, 700);
        QTest::newRow("over the task bar")
            << QRect(200, 500, 986, 580) << one << 0 << QRect(200, 460, 986, 580);
        QTest::newRow("mostly on the second")
            << QRect(1800, -50, 3000, 900) << two << 0 << QRect(1920, 0, 1920, 900);
        QTest::newRow("off every screen")
            << QRect(-9000, 70000, 986, 580) << two << 1 << QRect(1920, 500, 986, 580);
        QTest::newRow("no screen") << QRect(5, 5, 20000, 12000) << QVector<QRect>{} << 0
                                   << QRect(5, 5, 20000, 12000);
    }
    void fittedGeometry()
    {
        QFETCH(QRect, window);
        QFETCH(QVector<QRect>, screens);
        QFETCH(int, fallback);
        QFETCH(QRect, expected);
        QCOMPARE(ScreenPlacement::fittedGeometry(window, screens, fallback), expected);
    }

    void usableGeometry()
    {
        using ScreenPlacement::isUsableGeometry;
        QWidget widget;
        widget.setGeometry(100, 120, 986, 580);
        const QByteArray complete = widget.saveGeometry();
        QVERIFY(isUsableGeometry(complete));
        for (int cut = 0; cut < complete.size(); ++cut)
            QVERIFY2(!isUsableGeometry(complete.left(cut)), qPrintable(QString::number(cut)));
        QByteArray wrongMagic = complete;
        wrongMagic[0] = 0x02;
        QVERIFY(!isUsableGeometry(wrongMagic));
        QByteArray newerFormat = complete;
        newerFormat[5] = 0x09; // a major version this program does not know
        QVERIFY(!isUsableGeometry(newerFormat));
        widget.move(2000000000, 0); // beyond any widget size
        QVERIFY(!isUsableGeometry(widget.saveGeometry()));
    }

private:
    QScopedPointer<TempSettings> settings;
    QScopedPointer<PrivateBus> bus;
};

QTEST_MAIN(TestWallDisplay)
#include "tst_walldisplay.moc"
