#include "mainwindowtestaccess.h"

#include "displaymenu.h"
#include "tempsettings.h"
#include "walldisplay.h"
#include "zelppmmeter.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QString described(const MeterOptions &o)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(o.peakHold)
        .arg(o.overIndicator)
        .arg(o.silenceAlarm)
        .arg(o.silenceThresholdDb)
        .arg(o.silenceDelayS);
}

QList<ZelPPMMeter *> meters(MainWindow &w)
{
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    return {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight};
}

// What the six meters and the silence watch hold: peak hold and over per meter, alarm, threshold, delay.
QString applied(MainWindow &w)
{
    QString switches;
    for (ZelPPMMeter *meter : meters(w))
        switches += QStringLiteral("%1%2 ").arg(meter->peakHold()).arg(meter->overIndicator());
    const SilenceWatch *watch = MainWindowTestAccess::silenceWatch(w);
    return switches + QStringLiteral("%1 %2 %3")
                          .arg(watch->isEnabled())
                          .arg(watch->state().threshold())
                          .arg(watch->state().delay());
}

bool isRed(QLabel *band)
{
    const QColor pixel = band->grab().toImage().pixelColor(2, 2);
    return pixel.red() > 150 && pixel.green() < 60 && pixel.blue() < 60;
}

} // namespace

class TestMeterOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        temp.reset(new TempSettings);
        TempSettings::useApplicationNames();
    }
    void cleanup() { temp.reset(); }
    void stored_data();
    void stored();
    void writtenAtExitWithTheRest();
    void silenceAlarmOnTheCaption();
    void editedInTheDialog();

private:
    QScopedPointer<TempSettings> temp;
};

void TestMeterOptions::stored_data()
{
    QTest::addColumn<QString>("assignments");
    QTest::addColumn<QString>("expected"); // peak hold, over, silence alarm, threshold, delay
    const QString defaults = "0 0 0 -40 10";
    QTest::newRow("absent: all off") << "" << defaults;
    QTest::newRow("switched on") << "peak_hold=true; over_indicator=1; silence_alarm=TRUE; "
                                    "silence_threshold_db=-30.5; silence_delay_s=1"
                                 << "1 1 1 -30.5 1";
    QTest::newRow("words where switches belong")
        << "peak_hold=maybe; over_indicator=2; silence_alarm=; silence_threshold_db=loud; silence_delay_s=ten"
        << defaults;
    QTest::newRow("below the ranges") << "silence_threshold_db=-60; silence_delay_s=-3" << defaults;
    QTest::newRow("too large") << "silence_threshold_db=5; silence_delay_s=99999999999" << defaults;
    QTest::newRow("not a number") << "silence_threshold_db=nan; silence_delay_s=1.5" << defaults;
}

void TestMeterOptions::stored()
{
    QFETCH(QString, assignments);
    QFETCH(QString, expected);
    {
        QSettings store;
        for (const QString &assignment : assignments.split("; ", Qt::SkipEmptyParts))
            store.setValue(assignment.section('=', 0, 0), assignment.section('=', 1));
    }
    MainWindow w;
    const MeterOptions &options = MainWindowTestAccess::meterOptions(w);
    QCOMPARE(described(options), expected);
    for (ZelPPMMeter *meter : meters(w))
        QVERIFY(meter->peakHold() == options.peakHold && meter->overIndicator() == options.overIndicator);
    const SilenceWatch *watch = MainWindowTestAccess::silenceWatch(w);
    QCOMPARE(watch->isEnabled(), options.silenceAlarm);
    QCOMPARE(watch->state().threshold(), options.silenceThresholdDb);
    QCOMPARE(watch->state().delay(), options.silenceDelayS * 1000);
}

void TestMeterOptions::writtenAtExitWithTheRest()
{
    {
        MainWindow w;
        MainWindowTestAccess::meterOptions(w) = {true, true, true, -35.0, 20};
    }
    MainWindow again;
    QCOMPARE(described(MainWindowTestAccess::meterOptions(again)), QString("1 1 1 -35 20"));
}

