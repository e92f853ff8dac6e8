#include "silencealarm.h"

#include <QtTest>

// Events "<ms><kind>" and the alarm after each: q both quiet (-50 dB), h one side loud (-50, -10),
// e one side at the threshold (-40, -50), m both at -30, L both loud (-10), x signal lost, b signal back,
// c time passes without a frame.
class TestSilenceAlarm : public QObject
{
    Q_OBJECT

private slots:
    void events_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("states");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<qint64>("delay");
        QTest::addColumn<qint64>("deadline"); // after the last event
        const qint64 none = SilenceAlarm::NoDeadline;
        QTest::newRow("fires after the delay") << "0q 5000q 9999q 10000q"
                                               << "0001" << -40.0 << 10000ll << none;
        QTest::newRow("quiet counts from the first frame") << "3000q 12999q 13000q"
                                                           << "001" << -40.0 << 10000ll << none;
        QTest::newRow("one loud side restarts the count") << "0q 5000h 9000q 18999q 19000q"
                                                          << "00001" << -40.0 << 10000ll << none;
        QTest::newRow("at the threshold is not quiet") << "0e 20000e"
                                                       << "00" << -40.0 << 10000ll << none;
        QTest::newRow("threshold -20: -30 is quiet") << "0m 1000m"
                                                     << "01" << -20.0 << 1000ll << none;
        QTest::newRow("recovery: 2 s of level") << "0q 10000q 11000L 12999L 13000L"
                                                << "01110" << -40.0 << 10000ll << none;
        QTest::newRow("a quiet frame restarts the recovery") << "0q 10000q 11000L 12000q 13000L 14999L 15000L"
                                                             << "0111110" << -40.0 << 10000ll << none;
        QTest::newRow("cleared: a full delay again") << "0q 10000q 11000L 13000L 14000q 23999q 24000q"
                                                     << "0110001" << -40.0 << 10000ll << none;
        QTest::newRow("lost signal clears and holds it off")
            << "0q 10000q 11000x 11000q 30000c 31000b 31000q 40999q 41000q"
            << "010000001" << -40.0 << 10000ll << none;
        QTest::newRow("fires and clears without frames") << "0q 9999c 10000c 11000L 12999c 13000c"
                                                         << "001110" << -40.0 << 10000ll << none;
        QTest::newRow("waiting: the deadline") << "0q 4000q"
                                               << "00" << -40.0 << 10000ll << 10000ll;
        QTest::newRow("recovering: the deadline") << "0q 10000q 11000L 11500L"
                                                  << "0111" << -40.0 << 10000ll << 13000ll;
    }
    void events()
    {
        QFETCH(QString, events);
        QFETCH(QString, states);
        QFETCH(double, threshold);
        QFETCH(qint64, delay);
        QFETCH(qint64, deadline);
        SilenceAlarm alarm(0);
        alarm.setThresholdDb(threshold);
        alarm.setDelayMs(delay);
        QString seen;
        for (const QString &event : events.split(' ')) {
            const qint64 at = event.chopped(1).toLongLong();
            const bool before = alarm.isOn();
            bool changed = false;
            switch (event.back().toLatin1()) {
            case 'q':
                changed = alarm.frame(at, -50, -50);
                break;
            case 'h':
                changed = alarm.frame(at, -50, -10);
                break;
            case 'e':
                changed = alarm.frame(at, -40, -50);
                break;
            case 'm':
                changed = alarm.frame(at, -30, -30);
                break;
            case 'L':
                changed = alarm.frame(at, -10, -10);
                break;
            case 'x':
                changed = alarm.setSignalPresent(at, false);
                break;
            case 'b':
                changed = alarm.setSignalPresent(at, true);
                break;
            default:
                changed = alarm.check(at);
            }
            QVERIFY2(changed == (before != alarm.isOn()), qPrintable(event));
            seen += alarm.isOn() ? '1' : '0';
        }
        QCOMPARE(seen, states);
        QCOMPARE(alarm.nextDeadlineMs(), deadline);
    }

    // Nothing fires within the first delay after start, however long the quiet before.
    void startUp()
    {
        SilenceAlarm alarm(5000);
        QVERIFY(!alarm.frame(0, -50, -50));
        QCOMPARE(alarm.nextDeadlineMs(), 15000);
        QVERIFY(!alarm.check(14999));
        QVERIFY(alarm.check(15000));
        alarm.restart(20000);
        QVERIFY(!alarm.isOn());
        QVERIFY(!alarm.frame(20000, -50, -50) && !alarm.check(29999) && alarm.check(30000));
    }
};

QTEST_GUILESS_MAIN(TestSilenceAlarm)
#include "tst_silencealarm.moc"
