// The real program's life as a user sees it: stopped by a signal and started again, and a serial
// device that goes away and comes back.
#include "displaymodel.h"
#include "systemharness.h"

#include <QtTest>

#include <cmath>

using namespace SystemHarness;
namespace DM = DisplayModel;

namespace {

constexpr int WindowTimeoutMs = 20000;
constexpr int SettleTimeoutMs = 10000;
// A sanity bound against a busy loop while the device is gone, not a figure of merit.
constexpr double MaxCpuShareWhileGone = 0.20;
constexpr int CpuWindowMs = 3000;
// From 0 dB to the floor at 13.3 dB a second takes 3.76 s.
constexpr int FallToFloorMs = 4500;
// The program looks for the device again once a second.
constexpr int ReturnTimeoutMs = 10000;

QString title(const QString &port)
{
    return QStringLiteral("Kolvane Meters - (%1)").arg(port);
}

QString checkMeters(const Shot &shot, double level)
{
    const DM::Scaling scaling = DM::scalingFor(shot.geometry.size());
    for (const auto &meter : DM::Meters) {
        const QRect rect = DM::formWidgetInWindow(meter.design, scaling);
        const DM::MeterReading reading = DM::readMeter(shot.image, rect);
        if (!reading.ok)
            return QStringLiteral("%1: %2").arg(QLatin1String(meter.name), reading.problem);
        const int expected = DM::barLength(rect.height(), level);
        if (std::abs(reading.barLength - expected) > 1) {
            return QStringLiteral("%1 shows a bar of %2 pixels, expected %3 for %4 dB")
                .arg(QLatin1String(meter.name))
                .arg(reading.barLength)
                .arg(expected)
                .arg(level);
        }
    }
    return QString();
}

const QStringList TwelveKeys{
    QStringLiteral("client_host"), QStringLiteral("client_port"), QStringLiteral("current_screen"),
    QStringLiteral("geometry"),    QStringLiteral("is_server"),   QStringLiteral("labelMeter1"),
    QStringLiteral("labelMeter2"), QStringLiteral("labelMeter3"), QStringLiteral("serialport"),
    QStringLiteral("server_host"), QStringLiteral("server_port"), QStringLiteral("use_udp")};

} // namespace

class TestSystemLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void terminateStoresSettingsAndRestartRestoresThem();
    void vanishedDeviceFallsStaysIdleAndReturns();

private:
    std::unique_ptr<XServer> x;
    QTemporaryDir work;
};

void TestSystemLifecycle::initTestCase()
{
    KOLVANE_REQUIRE(!findProgram(QStringLiteral("Xvfb")).isEmpty(), "Xvfb is not installed (Debian: xvfb)");
    KOLVANE_REQUIRE(QFileInfo(screenshotProgram()).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    QVERIFY2(QFileInfo(metersProgram()).isExecutable(), qPrintable(metersProgram()));
    QVERIFY2(QFileInfo(simulatorProgram()).isExecutable(), qPrintable(simulatorProgram()));
    QVERIFY(work.isValid());
    x = std::make_unique<XServer>();
    QString error;
    QVERIFY2(x->start(&error), qPrintable(error));
}

void TestSystemLifecycle::terminateStoresSettingsAndRestartRestoresThem()
{
    QString error;
    Simulator sim(work.path());
    QVERIFY2(sim.startOnOwnTerminal({QStringLiteral("--level=-50")}, &error), qPrintable(error));
    Meters meters(QStringLiteral("lifecycle"));
    meters.writeSettings({{QStringLiteral("serialport"), sim.terminal()}});
    const QString windowTitle = title(sim.terminal());
    const Screen screen(x->display());

    // First run: moved and resized as a user would, then stopped by SIGTERM.
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));
    QVERIFY2(screen.waitForWindow(windowTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + meters.log()));
    const QRect placed(30, 40, 1100, 650);
    const auto moved = screen.configure(
        windowTitle,
        {QStringLiteral("--move"), QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y()),
         QStringLiteral("--resize"), QStringLiteral("%1x%2").arg(placed.width()).arg(placed.height())},
        &error);
    QVERIFY2(moved, qPrintable(error));
    QCOMPARE(moved->geometry, placed);
    QString failure;
    const auto firstShot = screen.grabUntil(
        windowTitle, [](const Shot &s) { return checkMeters(s, -50.0); }, SettleTimeoutMs, &failure);
    QVERIFY2(firstShot && failure.isEmpty(), qPrintable(failure));
    const DM::Scaling scaling = DM::scalingFor(placed.size());
    const QRect defaultCaption = DM::whiteBox(firstShot->image, DM::scaled(DM::LabelMeter1, scaling));
    QVERIFY2(!defaultCaption.isEmpty(), "the first caption shows no text");

    KOLVANE_VERIFY_CLEAN_EXIT(meters);
    QCOMPARE(meters.storedKeys(), TwelveKeys);
    QVariantMap stored = meters.readSettings();
    QCOMPARE(stored.value(QStringLiteral("serialport")).toString(), sim.terminal());
    QCOMPARE(stored.value(QStringLiteral("use_udp")).toBool(), false);
    QCOMPARE(stored.value(QStringLiteral("is_server")).toBool(), false);
    QCOMPARE(stored.value(QStringLiteral("current_screen")).toInt(), 0);
    QCOMPARE(stored.value(QStringLiteral("labelMeter1")).toString(), QStringLiteral("Prog"));
    QCOMPARE(stored.value(QStringLiteral("labelMeter2")).toString(), QStringLiteral("Sub"));
    QCOMPARE(stored.value(QStringLiteral("labelMeter3")).toString(), QStringLiteral("CRM"));
    QVERIFY(!stored.value(QStringLiteral("geometry")).toByteArray().isEmpty());

    // Captions changed in the store, one of them emptied: the restart shows them, in the old place.
    const QString longCaption = QStringLiteral("Studio On Air");
    meters.writeSettings(
        {{QStringLiteral("labelMeter1"), longCaption}, {QStringLiteral("labelMeter2"), QString()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));
    const auto restored = screen.waitForWindow(windowTitle, WindowTimeoutMs, &error);
    QVERIFY2(restored, qPrintable(error + QLatin1Char('\n') + meters.log()));
    const auto secondShot = screen.grabUntil(
        windowTitle,
        [&](const Shot &s) {
            if (s.geometry != placed)
                return QStringLiteral("the window came back at %1,%2 %3x%4")
                    .arg(s.geometry.x())
                    .arg(s.geometry.y())
                    .arg(s.geometry.width())
                    .arg(s.geometry.height());
            const QRect first = DM::whiteBox(s.image, DM::scaled(DM::LabelMeter1, scaling));
            if (first.width() <= defaultCaption.width() + 10)
                return QStringLiteral("the first caption is not the longer stored one");
            if (!DM::whiteBox(s.image, DM::scaled(DM::LabelMeter2, scaling)).isEmpty())
                return QStringLiteral("the emptied second caption shows text");
            if (DM::whiteBox(s.image, DM::scaled(DM::LabelMeter3, scaling)).isEmpty())
                return QStringLiteral("the third caption shows no text");
            return checkMeters(s, -50.0);
        },
        SettleTimeoutMs, &failure);
    QVERIFY2(secondShot && failure.isEmpty(), qPrintable(failure));

    KOLVANE_VERIFY_CLEAN_EXIT(meters);
    stored = meters.readSettings();
    QCOMPARE(stored.value(QStringLiteral("labelMeter1")).toString(), longCaption);
    QCOMPARE(stored.value(QStringLiteral("labelMeter2")).toString(), QString());
    QCOMPARE(meters.storedKeys(), TwelveKeys);
}

