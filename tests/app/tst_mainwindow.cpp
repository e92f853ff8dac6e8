// The window: the stored settings (what the window makes of each key and stores at exit, also when the
// real program is stopped by a signal, and the file the Qt 5 and Qt 6 builds hand each other), its parts at
// start, captions and the communication dialog, the layout scaled to any window, the meters' release with
// peak hold and over lamps, the silence alarm on its caption, and the meter scales: each bar ends on its
// scale's drawn mark at the design size and at 1920 x 1080, linear scales space equal steps equally, the
// release falls at each scale's return time, the over lamp lights above the top, and the settings file and
// the display options choose the scale, at once. That DIN's marks give way to another scale's is seen in the
// system test.
#include "mainwindowtestaccess.h"

#include "displaymenu.h"
#include "layoutscaling.h"
#include "tempsettings.h"
#include "timesync.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using Access = MainWindowTestAccess;

namespace {

// Counts the events of some kinds a widget gets.
struct EventCounter : QObject
{
    EventCounter(QWidget *w, QList<QEvent::Type> kinds) : types(kinds) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += types.contains(event->type());
        return false;
    }
    QList<QEvent::Type> types;
    int count = 0;
};

// Where the design puts the sixteen widgets the window scales.
const QRect DesignRects[] = {
    {54, 73, 12, 415},   {143, 73, 12, 415},  {210, 73, 12, 415},  {299, 73, 12, 415},
    {844, 199, 8, 291},  {907, 199, 8, 291},  {348, 85, 410, 410}, {348, 260, 410, 111},
    {44, 502, 121, 31},  {194, 502, 131, 31}, {830, 502, 101, 31}, {356, 502, 401, 31},
    {360, 550, 381, 21}, {900, 28, 25, 25},   {876, 33, 15, 15},   {632, 511, 15, 15}};

// A caption or the gear (-1), the button, the answer, OK or Cancel, the caption after it.
using Click = std::tuple<int, int, QString, bool, QString>;
// Window, factor, offset, ProgLeft, the analog clock, the fonts (captions and time label, footer, time,
// date), the picture.
using Scaled = std::tuple<QSize, float, QPoint, QRect, QRect, QVector<int>, QByteArray>;
// Targets, the hold time, and then the mark, the bar, the over lamp and whether the tick runs on.
using Release = std::tuple<QString, int, double, double, bool, bool>;

// Alignment in the frames' dB; the scales label it 4, TEST or -18 dBFS.
constexpr double Al = -9.0;
// Inside the programme meters' left tick column, where every long and no short tick reaches.
constexpr int TickColumnX = 79;
// DIN's marks are in the committed artwork, where the layout fixes them up to 2 rows from the bar's end.
constexpr int DinRowsOff = 2;

// The centre row of the white tick within 6 rows of `around`, or -1.
int tickRow(const QImage &image, int x, int around)
{
    int first = -1, last = -1;
    for (int y = around - 6; y <= around + 6; ++y)
        if (qGray(image.pixel(x, y)) >= 200)
            last = y, first = first < 0 ? y : first;
    return first < 0 ? -1 : (first + last) / 2;
}

// A window on the scale with the over lamps on and the link watch off: only the test moves levels.
struct Window
{
    Window(const TempSettings &settings, const QString &scale, const QSize &size)
    {
        settings.write({{"meter_scale", scale}, {"signal_timeout_ms", 0}, {"over_indicator", true}});
        w.reset(new MainWindow);
        Access::releaseTimer(*w)->stop();
        QVERIFY(Access::shown(*w));
        w->resize(size);
        QTRY_COMPARE(Access::windowSize(*w), size);
        w->repaint();
    }
    ZelPPMMeter *progLeft() { return Access::ui(*w)->ProgLeft; }
    void tickTo(double level) // one release tick towards the level
    {
        Access::targetLevels(*w).fill(level);
        Access::meterRelease(*w);
    }
    QImage background() // the window alone, without the widgets on it
    {
        QImage image(w->size(), QImage::Format_RGB32);
        w->render(&image, QPoint(), QRegion(w->rect()), QWidget::RenderFlags());
        return image;
    }
    std::unique_ptr<MainWindow> w;
};

// The scale; levels of marks, the top first (AL - 12, AL and AL + 12 where the scale marks them, its
// nearest numbered marks otherwise, and its ends); a range linear in dB; the return, a fall of so many
// dB in so many seconds from the scale's permitted maximum (EBU's from its top, as 24 dB below its
// maximum lie under its bottom). All in the frames' dB.
using Levels = QVector<double>;
using Scale = std::tuple<QString, Levels, Levels, Levels>;

