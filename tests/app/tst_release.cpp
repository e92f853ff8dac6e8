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
    void init();
    void cleanup();
    void oneTick_data();
    void oneTick();
    void fallFromZeroToTheFloor();
    void repaintsOnlyWhenTheBarMoves();
    void everyFrameShowsTheReleasedBars();
    void tickSleepsWhileEverythingRests();

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

// Falls may wait for the next frame, but whenever the window paints, for the release or for
// anything else, the meters show where the release has put them.
void TestRelease::everyFrameShowsTheReleasedBars()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    auto &targets = MainWindowTestAccess::targetLevels(*window);
    targets.fill(4.0);
    tick();
    targets.fill(-50.0);
    const QList<ZelPPMMeter *> meters = window->findChildren<ZelPPMMeter *>();
    QWidget *clock = MainWindowTestAccess::ui(*window)->AnalogClock;
    PaintCounter clockPaints;
    clock->installEventFilter(&clockPaints);
    for (int step = 0; step < 420; ++step) {
        tick();
        if (step % 7 == 0 && step < 350)
            clock->update(); // a repaint for another reason
        const int clockPaintsBefore = clockPaints.count;
        QCoreApplication::processEvents();
        if (clockPaints.count == clockPaintsBefore && step < 419)
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

QTEST_MAIN(TestRelease)
#include "tst_release.moc"