void TestSystemLifecycle::vanishedDeviceFallsStaysIdleAndReturns()
{
    KOLVANE_REQUIRE(!findProgram(QStringLiteral("socat")).isEmpty(),
                    "socat is not installed (Debian: socat)");
    QString error;
    SerialPair device(work.path());
    QVERIFY2(device.start(&error), qPrintable(error));
    Meters meters(QStringLiteral("vanish"));
    meters.writeSettings({{QStringLiteral("serialport"), device.device()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));
    const Screen screen(x->display());
    const QString windowTitle = title(device.device());
    QVERIFY2(screen.waitForWindow(windowTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + meters.log()));

    QString failure;
    {
        Simulator sim(work.path());
        QVERIFY2(sim.startOnPort(device.feed(), {QStringLiteral("--level=0")}, &error), qPrintable(error));
        screen.grabUntil(
            windowTitle, [](const Shot &s) { return checkMeters(s, 0.0); }, SettleTimeoutMs, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure + QLatin1Char('\n') + meters.log()));
        // The adapter is pulled out while the console still sends.
        device.stop();
    }

    QTest::qWait(500);
    const double cpuBefore = cpuSeconds(meters.pid());
    QTest::qWait(CpuWindowMs);
    const double cpuAfter = cpuSeconds(meters.pid());
    QVERIFY(cpuBefore >= 0 && cpuAfter >= 0);
    const double share = (cpuAfter - cpuBefore) / (CpuWindowMs / 1000.0);
    qInfo("CPU while the device is gone: %.1f %% of one core", share * 100.0);
    QVERIFY2(share < MaxCpuShareWhileGone,
             qPrintable(QStringLiteral("%1 % of a core while the device is gone").arg(share * 100.0)));
    QVERIFY2(meters.isRunning(), qPrintable(meters.log()));

    QTest::qWait(qMax(0, FallToFloorMs - CpuWindowMs - 500));
    screen.grabUntil(
        windowTitle,
        [&](const Shot &s) {
            if (s.title != windowTitle)
                return QStringLiteral("the title became \"%1\"").arg(s.title);
            return checkMeters(s, -50.0);
        },
        SettleTimeoutMs, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure + QLatin1Char('\n') + meters.log()));

    // The device returns under the same name, on a new terminal; frames show again by themselves.
    QVERIFY2(device.start(&error), qPrintable(error));
    Simulator again(work.path());
    QVERIFY2(again.startOnPort(device.feed(), {QStringLiteral("--level=-20")}, &error), qPrintable(error));
    screen.grabUntil(
        windowTitle, [](const Shot &s) { return checkMeters(s, -20.0); }, ReturnTimeoutMs, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure + QLatin1Char('\n') + meters.log()));
    KOLVANE_VERIFY_CLEAN_EXIT(meters);
}

QTEST_GUILESS_MAIN(TestSystemLifecycle)
#include "tst_lifecycle.moc"