// Delay 1 s: quiet programme turns the caption's band red, level for 2 s clears it, a lost signal too.
void TestMeterOptions::silenceAlarmOnTheCaption()
{
    {
        QSettings store;
        store.setValue("silence_alarm", true);
        store.setValue("silence_delay_s", 1);
    }
    MainWindow w;
    MainWindowTestAccess::linkStatus(w)->setTimeout(0); // the test says when the signal is lost
    SilenceWatch *watch = MainWindowTestAccess::silenceWatch(w);
    QLabel *band = MainWindowTestAccess::caption(w, 0);
    const QString caption = band->text();
    const auto send = [&](double programme) {
        const QByteArray frame = LevelFrame::encodeLevels({programme, programme, 0, 0, 0, 0});
        MainWindowTestAccess::processFrame(w, frame.constData());
    };
    QVERIFY(!isRed(band));

    QTest::ignoreMessage(QtDebugMsg, "silence alarm on: both programme levels below -40 dB for 1 s");
    send(-50); // one frame is enough: the watch's own timer fires at the deadline
    QTRY_VERIFY_WITH_TIMEOUT(watch->isAlarmOn(), 10000);
    QVERIFY(isRed(band));
    QCOMPARE(band->text(), caption);

    QTest::ignoreMessage(QtDebugMsg, "silence alarm off: programme back at -40 dB or above for 2 s");
    send(-20);
    QVERIFY(watch->isAlarmOn());
    QTRY_VERIFY_WITH_TIMEOUT(!watch->isAlarmOn(), 10000);
    QVERIFY(!isRed(band));

    QTest::ignoreMessage(QtDebugMsg, "silence alarm on: both programme levels below -40 dB for 1 s");
    send(-45);
    QTRY_VERIFY_WITH_TIMEOUT(watch->isAlarmOn(), 10000);
    QTest::ignoreMessage(QtDebugMsg, "silence alarm off: the signal is lost");
    watch->setSignalPresent(false); // as the link watch reports it; the next frame brings it back
    QVERIFY(!watch->isAlarmOn() && !isRed(band));
    QCOMPARE(watch->state().nextDeadlineMs(), SilenceAlarm::NoDeadline); // nothing pending while lost
}

// Cancel leaves everything as it was; OK applies at once. The alarm's rows follow its check box.
void TestMeterOptions::editedInTheDialog()
{
    MainWindow w;
    WallDisplay *wall = w.findChild<WallDisplay *>();
    QSignalSpy changed(wall, &WallDisplay::meterOptionsChanged);
    QList<bool> rowsEnabled; // with the alarm off, then on
    const auto answer = [&](bool ok) {
        rowsEnabled.clear();
        QTimer::singleShot(0, [&, ok] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            const auto rowsState = [&] {
                for (const char *name : {"label_silencethreshold", "spinBox_silencethreshold",
                                         "label_silencedelay", "spinBox_silencedelay"})
                    rowsEnabled << dialog->findChild<QWidget *>(name)->isEnabled();
            };
            rowsState();
            dialog->findChild<QCheckBox *>("checkBox_peakhold")->setChecked(true);
            dialog->findChild<QCheckBox *>("checkBox_over")->setChecked(true);
            dialog->findChild<QCheckBox *>("checkBox_silencealarm")->setChecked(true);
            rowsState();
            dialog->findChild<QDoubleSpinBox *>("spinBox_silencethreshold")->setValue(-30);
            dialog->findChild<QSpinBox *>("spinBox_silencedelay")->setValue(5);
            QTest::mouseClick(dialog->findChild<QPushButton *>(ok ? "pushButton_ok" : "pushButton_cancel"),
                              Qt::LeftButton);
        });
        wall->menu()->displayOptions->trigger();
    };
    const QList<bool> offThenOn = {false, false, false, false, true, true, true, true};

    answer(false);
    QCOMPARE(rowsEnabled, offThenOn);
    QCOMPARE(applied(w), QString("00 ").repeated(6) + "0 -40 10000");
    QVERIFY(changed.isEmpty());

    answer(true);
    QCOMPARE(rowsEnabled, offThenOn);
    QCOMPARE(applied(w), QString("11 ").repeated(6) + "1 -30 5000");
    QCOMPARE(described(MainWindowTestAccess::meterOptions(w)), QString("1 1 1 -30 5")); // stored at exit
    QCOMPARE(changed.size(), 1);
}

QTEST_MAIN(TestMeterOptions)
#include "tst_meteroptions.moc"