// Every stored key: what the window uses while it is absent, values it keeps ("X as Y": it reads X as Y
// and stores Y; one a row, the last one in the rows after), and values it takes as absent.
struct StoredKey
{
    QString name, fallback;
    QStringList kept;
    QVariantList unusable;
};
const StoredKey Keys[] = {
    {"is_server", "false", {"true", "false"}, {}},
    {"use_udp", "false", {"true"}, {}},
    {"serialport", "", {"ttyUSB7"}, {}},
    {"server_host", "", {"10.1.2.3"}, {}},
    {"server_port", "", {"5500"}, {}},
    {"client_host", "", {"10.1.2.4"}, {}},
    {"client_port", "", {"5501"}, {}},
    {"labelMeter1", "Prog", {"Studio A"}, {}},
    {"labelMeter2", "Sub", {"", "5500", "1.5"}, {}}, // stored empty stays empty
    {"labelMeter3", "CRM", {QStringLiteral("R\u00e9gie")}, {}},
    {"signal_timeout_ms", "2000", {"500", "0", "600000"}, {"soon", "600001", "-5", 1.5}},
    {"current_screen", "0", {"0"}, {"second", 2147483647, -3, 1}}, // one test screen
    {"geometry",
     "0,0 986x580",
     {"0,20 986x580"}, // below where a manager's title bar goes
     {QByteArray("not a geometry"), QByteArray(64, '\xff'), QByteArray::fromHex("01d9d0cb000300000000")}},
    {"full_screen", "false", {"true", "1 as true", "false"}, {"yes", -1, "maybe"}},
    {"hide_cursor_s", "3", {"10", "0", "3600"}, {"2.5", -1, "99999999999", 3601}},
    {"keep_screen_awake", "true", {"false", "0 as false"}, {QByteArray("\x01"), -1, 7}},
    {"pixel_shift", "false", {"true", "1 as true"}, {"on", 3}},
    {"peak_hold", "false", {"true", "TRUE as true", "1 as true"}, {"maybe", 2, ""}},
    {"over_indicator", "false", {"1 as true", " true  as true"}, {"on", "2"}},
    {"silence_alarm", "false", {"TRUE as true", "0 as false"}, {""}},
    {"silence_threshold_db", "-40", {"-30.5", "-49", "0"}, {"-60", "5", "nan", "loud", "-49.5"}},
    {"silence_delay_s", "10", {"20", "1", "3600"}, {"-3", "99999999999", "1.5", "ten", "0", "3601"}},
};

QByteArray savedGeometry(const QString &rect) // "x,y wxh"
{
    const QStringList n = rect.split(QRegularExpression("[, x]"));
    QWidget window;
    window.setGeometry(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt());
    return window.saveGeometry();
}

#ifdef Q_OS_UNIX
// The real program on this test's settings folder, stopped by a signal once it runs.
int runUntilSignal(const QString &program, int signalNumber)
{
    QProcess process;
    process.start(program, QStringList());
    // The client link's debug line comes after the signal handlers are in place.
    QByteArray errors;
    const auto started = [&] { return (errors += process.readAllStandardError()).contains("bind to port"); };
    if (QTest::qWaitFor(started, 30000))
        ::kill(pid_t(process.processId()), signalNumber);
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
#endif

// Stored geometry, the window state in it, the geometry restored.
using Fitted = std::tuple<QRect, Qt::WindowState, QRect>;

} // namespace

