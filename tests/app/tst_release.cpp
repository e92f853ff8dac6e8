#include "mainwindowtestaccess.h"

#include "tempsettings.h"
#include "zelppmmeter.h"

#include <QtTest>

namespace {

class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
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
    void restingMeterIsLeftAlone();
    void clampedTargetRepaintsOnce();
    void eachTargetDrivesItsMeter();
    void linkSetUpResetsTargets();
    void tickSleepsWhileEverythingRests();

private:
    TempSettings *temp = nullptr;
    MainWindow *window = nullptr;
    ZelPPMMeter *progLeft = nullptr;
    double *target = nullptr;
};

void TestRelease::init()
{
    temp = new TempSettings;
    window = new MainWindow;
    // The test ticks by hand.
    MainWindowTestAccess::releaseTimer(*window)->stop();
    progLeft = MainWindowTestAccess::ui(*window)->ProgLeft;
    target = &MainWindowTestAccess::targetLevels(*window)[0];
}

void TestRelease::cleanup()
{
    delete window;
    window = nullptr;
    delete temp;
    temp = nullptr;
}

void TestRelease::oneTick_data()
{
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("targetLevel");
    QTest::addColumn<double>("expected");
    QTest::newRow("rise at once") << -50.0 << -10.0 << -10.0;
    QTest::newRow("fall by the step") << 0.0 << -50.0 << -0.133;
    QTest::newRow("fall smaller than the step") << -20.0 << -20.1 << -20.1;
    QTest::newRow("rest at the floor") << -50.0 << -50.0 << -50.0;
    QTest::newRow("below the floor rests") << -50.0 << -60.0 << -50.0;
    QTest::newRow("same level") << -12.5 << -12.5 << -12.5;
}

void TestRelease::oneTick()
{
    QFETCH(double, current);
    QFETCH(double, targetLevel);
    QFETCH(double, expected);
    progLeft->setRawdBPosition(current);
    progLeft->calcPosition();
    *target = targetLevel;
    MainWindowTestAccess::meterRelease(*window);
    QVERIFY2(qAbs(progLeft->dBPosition() - expected) < 1e-5,
             qPrintable(QString::number(progLeft->dBPosition(), 'f', 7)));
}

void TestRelease::fallFromZeroToTheFloor()
{
    *target = 0.0;
    MainWindowTestAccess::meterRelease(*window);
    QCOMPARE(progLeft->dBPosition(), 0.0);
    *target = -50.0;
    for (int tick = 0; tick < 375; ++tick)
        MainWindowTestAccess::meterRelease(*window);
    QVERIFY(progLeft->dBPosition() > -49.9);
    MainWindowTestAccess::meterRelease(*window);
    QVERIFY(qAbs(progLeft->dBPosition() + 50.0) < 1e-5);
    MainWindowTestAccess::meterRelease(*window);
    QVERIFY(qAbs(progLeft->dBPosition() + 50.0) < 1e-5);
}

void TestRelease::restingMeterIsLeftAlone()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);
    PaintCounter paints;
    progLeft->installEventFilter(&paints);
    for (int tick = 0; tick < 20; ++tick)
        MainWindowTestAccess::meterRelease(*window);
    QTest::qWait(50);
    QCOMPARE(paints.count, 0);
    QCOMPARE(progLeft->dBPosition(), -50.0);
}

void TestRelease::clampedTargetRepaintsOnce()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);
    PaintCounter paints;
    progLeft->installEventFilter(&paints);
    *target = 12.0; // above the meter's +5 dB top
    MainWindowTestAccess::meterRelease(*window);
    QTRY_COMPARE(paints.count, 1);
    QCOMPARE(progLeft->dBPosition(), 5.0);
    for (int tick = 0; tick < 20; ++tick)
        MainWindowTestAccess::meterRelease(*window);
    QTest::qWait(50);
    QCOMPARE(paints.count, 1);
}

void TestRelease::eachTargetDrivesItsMeter()
{
    Ui::MainWindow *ui = MainWindowTestAccess::ui(*window);
    ZelPPMMeter *const meters[] = {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight};
    auto &targets = MainWindowTestAccess::targetLevels(*window);
    for (int i = 0; i < 6; ++i)
        targets[size_t(i)] = -40.0 + 5 * i;
    MainWindowTestAccess::meterRelease(*window);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(meters[i]->dBPosition(), -40.0 + 5 * i);
}

void TestRelease::linkSetUpResetsTargets()
{
    MainWindowTestAccess::targetLevels(*window).fill(-3.0);
    MainWindowTestAccess::setupLink(*window);
    for (double level : MainWindowTestAccess::targetLevels(*window))
        QCOMPARE(level, -50.0);
}

void TestRelease::tickSleepsWhileEverythingRests()
{
    QTimer *release = MainWindowTestAccess::releaseTimer(*window);
    release->start();
    MainWindowTestAccess::meterRelease(*window);
    QVERIFY(!release->isActive());

    const QByteArray frame = LevelFrame::encodeLevels({-50.0, -50.0, -50.0, -50.0, -50.0, -20.0});
    MainWindowTestAccess::processFrame(*window, frame.constData());
    QVERIFY(release->isActive());
    QTRY_COMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -20.0);

    // Once the meter has fallen back to the floor the tick sleeps again.
    MainWindowTestAccess::resetLevels(*window);
    QTRY_VERIFY_WITH_TIMEOUT(!release->isActive(), 10000);
    QCOMPARE(MainWindowTestAccess::ui(*window)->CrmRight->dBPosition(), -50.0);
}

QTEST_MAIN(TestRelease)
#include "tst_release.moc"
