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
using Fitted = std::tuple<QRect, QVector<QRect>, int, QRect>;
Q_DECLARE_METATYPE(Fitted)

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

    // Without a manager the state is not Qt's: the window only covers the screen, and goes back. (Under a
    // manager, and the keys on a real X server: the system test.)
    void fullScreenByKeysAndClicks()
    {
        Kiosk::setManagerProbe([] { return false; });
        MainWindow w;
        w.move(40, 30);
        QVERIFY(Access::shown(w));
        const QRect normal = w.geometry(), screen = w.screen()->geometry();
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
            // Stored at once, with every other key: a display that loses power comes back as it was left.
            QVERIFY(action->isChecked() == on && !w.isFullScreen() &&
                    settings->value("full_screen").toBool() == on &&
                    settings->keys().contains("labelMeter3"));
            QTRY_COMPARE(w.geometry(),
                         on ? QRect(screen.topLeft(), screen.size().expandedTo(w.minimumSize())) : normal);
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
        QVERIFY(again.geometry() == QRect(10, 0, 400, 300) &&
                !next.isFullScreen()); // the stored option decides
    }

    void pointerHidesAndReturns()
    {
        constexpr int ShortDelayMs = 50;
        QWidget window;
        CursorHider hider(&window);
        QVERIFY(Access::shown(window));
        QVERIFY(!hider.isHidden()); // 0: never
        hider.setDelayMs(ShortDelayMs);
        QTRY_VERIFY(hider.isHidden() && window.cursor().shape() == Qt::BlankCursor);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QVERIFY(!hider.isHidden() && window.cursor().shape() == Qt::ArrowCursor);
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

    // The menu, its shortcuts and its dialogs. In the display options Cancel changes nothing; OK applies
    // everything at once. The alarm's rows follow its check box, the dialog offers what the window uses,
    // the autostart entry comes and goes with its box, and the screen saver service is held from the
    // start, let go of and taken again (at exit: the system test).
    void menuAndDisplayOptions()
    {
        const int calls = bus->calls().size();
        MainWindow w;
        QVERIFY(Access::shown(w));
        WallDisplay *wall = Access::wall(w);
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
            dialog->accept();
        };
        // OK stores at once and sets the link up anew, the meters from the floor.
        Access::targetLevels(w).fill(-3.0);
        Access::onNextDialog(close);
        wall->menu()->communicationSettings->trigger();
        QCOMPARE(shown + settings->value("use_udp").toString(), "Communication Interfacefalse");
        QCOMPARE(Access::targetLevels(w)[5], -50.0);
        Access::onNextDialog(close);
        wall->menu()->about->trigger();
        QVERIFY(shown.startsWith("About Kolvane Meters|") && shown.contains("1.9") &&
                shown.contains(qVersion()) && shown.contains(QSettings().fileName()));

        QCOMPARE(wall->screenAwake()->hold(), ScreenAwake::Hold::ScreenSaverService);
        QTRY_COMPARE(bus->calls().size(), calls + 1);
        const QString cookie = bus->calls().last().section(' ', -1);
        const QString entry = settings->path() + "/autostart/kolvane-meters.desktop";
        QCOMPARE(Autostart::location(), entry);
        QList<int> offered; // the rows' states as the dialog opens and after the alarm's box; the timeout
        const auto answer = [&](bool ok, bool on) {
            offered.clear();
            Access::onNextDialog([&, ok, on](QDialog *dialog) {
                const auto rows = [&] {
                    for (const char *name : {"label_silencethreshold", "spinBox_silencethreshold",
                                             "label_silencedelay", "spinBox_silencedelay"})
                        offered << dialog->findChild<QWidget *>(name)->isEnabled();
                };
                rows();
                for (const char *name : {"checkBox_autostart", "checkBox_peakhold", "checkBox_over",
                                         "checkBox_silencealarm", "checkBox_pixelshift"})
                    dialog->findChild<QCheckBox *>(name)->setChecked(on);
                dialog->findChild<QCheckBox *>("checkBox_keepawake")->setChecked(!on);
                rows();
                auto *timeout = dialog->findChild<QSpinBox *>("spinBox_signaltimeout");
                offered << (timeout->isHidden() ? -1 : timeout->value());
                timeout->setValue(on ? 800 : 900);
                dialog->findChild<QSpinBox *>("spinBox_hidecursor")->setValue(0);
                dialog->findChild<QDoubleSpinBox *>("spinBox_silencethreshold")->setValue(-30);
                dialog->findChild<QSpinBox *>("spinBox_silencedelay")->setValue(5);
                QTest::mouseClick(
                    dialog->findChild<QPushButton *>(ok ? "pushButton_ok" : "pushButton_cancel"),
                    Qt::LeftButton);
            });
            wall->menu()->displayOptions->trigger();
        };
        const QStringList before = Access::settingsInUse(w);
        answer(false, true);
        QCOMPARE(offered, (QList<int>{0, 0, 0, 0, 1, 1, 1, 1, 2000}));
        QVERIFY(Access::settingsInUse(w) == before && !QFile::exists(entry));

        answer(true, true);
        const QStringList after =
            Access::with(before, {"signal_timeout_ms=800", "hide_cursor_s=0", "keep_screen_awake=false",
                                  "peak_hold=true", "over_indicator=true", "silence_alarm=true",
                                  "silence_threshold_db=-30", "silence_delay_s=5", "pixel_shift=true"});
        QCOMPARE(Access::settingsInUse(w), after);
        QVERIFY(settings->value("peak_hold").toBool() && settings->keys().contains("geometry")); // at once
        QVERIFY(Access::meterOptions(w) == (MeterChoices{true, true, true, -30, 5})); // stored at exit
        QTRY_COMPARE(bus->calls().mid(calls).join(", "),
                     "Inhibit Kolvane Meters " + cookie + ", UnInhibit " + cookie);
        QFile file(entry);
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        QVERIFY(text.startsWith("[Desktop Entry]\n") &&
                text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"));

        wall->setSignalTimeoutMs(1500); // as the window offers it
        answer(true, false);
        QCOMPARE(offered, (QList<int>{1, 1, 1, 1, 0, 0, 0, 0, 1500}));
        QCOMPARE(Access::settingsInUse(w),
                 Access::with(after, {"signal_timeout_ms=900", "keep_screen_awake=true", "peak_hold=false",
                                      "over_indicator=false", "silence_alarm=false", "pixel_shift=false"}));
        QVERIFY(!QFile::exists(entry) && !Autostart::isEnabled());
        QTRY_COMPARE(bus->calls().size(), calls + 3);
        QVERIFY(bus->calls().last().startsWith("Inhibit Kolvane Meters "));

        QApplication::setActiveWindow(&w); // the dialogs took it
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!w.isVisible()); // closed as by the window's own close button
    }

    // The pixel shift's path: from the centre a pixel a step, row by row through the square within its
    // reach (1/200 of the height, at least a pixel), every other row backwards, and back again.
    void pixelShiftPath_data()
    {
        QTest::addColumn<QVector<int>>("path"); // window height, step, offset x and y
        QTest::newRow("down at the row's end") << QVector<int>{580, 3, 2, 1};
        QTest::newRow("the last corner") << QVector<int>{580, 12, 2, 2};
        QTest::newRow("turned back") << QVector<int>{580, 13, 1, 2};
        QTest::newRow("the first corner") << QVector<int>{580, 36, -2, -2};
        QTest::newRow("round again") << QVector<int>{580, 48, 0, 0};
        QTest::newRow("1080 lines reach 5") << QVector<int>{1080, 5, -5, 0};
        QTest::newRow("a pixel at least") << QVector<int>{100, 4, 1, 1};
    }
    void pixelShiftPath()
    {
        QFETCH(QVector<int>, path);
        QCOMPARE(PixelShift::offset(path[1], PixelShift::reach(path[0])), QPoint(path[2], path[3]));
    }
    // At every step of a whole round the picture moves as a whole, and all of it, background and widgets,
    // stays in the window.
    void pixelShiftKeepsThePictureWhole()
    {
        settings->write({{"pixel_shift", true}});
        MainWindow w;
        w.resize(1200, 700); // a reach of 3
        QVERIFY(Access::shown(w));
        const auto placed = [&](const QPoint &by) { // where the widgets are, less the shift; none if cut off
            w.repaint();
            QVector<QRect> rects;
            for (const QWidget *child : w.centralWidget()->findChildren<QWidget *>()) {
                const QRect at(child->mapTo(&w, QPoint()), child->size());
                if (child->isVisible())
                    rects << (w.rect().contains(at) ? at.translated(-by) : QRect());
            }
            return rects;
        };
        const QVector<QRect> centred = placed({});
        QVERIFY(centred.size() > 10 && !centred.contains(QRect()));
        for (int step = 1; step <= 2 * (7 * 7 - 1); ++step) {
            Access::wall(w)->shiftPicture();
            QVERIFY2(placed(PixelShift::offset(step, 3)) == centred &&
                         w.rect().contains(Access::wall(w)->pictureArea(w.size())),
                     qPrintable(QString::number(step)));
        }
    }

    void fittedGeometry_data()
    {
        // The window, the screens, the fallback screen, the geometry fitted.
        QTest::addColumn<Fitted>("fitted");
        const QVector<QRect> one = {QRect(0, 0, 1920, 1040)}; // task bar below
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QTest::newRow("fits") << Fitted{{100, 100, 986, 580}, one, 0, {100, 100, 986, 580}};
        QTest::newRow("across two screens") << Fitted{{1500, 90, 986, 580}, two, 0, {1500, 90, 986, 580}};
        QTest::newRow("far larger") << Fitted{{0, 0, 20000, 12000}, one, 0, {0, 0, 1920, 1040}};
        QTest::newRow("wider, height kept") << Fitted{{30, 40, 3000, 700}, one, 0, {0, 40, 1920, 700}};
        QTest::newRow("over the task bar") << Fitted{{200, 500, 986, 580}, one, 0, {200, 460, 986, 580}};
        QTest::newRow("mostly on the second") << Fitted{{1800, -50, 3000, 900}, two, 0, {1920, 0, 1920, 900}};
        QTest::newRow("off every screen") << Fitted{{-9000, 70000, 986, 580}, two, 1, {1920, 500, 986, 580}};
        QTest::newRow("no screen") << Fitted{{5, 5, 20000, 12000}, {}, 0, {5, 5, 20000, 12000}};
    }
    void fittedGeometry()
    {
        QFETCH(Fitted, fitted);
        const auto &[window, screens, fallback, expected] = fitted;
        QCOMPARE(ScreenPlacement::fittedGeometry(window, screens, fallback), expected);
    }

    // A stored geometry is used only when whole, of a known format and within widget sizes. The screen a
    // window's left edge lies on; a maximized frame starts a few pixels left of its screen.
    void usableGeometryAndScreen()
    {
        using ScreenPlacement::isUsableGeometry;
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QVERIFY(ScreenPlacement::screenIndexAt(1919, false, two) == 0 &&
                ScreenPlacement::screenIndexAt(1912, true, two) == 1 &&
                ScreenPlacement::screenIndexAt(5000, false, two) == 1 &&
                ScreenPlacement::screenIndexAt(100, false, {}) == 0);
        QWidget widget;
        widget.setGeometry(100, 120, 986, 580);
        const QByteArray complete = widget.saveGeometry();
        QVERIFY(isUsableGeometry(complete));
        for (int cut = 0; cut < complete.size(); ++cut)
            QVERIFY(!isUsableGeometry(complete.left(cut)));
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