Q_DECLARE_METATYPE(Click)
Q_DECLARE_METATYPE(Fitted)
Q_DECLARE_METATYPE(Scale)
Q_DECLARE_METATYPE(Scaled)
Q_DECLARE_METATYPE(Release)

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { settings.reset(new TempSettings); }
    void cleanup() { settings.reset(); }

    // A click (press and release, either button) on a caption edits it, on the gear opens the link's
    // dialog; the caption keeps its place.
    void clicksEditCaptionsAndOpenTheLink_data()
    {
        QTest::addColumn<Click>("click");
        const int left = Qt::LeftButton, right = Qt::RightButton;
        QTest::newRow("OK with text") << Click{1, left, "Studio 2", true, "Studio 2"};
        QTest::newRow("OK empty keeps it") << Click{1, left, "", true, "Sub"};
        QTest::newRow("Cancel keeps it") << Click{1, left, "Other", false, "Sub"};
        QTest::newRow("first caption, right") << Click{0, right, "Programme", true, "Programme"};
        QTest::newRow("long text") << Click{2, left, QString(200, 'x'), true, QString(200, 'x')};
        QTest::newRow("gear, left") << Click{-1, left, "", false, ""};
        QTest::newRow("gear, right") << Click{-1, right, "", false, ""};
    }
    void clicksEditCaptionsAndOpenTheLink()
    {
        QFETCH(Click, click);
        const auto [target, button, answer, accept, expected] = click;
        MainWindow w;
        QVERIFY(Access::shown(w));
        myLabel *label = target < 0 ? Access::settingsLabel(w) : Access::caption(w, target);
        const QString before = label->text();
        const QRect geometry = label->geometry();
        QTest::mousePress(label, Qt::MouseButton(button)); // opens nothing yet: no dialog is answered
        QString shown;                                     // title, prompt and text as it opens
        Access::onNextDialog([&, answer = answer, accept = accept](QDialog *dialog) {
            shown = dialog->windowTitle();
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                shown += '|' + input->labelText() + '|' + input->textValue();
                input->setTextValue(answer);
            }
            accept ? dialog->accept() : dialog->reject();
        });
        QTest::mouseRelease(label, Qt::MouseButton(button));
        QCOMPARE(shown, target < 0 ? "Communication Interface"
                                   : QString("Vondrel|Meter %1 label:|%2").arg(target + 1).arg(before));
        QVERIFY(label->text() == expected && label->geometry() == geometry);
        // Stored at once when it changed.
        QCOMPARE(settings->value(QString("labelMeter%1").arg(target + 1)).toString(),
                 expected == before ? QString() : expected);
    }

    // Resizes only record; the next paint scales the sixteen widgets and the fonts once, keeping the
    // aspect ratio. The pictures were recorded from the window as first shipped: what it paints
    // itself, whole and under the clock.
    void scaledWindow_data()
    {
        QTest::addColumn<Scaled>("scaled");
        QTest::newRow("design") << Scaled(QSize(986, 580), 1.0f, QPoint(0, 0), QRect(54, 73, 12, 415),
                                          QRect(348, 85, 410, 410), {15, 11, 40, 24}, "b61ec5110a6c9ed0");
        QTest::newRow("wider 1920x1080")
            << Scaled(QSize(1920, 1080), 1.8620690f, QPoint(42, 0), QRect(142, 135, 22, 772),
                      QRect(690, 158, 763, 763), {27, 20, 74, 44}, "803d0557a42179ba");
        QTest::newRow("narrower 1280x1024")
            << Scaled(QSize(1280, 1024), 1.2973630f, QPoint(0, 136), QRect(70, 230, 15, 538),
                      QRect(451, 246, 531, 531), {19, 14, 51, 31}, "39fd0dd465980761");
        QTest::newRow("design aspect 1020x600")
            << Scaled(QSize(1020, 600), 1.0344827f, QPoint(0, 0), QRect(55, 75, 12, 429),
                      QRect(359, 87, 424, 424), {15, 11, 41, 24}, "6444ceebc0dc4618");
        QTest::newRow("2000x580") << Scaled(QSize(2000, 580), 1.0f, QPoint(507, 0), QRect(561, 73, 12, 415),
                                            QRect(855, 85, 410, 410), {15, 11, 40, 24}, "8060f40f96c44082");
        // Sides whose product with the design's passes the int range; too large to show a window.
        QTest::newRow("huge, wider") << Scaled(QSize(16777215, 4000000), 6896.5518f, QPoint(4988607, 0),
                                               QRect(5361020, 503448, 82758, 2862068),
                                               QRect(7388607, 586206, 2827586, 2827586), {}, {});
        QTest::newRow("huge, narrower") << Scaled(QSize(8000000, 16777215), 8113.5898f, QPoint(0, 6035666),
                                                  QRect(438133, 6627958, 97363, 3367139),
                                                  QRect(2823529, 6725321, 3326571, 3326571), {}, {});
    }
    void scaledWindow()
    {
        QFETCH(Scaled, scaled);
        const auto &[window, factor, offset, progLeft, analogClock, fonts, picture] = scaled;
        const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(window);
        QVERIFY(fit.scaleFactor == factor && QPoint(fit.offsetX, fit.offsetY) == offset &&
                LayoutScaling::scaledRect(DesignRects[0], fit) == progLeft &&
                LayoutScaling::scaledRect(DesignRects[6], fit) == analogClock);
        if (fonts.isEmpty())
            return; // no window that size

        MainWindow w;
        QVERIFY(Access::shown(w));
        Ui::MainWindow *ui = Access::ui(w);
        EventCounter moves(ui->ProgLeft, {QEvent::Move, QEvent::Resize});
        w.resize(1500, 900);
        w.resize(window);
        QTRY_COMPARE(Access::windowSize(w), window);
        QCOMPARE(moves.count, 0);
        w.repaint();
        QVERIFY(moves.count <= 2); // one move and one resize at most, from one pass
        QList<QWidget *> widgets;
        widgets << ui->ProgLeft << ui->ProgRight << ui->SubLeft << ui->SubRight << ui->CrmLeft << ui->CrmRight
                << ui->AnalogClock << ui->DigitalClock << Access::caption(w, 0) << Access::caption(w, 1)
                << Access::caption(w, 2) << ui->timelabel << ui->footerlabel << Access::settingsLabel(w)
                << Access::linkLamp(w) << Access::timeSyncLamp(w);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(widgets[i]->geometry(), LayoutScaling::scaledRect(DesignRects[i], fit));
        for (QLabel *label :
             std::initializer_list<QLabel *>{Access::caption(w, 0), Access::caption(w, 1), ui->timelabel})
            QCOMPARE(label->font(), Access::caption(w, 2)->font()); // the captions' family and size
        QCOMPARE((QVector<int>{Access::caption(w, 2)->font().pointSize(), ui->footerlabel->font().pointSize(),
                               ui->DigitalClock->timeDisplayFont().pointSize(),
                               ui->DigitalClock->dateDisplayFont().pointSize()}),
                 fonts);
        // The clock's fonts keep their family, and its own is bold (weight 75 on Qt 5 and 700 on Qt 6;
        // the enum names the same weight on both). The time-sync lamp shows this machine's clock.
        const QFont clockFont = ui->DigitalClock->font();
        QVERIFY(ui->DigitalClock->timeDisplayFont().family() == "DejaVu Sans" &&
                clockFont.family() == "Bitstream Vera Sans" && clockFont.pointSize() == 36 &&
                clockFont.bold() && clockFont.weight() == QFont::Bold && !clockFont.italic() &&
                ui->footerlabel->text().endsWith(QStringLiteral("v1.9")) &&
                ui->CrmRight->gradientForground() &&
                Access::timeSyncLamp(w)->state() == TimeSync::stateFor(TimeSync::readKernel()) &&
                !Access::timeSyncLamp(w)->toolTip().isEmpty());

        QCryptographicHash pixels(QCryptographicHash::Sha1);
        for (const QRegion &area : {QRegion(w.rect()), QRegion(analogClock)}) {
            QImage image(window, QImage::Format_RGB32);
            image.fill(Qt::blue);
            w.render(&image, QPoint(), area, QWidget::RenderFlags()); // the window alone
            pixels.addData(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
        }
        QVERIFY(pixels.result().toHex().left(16) == picture && !Access::resizePending(w));
    }

    // Targets with tick counts ("0x1 -50x199": 0 dB for one tick, then the floor for 199; "=L" sets the
    // bar to L first), the hold time (-1: hold and over lamp off), and then the mark, the bar, the over
    // lamp and whether the release tick keeps running.
    void release_data()
    {
        QTest::addColumn<Release>("release");
        const double step = double(0.133f); // the bar's fall a tick
        QTest::newRow("rise at once") << Release{"-10x1", -1, -50.0, -10.0, false, true};
        QTest::newRow("fall by the step") << Release{"0x1 -50x1", -1, -50.0, -step, false, true};
        QTest::newRow("fall smaller than the step") << Release{"=-20 -20.1x1", -1, -50.0, -20.1, false, true};
        QTest::newRow("below the floor rests") << Release{"-60x1", -1, -50.0, -50.0, false, false};
        QTest::newRow("NaN is the floor and rests") << Release{"=nan -50x1", -1, -50.0, -50.0, false, false};
        QTest::newRow("off: a tick short of the floor")
            << Release{"0x1 -50x375", -1, -50.0, -375 * step, false, true};
        QTest::newRow("off: at the floor, resting") << Release{"0x1 -50x380", -1, -50.0, -50.0, false, false};
        QTest::newRow("off: resting on a level") << Release{"0x1 -20x400", -1, -50.0, -20.0, false, false};
        QTest::newRow("rise") << Release{"-10x2", 2000, -10.0, -10.0, false, false};
        QTest::newRow("hold") << Release{"0x1 -50x199", 2000, 0.0, -199 * step, false, true};
        QTest::newRow("fall at 13.3 dB/s") << Release{"0x1 -50x299", 2000, -13.3, -299 * step, false, true};
        QTest::newRow("meeting the bar") << Release{"0x1 -20x400", 2000, -20.0, -20.0, false, false};
        QTest::newRow("higher peak restarts the hold")
            << Release{"0x1 -50x100 3x1 -50x199", 2000, 3.0, 3 - 199 * step, false, true};
        QTest::newRow("lower peak leaves the hold running")
            << Release{"0x1 -50x100 -5x1 -50x99", 2000, -0.133, -5 - 99 * step, false, true};
        QTest::newRow("hold time 0: the mark rides the bar")
            << Release{"0x1 -50x100", 0, -13.3, -100 * step, false, true};
        QTest::newRow("over: lit for 2 s") << Release{"12x1 -50x199", 2000, 5.0, 5 - 199 * step, true, true};
        QTest::newRow("over: out after 2 s")
            << Release{"12x1 -50x200", 2000, 4.867, 5 - 200 * step, false, true};
        QTest::newRow("over: a steady over keeps the tick") << Release{"12x300", 2000, 5.0, 5.0, true, true};
    }
    void release()
    {
        QFETCH(Release, release);
        const auto &[targets, holdMs, mark, bar, lit, ticking] = release;
        const bool on = holdMs >= 0;
        settings->write({{"peak_hold", on}, {"over_indicator", on}});
        MainWindow w;
        QTimer *timer = Access::releaseTimer(w);
        QVERIFY(timer->isActive()); // from the start, until it has nothing to do
        timer->stop();              // the test ticks by hand
        ZelPPMMeter *meter = Access::ui(w)->ProgLeft;
        meter->setPeakHoldTime(holdMs);
        for (const QString &part : targets.split(' ')) {
            if (part.startsWith('=')) {
                meter->setRawdBPosition(part.mid(1).toDouble());
                continue;
            }
            Access::targetLevels(w)[0] = part.section('x', 0, 0).toDouble();
            for (int i = part.section('x', 1).toInt(); i > 0; --i) {
                if (i == 1)
                    timer->start(); // the last tick decides whether it runs on
                Access::meterRelease(w);
            }
        }
        QVERIFY(qAbs(meter->dBPosition() - bar) < 1e-3 &&
                (!on || qAbs(meter->peakState().markLevel() - mark) < 1e-3) &&
                (meter->markLength() > 0) == on);
        QVERIFY(meter->overLit() == lit && timer->isActive() == ticking);
    }

    // Resting, clipped at the +5 dB top, falling, and (with the mark) holding then falling: the meter
    // repaints for each pixel the bar or the mark moves, no more. Falls may be repainted together, at
    // the screen's pace; whenever the window paints, for the release or anything else, every meter
    // shows where the release has put its bar and mark.
    void repaintsShowEveryMove_data()
    {
        QTest::addColumn<bool>("peakHold");
        QTest::newRow("bar alone") << false;
        QTest::newRow("bar and peak mark") << true;
    }
    void repaintsShowEveryMove()
    {
        QFETCH(bool, peakHold);
        settings->write({{"peak_hold", peakHold}});
        MainWindow w;
        Access::releaseTimer(w)->stop(); // the test ticks by hand
        const QList<ZelPPMMeter *> meters = w.findChildren<ZelPPMMeter *>();
        ZelPPMMeter *meter = Access::ui(w)->ProgLeft;
        QVERIFY(Access::shown(w));
        QTest::qWait(50);
        QWidget *clock = Access::ui(w)->AnalogClock;
        EventCounter paints(meter, {QEvent::Paint}), clockPaints(clock, {QEvent::Paint});
        // Whether every meter shows what a whole repaint in the same place shows.
        const auto showsTheRelease = [&] {
            const auto screen = dynamic_cast<const QImage *>(w.backingStore()->paintDevice());
            const int paintsBefore = paints.count;
            bool same = screen;
            for (ZelPPMMeter *m : meters) {
                const QRect area(m->mapTo(&w, QPoint()) * screen->devicePixelRatio(),
                                 m->size() * screen->devicePixelRatio());
                const QImage shown = screen->copy(area);
                m->repaint();
                same = same && screen->copy(area) == shown;
            }
            paints.count = paintsBefore;
            return same;
        };
        int changes = 0, quietTicks = 0, step = 0;
        for (const auto &[target, ticks] : {std::pair(-50.0, 20), {12.0, 1}, {-10.0, 400}}) {
            Access::targetLevels(w).fill(target);
            for (int i = 0; i < ticks; ++i, ++step) {
                const std::pair<int, int> before(meter->barLength(), meter->markLength());
                Access::meterRelease(w);
                const bool changed = before != std::pair(meter->barLength(), meter->markLength());
                changes += changed;
                quietTicks += !changed;
                if (step % 7 == 0)
                    clock->update(); // a repaint for another reason
                const int clockPaintsBefore = clockPaints.count;
                QCoreApplication::processEvents();
                QVERIFY(clockPaints.count == clockPaintsBefore || showsTheRelease());
            }
            QVERIFY(target <= 5.0 || meter->dBPosition() == 5.0); // clipped at the top
        }
        QVERIFY(showsTheRelease() && meter->dBPosition() == -10.0);
        QVERIFY(paints.count > 0 && paints.count <= changes && quietTicks > 150);
    }

    // Delay 1 s: quiet programme turns the caption's band red, level for 2 s clears it, a lost signal too.
    void silenceAlarmOnTheCaption()
    {
        settings->write({{"silence_alarm", true}, {"silence_delay_s", 1}});
        MainWindow w;
        Access::linkStatus(w)->setTimeout(0); // the test says when the signal is lost
        SilenceWatch *watch = Access::silenceWatch(w);
        QLabel *band = Access::caption(w, 0);
        const auto isRed = [band] { return band->grab().toImage().pixelColor(2, 2) == QColor(204, 0, 0); };
        const auto send = [&](double programme) {
            Access::processFrame(w, LevelFrame::encodeLevels({programme, programme, 0, 0, 0, 0}).constData());
        };
        QVERIFY(!isRed());
        QTest::ignoreMessage(QtDebugMsg, "silence alarm on: both programme levels below -40 dB for 1 s");
        send(-50); // one frame is enough: the watch's own timer fires at the deadline
        QTRY_VERIFY_WITH_TIMEOUT(watch->isAlarmOn(), 10000);
        QVERIFY(isRed() && band->text() == "Prog");
        QTest::ignoreMessage(QtDebugMsg, "silence alarm off: programme back at -40 dB or above for 2 s");
        send(-20);
        QVERIFY(watch->isAlarmOn());
        QTRY_VERIFY_WITH_TIMEOUT(!watch->isAlarmOn(), 10000);
        QVERIFY(!isRed());
        QTest::ignoreMessage(QtDebugMsg, "silence alarm on: both programme levels below -40 dB for 1 s");
        send(-45);
        QTRY_VERIFY_WITH_TIMEOUT(watch->isAlarmOn(), 10000);
        QTest::ignoreMessage(QtDebugMsg, "silence alarm off: the signal is lost");
        watch->setSignalPresent(false); // as the link watch reports it; the next frame brings it back
        // Nothing pending while lost.
        QVERIFY(!watch->isAlarmOn() && !isRed() &&
                watch->state().nextDeadlineMs() == SilenceAlarm::NoDeadline);
    }

    void eachScale_data()
    {
        QTest::addColumn<Scale>("row");
        QTest::newRow("din") << Scale{"din", {5, 0, -10, -20, -50}, {}, {0, 20, 1.5}};
        QTest::newRow("nordic") << Scale{
            "nordic", {Al + 9, Al, Al - 12, Al - 36}, {Al - 36, Al + 9}, {Al + 9, 20, 1.7}};
        QTest::newRow("bbc 7, 6, 4, 2, 1")
            << Scale{"bbc", {Al + 12, Al + 8, Al, Al - 8, Al - 14}, {Al - 8, Al + 12}, {Al + 8, 24, 2.8}};
        QTest::newRow("ebu") << Scale{
            "ebu", {Al + 12, Al + 8, Al, Al - 12}, {Al - 12, Al + 12}, {Al + 12, 24, 2.8}};
        QTest::newRow("dbfs 0, -6, -18, -30, -60")
            << Scale{"dbfs", {Al + 18, Al + 12, Al, Al - 12, -50}, {Al - 2, Al + 18}, {Al + 9, 20, 1.7}};
    }
    void eachScale()
    {
        QFETCH(Scale, row);
        const auto &[scale, marks, linear, fall] = row;
        for (const QSize &size : {QSize(1920, 1080), QSize(986, 580)}) {
            Window window(*settings, scale, size);
            ZelPPMMeter *meter = window.progLeft();
            const QImage image = window.background();
            const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(size);
            const int x = int(TickColumnX * fit.scaleFactor) + fit.offsetX;
            // DIN's artwork is scaled as a whole, its rows with it.
            const int tolerance = scale == "din" ? int(std::ceil(DinRowsOff * fit.scaleFactor)) : 1;
            for (auto level = marks.rbegin(); level != marks.rend(); ++level) { // rising, in single ticks
                window.tickTo(*level);
                const int barTop = meter->y() + meter->height() - meter->barLength(),
                          row = tickRow(image, x, barTop);
                QVERIFY(row >= 0 && std::abs(row - barTop) <= tolerance);
            }
            if (fit.scaleFactor != 1.0f)
                continue;

            // In 1 dB steps up from the floor: equal, give or take a pixel of truncation.
            QVector<int> lengths;
            meter->setRawdBPosition(-50.0);
            for (double level = linear.value(0); level <= linear.value(1) && !linear.isEmpty(); ++level)
                window.tickTo(level), lengths << meter->barLength();
            for (int i = 2; i < lengths.size(); ++i)
                QVERIFY(std::abs(lengths[i] - lengths[i - 1] - lengths[1] + lengths[0]) <= 1 &&
                        lengths[i] > lengths[i - 1]);

            window.tickTo(marks.first() - 0.5); // the top
            QVERIFY(!meter->overLit());
            window.tickTo(marks.first() + 0.5);
            QVERIFY(meter->overLit());
            meter->setRawdBPosition(fall[0]);
            int ticks = 0;
            while (meter->dBPosition() > fall[0] - fall[1] + 1e-4 && ticks < 10000)
                window.tickTo(-50.0), ++ticks;
            const double seconds = ticks * Access::releaseTimer(*window.w)->interval() / 1000.0;
            QVERIFY(std::abs(seconds - fall[2]) <= 0.05 * fall[2]);
        }
    }

    // The key in any case gives its scale, anything else DIN; a store without the key keeps it absent.
    // EBU chosen in the display options moves the bars, the fall and the marks at once.
    void chosenInTheFileAndTheDialog()
    {
        const QList<std::tuple<QVariant, MeterScale::Id, QVariant>> stored = {
            {QVariant(), MeterScale::Din, QVariant()},
            {" BBC", MeterScale::Bbc, "bbc"},
            {QStringList{"ebu", "dbfs"}, MeterScale::Din, "din"}};
        for (const auto &[value, id, written] : stored) {
            value.isValid() ? settings->write({{"meter_scale", value}}) : settings->clear();
            QCOMPARE(Access::ui(*std::make_unique<MainWindow>())->CrmRight->scale(), id);
            QCOMPARE(settings->value("meter_scale"), written);
        }

        Window window(*settings, "din", QSize(986, 580));
        const QImage din = window.background();
        window.tickTo(Al);
        Access::onNextDialog([](QDialog *dialog) {
            dialog->findChild<QComboBox *>("comboBox_scale")->setCurrentIndex(MeterScale::Ebu);
            QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        });
        window.w->findChild<WallDisplay *>()->menu()->displayOptions->trigger();
        QCOMPARE(window.progLeft()->barLength(), 415 / 2); // TEST is the middle of the EBU scale
        window.w->repaint();
        QVERIFY(window.background() != din);
        window.tickTo(-50.0);
        QVERIFY(qAbs(window.progLeft()->dBPosition() - (Al - 0.24 / 2.8)) < 1e-4); // 24 dB in 2.8 s
    }

    // Row "kept n" stores each key's n-th kept value, "unusable n" the n-th unusable one where it has one.
    void storedKeys_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QStringList>("expected"); // what the window uses and stores at exit
        const auto addRow = [](const char *name, int n, bool kept) {
            QVariantMap stored;
            QStringList expected;
            for (const StoredKey &key : Keys) {
                QString used = key.fallback;
                if (kept) {
                    const QString value = key.kept.at(std::min(n, int(key.kept.size()) - 1));
                    used = value.section(" as ", -1);
                    stored[key.name] =
                        key.name == "geometry" ? QVariant(savedGeometry(used)) : value.section(" as ", 0, 0);
                } else if (n < key.unusable.size()) {
                    stored[key.name] = key.unusable.at(n);
                }
                expected << key.name + '=' + used;
            }
            expected.sort();
            QTest::addRow(name, n + 1) << stored << expected;
        };
        addRow("nothing stored", 99, false);
        int rows[2] = {};
        for (const StoredKey &key : Keys)
            rows[0] = qMax(rows[0], int(key.unusable.size())), rows[1] = qMax(rows[1], int(key.kept.size()));
        for (int kept = 0; kept < 2; ++kept)
            for (int n = 0; n < rows[kept]; ++n)
                addRow(kept ? "kept %d" : "unusable %d", n, kept);
    }
    void storedKeys()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QStringList, expected);
        settings->write(stored);
        auto w = std::make_unique<MainWindow>();
        QCOMPARE(Access::settingsInUse(*w), expected);
        QCOMPARE(settings->keys(), QStringList(stored.keys())); // nothing is stored before the window goes
        settings->clear();
        const QByteArray geometry = w->saveGeometry();
        w.reset();
        QStringList written;
        for (const QString &key : settings->keys()) {
            const QVariant value = settings->value(key);
            written << key + '=' +
                           (key == "geometry" && value == geometry ? "the window's" : value.toString());
        }
        QCOMPARE(written,
                 expected.replaceInStrings(QRegularExpression("^geometry=.*"), "geometry=the window's"));
    }

    // Stored, then restored: the form's minimum size is wider than the 800 px test screen.
    void geometryFittedToTheScreen_data()
    {
        QTest::addColumn<Fitted>("fitted");
        const int h =
            QGuiApplication::primaryScreen()->availableGeometry().height(); // 600 on Qt 5, 800 on Qt 6
        QTest::newRow("far larger") << Fitted{{0, 0, 20000, 12000}, Qt::WindowNoState, {0, 0, 986, h}};
        QTest::newRow("maximized, far larger")
            << Fitted{{0, 0, 20000, 12000}, Qt::WindowMaximized, {0, 0, 986, h}};
        // Stored before the full-screen option existed: the record's state counts.
        QTest::newRow("full screen, off the screen")
            << Fitted{{30000, 30000, 1000, 590}, Qt::WindowFullScreen, {0, h - 590, 986, 590}};
    }
    void geometryFittedToTheScreen()
    {
        QFETCH(Fitted, fitted);
        const auto &[stored, state, restored] = fitted;
        QWidget window;
        window.setGeometry(stored);
        window.setWindowState(state);
        settings->write({{"geometry", window.saveGeometry()}});
        MainWindow w;
        QCOMPARE(w.windowState(), state);
        // Placed by its frame, as a restored window is; not shown yet, so not maximized yet either.
        QCOMPARE(QRect(w.frameGeometry().topLeft(), w.normalGeometry().size()), restored);
    }

    void stopStoresEverything_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QStringList>("programs");
