#include "mainwindowtestaccess.h"

#include "tempsettings.h"
#include "zelppmmeter.h"

#include <QBackingStore>
#include <QtTest>

namespace {

struct PaintCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestRelease : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        settings.reset(new TempSettings);
        window.reset(new MainWindow);
        MainWindowTestAccess::releaseTimer(*window)->stop(); // the test ticks by hand
        progLeft = MainWindowTestAccess::ui(*window)->ProgLeft;
    }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    void oneTick_data()
    {
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("expected");
        QTest::newRow("rise at once") << -50.0 << -10.0 << -10.0;
        QTest::newRow("fall by the step") << 0.0 << -50.0 << -0.133;
        QTest::newRow("fall smaller than the step") << -20.0 << -20.1 << -20.1;
        QTest::newRow("below the floor rests") << -50.0 << -60.0 << -50.0;
        QTest::newRow("NaN is the floor and rests") << qQNaN() << -50.0 << -50.0;
    }
    void oneTick()
    {
        QFETCH(double, current);
        QFETCH(double, target);
        QFETCH(double, expected);
        progLeft->setRawdBPosition(current);
        MainWindowTestAccess::targetLevels(*window)[0] = target;
        tick();
        QVERIFY2(qAbs(progLeft->dBPosition() - expected) < 1e-5,
                 qPrintable(QString::number(progLeft->dBPosition())));
    }

    void tickSleepsWhileEverythingRests()
    {
        QTimer *release = MainWindowTestAccess::releaseTimer(*window);
        release->start();
        tick();
        QVERIFY(!release->isActive());

        const QByteArray frame = LevelFrame::encodeLevels({-50.0, -50.0, -50.0, -50.0, -50.0, -20.0});
        MainWindowTestAccess::processFrame(*window, frame.constData());
        QVERIFY(release->isActive());
        QTRY_COMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -20.0);
        QCOMPARE(MainWindowTestAccess::ui(*window)->CrmLeft->dBPosition(),
                 -50.0);                   // level 6 drives CrmRight only
        QTRY_VERIFY(!release->isActive()); // held at its target: nothing to do until the next frame

        // A link set-up drops the targets and wakes the tick; the meter falls back and it sleeps again.
        MainWindowTestAccess::setupLink(*window);
        for (double level : MainWindowTestAccess::targetLevels(*window))
            QCOMPARE(level, -50.0);
        QTRY_VERIFY_WITH_TIMEOUT(!release->isActive(), 10000);
        QCOMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -50.0);
    }

    // Targets with tick counts ("0x1 -50x199": 0 dB for one tick, then the floor for 199), the hold
    // time (-1: hold and over lamp off), and then the mark, the bar, the over lamp and whether the
    // release tick keeps running.
    void peakHold_data()
    {
        QTest::addColumn<QString>("targets");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<double>("mark");
        QTest::addColumn<double>("bar");
        QTest::addColumn<bool>("lit");
        QTest::addColumn<bool>("ticking");
        const double step = double(0.133f); // the bar's fall a tick
        QTest::newRow("off: a tick short of the floor")
            << "0x1 -50x375" << -1 << -50.0 << -375 * step << false << true;
        QTest::newRow("off: at the floor, resting")
            << "0x1 -50x380" << -1 << -50.0 << -50.0 << false << false;
        QTest::newRow("off: resting on a level") << "0x1 -20x400" << -1 << -50.0 << -20.0 << false << false;
        QTest::newRow("rise") << "-10x2" << 2000 << -10.0 << -10.0 << false << false;
        QTest::newRow("hold") << "0x1 -50x199" << 2000 << 0.0 << -199 * step << false << true;
        QTest::newRow("fall at 13.3 dB/s") << "0x1 -50x299" << 2000 << -13.3 << -299 * step << false << true;
        QTest::newRow("meeting the bar") << "0x1 -20x400" << 2000 << -20.0 << -20.0 << false << false;
        QTest::newRow("higher peak restarts the hold")
            << "0x1 -50x100 3x1 -50x199" << 2000 << 3.0 << 3 - 199 * step << false << true;
        QTest::newRow("lower peak leaves the hold running")
            << "0x1 -50x100 -5x1 -50x99" << 2000 << -0.133 << -5 - 99 * step << false << true;
        QTest::newRow("hold time 0: the mark rides the bar")
            << "0x1 -50x100" << 0 << -13.3 << -100 * step << false << true;
        QTest::newRow("over: lit for 2 s") << "12x1 -50x199" << 2000 << 5.0 << 5 - 199 * step << true << true;
        QTest::newRow("over: out after 2 s")
            << "12x1 -50x200" << 2000 << 4.867 << 5 - 200 * step << false << true;
        QTest::newRow("over: a steady over keeps the tick") << "12x300" << 2000 << 5.0 << 5.0 << true << true;
    }

    void peakHold()
    {
        QFETCH(QString, targets);
        QFETCH(int, holdMs);
        QFETCH(double, mark);
        QFETCH(double, bar);
        QFETCH(bool, lit);
        QFETCH(bool, ticking);
        const bool on = holdMs >= 0;
        progLeft->setPeakHold(on);
        progLeft->setOverIndicator(on);
        progLeft->setPeakHoldTime(holdMs);
        QTimer *release = MainWindowTestAccess::releaseTimer(*window);
        for (const QString &part : targets.split(' ')) {
            MainWindowTestAccess::targetLevels(*window)[0] = part.section('x', 0, 0).toDouble();
            const int ticks = part.section('x', 1).toInt();
            tick(ticks - 1);
            release->start(); // the last tick decides whether it runs on
            tick();
        }
        const auto near = [](double a, double b) { return qAbs(a - b) < 1e-3; };
        QVERIFY2(near(progLeft->dBPosition(), bar), qPrintable(QString::number(progLeft->dBPosition())));
        if (on)
            QVERIFY2(near(progLeft->peakState().markLevel(), mark),
                     qPrintable(QString::number(progLeft->peakState().markLevel())));
        QCOMPARE(progLeft->markLength() > 0, on);
        QCOMPARE(progLeft->overLit(), lit);
        QCOMPARE(release->isActive(), ticking);
    }

    void repaintsOnlyOnPixelChanges_data()
    {
        QTest::addColumn<bool>("peakHold");
        QTest::newRow("bar alone") << false;
        QTest::newRow("bar and peak mark") << true;
    }
    // Resting, clipped at the +5 dB top, falling, and (with the mark) holding then falling: the meter
    // repaints for each pixel the bar or the mark moves, no more.
    void repaintsOnlyOnPixelChanges()
    {
        QFETCH(bool, peakHold);
        progLeft->setPeakHold(peakHold);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        QTest::qWait(50);
        PaintCounter paints;
        progLeft->installEventFilter(&paints);
        int changes = 0, quietTicks = 0;
        for (const auto &[target, ticks] : {std::pair(-50.0, 20), {12.0, 1}, {-10.0, 400}}) {
            MainWindowTestAccess::targetLevels(*window)[0] = target;
            for (int i = 0; i < ticks; ++i) {
                const std::pair<int, int> before(progLeft->barLength(), progLeft->markLength());
                tick();
                const bool changed = before != std::pair(progLeft->barLength(), progLeft->markLength());
                changes += changed;
                quietTicks += !changed;
                QCoreApplication::processEvents();
            }
            if (target > 5.0)
                QCOMPARE(progLeft->dBPosition(), 5.0);
        }
        QCOMPARE(progLeft->dBPosition(), -10.0);
        // Falls may be repainted together, at the screen's pace; never a paint without a change.
        QVERIFY2(paints.count > 0 && paints.count <= changes,
                 qPrintable(QString("%1 paints, %2 changes").arg(paints.count).arg(changes)));
        QVERIFY(changes > 0 && quietTicks > 150);
    }

    // Falls may wait for the next frame, but whenever the window paints, for the release or for
    // anything else, the meters (bars and peak marks) show where the release has put them.
    void everyFrameShowsTheReleasedBars()
    {
        const QList<ZelPPMMeter *> meters = window->findChildren<ZelPPMMeter *>();
        for (ZelPPMMeter *meter : meters)
            meter->setPeakHold(true);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        auto &targets = MainWindowTestAccess::targetLevels(*window);
        targets.fill(4.0);
        tick();
        targets.fill(-50.0);
        QWidget *clock = MainWindowTestAccess::ui(*window)->AnalogClock;
        PaintCounter clockPaints;
        clock->installEventFilter(&clockPaints);
        for (int step = 0; step < 700; ++step) {
            tick();
            if (step % 7 == 0 && step < 600)
                clock->update(); // a repaint for another reason
            const int clockPaintsBefore = clockPaints.count;
            QCoreApplication::processEvents();
            if (clockPaints.count == clockPaintsBefore && step < 699)
                continue;
            const auto screen = dynamic_cast<const QImage *>(window->backingStore()->paintDevice());
            QVERIFY(screen);
            for (ZelPPMMeter *meter : meters) {
                // What the frame shows, against a whole repaint in the same place.
                const QRect area(meter->mapTo(window.data(), QPoint()) * screen->devicePixelRatio(),
                                 meter->size() * screen->devicePixelRatio());
                const QImage shown = screen->copy(area);
                meter->repaint();
                QVERIFY2(screen->copy(area) == shown,
                         qPrintable(QString("step %1, %2").arg(step).arg(meter->objectName())));
            }
        }
        QCOMPARE(progLeft->dBPosition(), -50.0);
        QCOMPARE(progLeft->markLength(), 0);
    }

private:
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            MainWindowTestAccess::meterRelease(*window);
    }

    QScopedPointer<TempSettings> settings;
    QScopedPointer<MainWindow> window;
    ZelPPMMeter *progLeft = nullptr;
};

QTEST_MAIN(TestRelease)
#include "tst_release.moc"
