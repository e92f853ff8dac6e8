#include "mainwindowtestaccess.h"

#include "tempsettings.h"
#include "zelppmmeter.h"

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
    void init();
    void cleanup();
    void oneTick_data();
    void oneTick();
    void fallFromZeroToTheFloor();
    void repaintsOnlyWhenTheBarMoves();
    void tickSleepsWhileEverythingRests();
    void peakHold_data();
    void peakHold();
    void peakHoldRepaintsOnlyOnPixelChanges();

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

void TestRelease::init()
{
    settings.reset(new TempSettings);
    window.reset(new MainWindow);
    MainWindowTestAccess::releaseTimer(*window)->stop(); // the test ticks by hand
    progLeft = MainWindowTestAccess::ui(*window)->ProgLeft;
}

void TestRelease::cleanup()
{
    window.reset();
    settings.reset();
}

void TestRelease::oneTick_data()
{
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("expected");
    QTest::newRow("rise at once") << -50.0 << -10.0 << -10.0;
    QTest::newRow("fall by the step") << 0.0 << -50.0 << -0.133;
    QTest::newRow("fall smaller than the step") << -20.0 << -20.1 << -20.1;
    QTest::newRow("rest at the floor") << -50.0 << -50.0 << -50.0;
    QTest::newRow("below the floor rests") << -50.0 << -60.0 << -50.0;
    QTest::newRow("NaN is the floor and rests") << qQNaN() << -50.0 << -50.0;
}

void TestRelease::oneTick()
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

void TestRelease::fallFromZeroToTheFloor()
{
    auto &targets = MainWindowTestAccess::targetLevels(*window);
    targets[0] = 0.0;
    tick();
    QCOMPARE(progLeft->dBPosition(), 0.0);
    targets[0] = -50.0;
    tick(375);
    QVERIFY(progLeft->dBPosition() > -49.9);
    tick();
    QVERIFY(qAbs(progLeft->dBPosition() + 50.0) < 1e-5);
}

void TestRelease::repaintsOnlyWhenTheBarMoves()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    QTest::qWait(50);
    PaintCounter paints;
    progLeft->installEventFilter(&paints);
    tick(20); // resting at the floor
    QTest::qWait(50);
    QCOMPARE(paints.count, 0);

    MainWindowTestAccess::targetLevels(*window)[0] = 12.0; // above the +5 dB top
    tick();
    QTRY_COMPARE(paints.count, 1);
    QCOMPARE(progLeft->dBPosition(), 5.0);
    tick(20);
    QTest::qWait(50);
    QCOMPARE(paints.count, 1);
}

void TestRelease::tickSleepsWhileEverythingRests()
{
    QTimer *release = MainWindowTestAccess::releaseTimer(*window);
    release->start();
    tick();
    QVERIFY(!release->isActive());

    const QByteArray frame = LevelFrame::encodeLevels({-50.0, -50.0, -50.0, -50.0, -50.0, -20.0});
    MainWindowTestAccess::processFrame(*window, frame.constData());
    QVERIFY(release->isActive());
    QTRY_COMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -20.0);
    QCOMPARE(MainWindowTestAccess::ui(*window)->CrmLeft->dBPosition(), -50.0); // level 6 drives CrmRight only
    QTRY_VERIFY(!release->isActive()); // held at its target: nothing to do until the next frame

    // A link set-up drops the targets and wakes the tick; the meter falls back and it sleeps again.
    MainWindowTestAccess::setupLink(*window);
    for (double level : MainWindowTestAccess::targetLevels(*window))
        QCOMPARE(level, -50.0);
    QTRY_VERIFY_WITH_TIMEOUT(!release->isActive(), 10000);
    QCOMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -50.0);
}

// Targets with tick counts ("0x1 -50x199": 0 dB for one tick, then the floor for 199), the hold
// time, and then the mark, the bar, the over lamp and whether the release tick keeps running.
void TestRelease::peakHold_data()
{
    QTest::addColumn<QString>("targets");
    QTest::addColumn<int>("holdMs");
    QTest::addColumn<double>("mark");
    QTest::addColumn<double>("bar");
    QTest::addColumn<bool>("lit");
    QTest::addColumn<bool>("ticking");
    const double step = double(0.133f); // the bar's fall a tick
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
    QTest::newRow("both off") << "0x1 -20x400" << -1 << -50.0 << -20.0 << false << false;
}

void TestRelease::peakHold()
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

// The mark holds, then falls: the meter repaints for each pixel the bar or the mark moves, no more.
void TestRelease::peakHoldRepaintsOnlyOnPixelChanges()
{
    progLeft->setPeakHold(true);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    QTest::qWait(50);
    auto &targets = MainWindowTestAccess::targetLevels(*window);
    targets[0] = 0.0;
    tick();
    targets[0] = -10.0;
    PaintCounter paints;
    progLeft->installEventFilter(&paints);
    int changes = 0, quietTicks = 0;
    for (int i = 0; i < 400; ++i) {
        const std::pair<int, int> before(progLeft->barLength(), progLeft->markLength());
        tick();
        const bool changed = before != std::pair(progLeft->barLength(), progLeft->markLength());
        changes += changed;
        quietTicks += !changed;
        QCoreApplication::processEvents();
    }
    QCOMPARE(progLeft->peakState().markLevel(), -10.0);
    QCOMPARE(paints.count, changes);
    QVERIFY(quietTicks > 200); // holding, and both resting at -10 dB
}

QTEST_MAIN(TestRelease)
#include "tst_release.moc"