#ifdef Q_OS_UNIX
        const QString meters = QStringLiteral(KOLVANE_METERS_BINARY);
        QTest::newRow("SIGTERM") << int(SIGTERM) << QStringList{meters, meters};
        QTest::newRow("SIGINT") << int(SIGINT) << QStringList{meters, meters};
        QTest::newRow("SIGHUP") << int(SIGHUP) << QStringList{meters, meters};
        // A studio may move between the Qt 5 and the Qt 6 build either way.
        const QString other = QStringLiteral(KOLVANE_OTHER_QT_METERS_BINARY);
        // Qt 5 first: Qt 6's offscreen platform puts a restored window's frame 2 px lower at every start,
        // so a file that Qt 6 writes twice differs in its geometry whichever build came between.
        const QString qt5 = QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) ? other : meters,
                      qt6 = qt5 == other ? meters : other;
        QTest::newRow("to the other Qt build and back") << int(SIGTERM) << QStringList{qt5, qt6, qt5};
#endif
    }
    // Stopped as a session or service manager stops it, the real program stores everything; the next
    // run restores that and stores it again. Qt 5 builds used to store text beyond ASCII as escapes;
    // every build reads those and writes UTF-8, characters beyond U+FFFF included, and half a character
    // (an unpaired surrogate) as U+FFFD in its own value.
    void stopStoresEverything()
    {
#ifndef Q_OS_UNIX
        QSKIP("stopped by a POSIX signal");
#else
        QFETCH(int, signalNumber);
        QFETCH(QStringList, programs);
        for (const QString &program : programs)
            if (!QFileInfo(program).isExecutable())
                QSKIP(qPrintable("not built: " + program));
        QDir().mkpath(QFileInfo(settings->file()).path());
        QFile file(settings->file());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nuse_udp=true\nis_server=false\nclient_port=0\nlabelMeter1=R\\xe9\\xdc99gie\n"
                   "labelMeter2=\\x421\\x442\\x443\\x434\\x438\\x44f\\xd83d\n"
                   "labelMeter3=\\xd83d\\xd83c\\xdf99 \\x30b9\\x30bf\\x30b8\\x30aa\n");
        file.close();
        const QString captions = QStringLiteral(
            "labelMeter1=R\u00e9\ufffdgie\nlabelMeter2=\u0421\u0442\u0443\u0434\u0438\u044f\ufffd\n"
            "labelMeter3=\ufffd\U0001f399 \u30b9\u30bf\u30b8\u30aa\n");
        QByteArrayList files;
        for (const QString &program : programs) {
            QCOMPARE(runUntilSignal(program, signalNumber), 0);
            QCOMPARE(settings->keys().size(), int(std::size(Keys))); // their names and values: storedKeys
            QVERIFY(file.open(QIODevice::ReadOnly));
            files << file.readAll();
            file.close();
            QVERIFY(files.last().contains(captions.toUtf8()));
        }
        // The first start had no geometry to restore; from then on each build writes the very same file.
        QCOMPARE(files.last(), files.at(1));
#endif
    }

private:
    QScopedPointer<TempSettings> settings;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
