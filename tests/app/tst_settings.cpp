// The stored settings: what the window makes of each key and stores at exit, also when the real program
// is stopped by a signal, and the file the Qt 5 and Qt 6 builds hand each other.
#include "mainwindowtestaccess.h"

#include "autostart.h"
#include "tempsettings.h"

#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using Access = MainWindowTestAccess;

namespace {

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

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { temp.reset(new TempSettings); }
    void cleanup() { temp.reset(); }

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
        temp->write(stored);
        QByteArray geometry;
        {
            MainWindow w;
            QCOMPARE(Access::settingsInUse(w), expected);
            QCOMPARE(temp->keys(), QStringList(stored.keys())); // nothing is stored before the window goes
            temp->clear();
            geometry = w.saveGeometry();
        }
        QStringList written;
        for (const QString &key : temp->keys()) {
            const QVariant value = temp->value(key);
            written << key + '=' +
                           (key == "geometry" && value == geometry ? "the window's" : value.toString());
        }
        QCOMPARE(written,
                 expected.replaceInStrings(QRegularExpression("^geometry=.*"), "geometry=the window's"));
    }

    void geometryFittedToTheScreen_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<int>("state");
        QTest::addColumn<QRect>("restored"); // the form's minimum size is wider than the 800 px test screen
        const int h =
            QGuiApplication::primaryScreen()->availableGeometry().height(); // 600 on Qt 5, 800 on Qt 6
        QTest::newRow("far larger") << QRect(0, 0, 20000, 12000) << int(Qt::WindowNoState)
                                    << QRect(0, 0, 986, h);
        QTest::newRow("maximized, far larger")
            << QRect(0, 0, 20000, 12000) << int(Qt::WindowMaximized) << QRect(0, 0, 986, h);
        // Stored before the full-screen option existed: the record's state counts.
        QTest::newRow("full screen, off the screen")
            << QRect(30000, 30000, 1000, 590) << int(Qt::WindowFullScreen) << QRect(0, h - 590, 986, 590);
    }
    void geometryFittedToTheScreen()
    {
        QFETCH(QRect, stored);
        QFETCH(int, state);
        QFETCH(QRect, restored);
        QWidget window;
        window.setGeometry(stored);
        window.setWindowState(Qt::WindowState(state));
        temp->write({{"geometry", window.saveGeometry()}});
        MainWindow w;
        QCOMPARE(int(w.windowState()), state);
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
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        QTest::newRow("to the other Qt build and back") << int(SIGTERM) << QStringList{other, meters, other};
#else
        QTest::newRow("to the other Qt build and back") << int(SIGTERM) << QStringList{meters, other, meters};
#endif
#endif
    }
    // Stopped as a session or service manager stops it, the real program stores everything; the next
    // run restores that and stores it again. Qt 5 builds used to store text beyond ASCII as escapes;
    // every build reads those and writes UTF-8, characters beyond U+FFFF included.
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
        QDir().mkpath(QFileInfo(temp->file()).path());
        QFile file(temp->file());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nuse_udp=true\nis_server=false\nclient_port=0\nlabelMeter1=R\\xe9gie\n"
                   "labelMeter2=\\x421\\x442\\x443\\x434\\x438\\x44f\n"
                   "labelMeter3=\\xd83c\\xdf99 \\x30b9\\x30bf\\x30b8\\x30aa\n");
        file.close();
        const QString captions =
            QStringLiteral("labelMeter1=R\u00e9gie\nlabelMeter2=\u0421\u0442\u0443\u0434\u0438\u044f\n"
                           "labelMeter3=\U0001f399 \u30b9\u30bf\u30b8\u30aa\n");
        QStringList names;
        for (const StoredKey &key : Keys)
            names << key.name;
        names.sort();
        QByteArrayList files;
        for (const QString &program : programs) {
            QCOMPARE(runUntilSignal(program, signalNumber), 0);
            QCOMPARE(temp->keys(), names);
            QCOMPARE(temp->value("use_udp").toString() + temp->value("is_server").toString() +
                         temp->value("client_port").toString(),
                     "truefalse0");
            QVERIFY(file.open(QIODevice::ReadOnly));
            files << file.readAll();
            file.close();
            QVERIFY2(files.last().contains(captions.toUtf8()), files.last().constData());
        }
        // The first start had no geometry to restore; from then on each build writes the very same file.
        QCOMPARE(files.last(), files.at(1));
#endif
    }

    // Half a character (an unpaired surrogate, as a Qt 5 escape) becomes U+FFFD in its own value, run
    // after run.
    void halfACharacterStaysInItsValue()
    {
        QDir().mkpath(QFileInfo(temp->file()).path());
        QFile file(temp->file());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[General]\nlabelMeter1=Prog\\xd83d\nlabelMeter2=S\\xdc99ub\nlabelMeter3=\\xd83d\\xd83c\\xdf99\n");
        file.close();
        const QStringList captions = {QStringLiteral("Prog\ufffd"), QStringLiteral("S\ufffdub"),
                                      QStringLiteral("\ufffd\U0001f399")};
        for (int run = 0; run < 2; ++run) {
            MainWindow{}; // reads the file and writes it back as it goes
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            file.close();
            for (int i = 0; i < 3; ++i)
                QVERIFY2(text.contains("labelMeter" + QByteArray::number(i + 1) + '=' +
                                       captions.at(i).toUtf8() + '\n'),
                         text.constData());
        }
    }

    void storedAtOnce_data()
    {
        QTest::addColumn<QStringList>("change"); // a key, a double click, a menu entry or a caption; key; value
        QTest::newRow("F11") << QStringList{"F11", "full_screen", "true"};
        QTest::newRow("double click") << QStringList{"double click", "full_screen", "true"};
        QTest::newRow("Escape") << QStringList{"Escape", "full_screen", "false"};
        QTest::newRow("menu") << QStringList{"Full screen", "full_screen", "true"};
        QTest::newRow("display options") << QStringList{"Display options", "peak_hold", "true"};
        QTest::newRow("communication settings") << QStringList{"Communication settings", "use_udp", "false"};
        QTest::newRow("caption") << QStringList{"caption", "labelMeter2", "Studio"};
    }
    // Each change is in the file, with every other key, as soon as it is made: a display that is killed
    // or loses power comes back as it was left; the autostart entry and the file agree.
    void storedAtOnce()
    {
        QFETCH(QStringList, change);
        const QString what = change.at(0);
        temp->write({{"full_screen", what == "Escape"}});
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Access::onNextDialog([](QDialog *dialog) { // answered as the user would
            if (auto *input = qobject_cast<QInputDialog *>(dialog))
                input->setTextValue("Studio");
            for (const char *name : {"checkBox_peakhold", "checkBox_autostart"})
                if (auto *box = dialog->findChild<QCheckBox *>(name))
                    box->setChecked(true);
            if (auto *ok = dialog->findChild<QPushButton *>("pushButton_ok"))
                ok->click();
            else
                dialog->accept();
        });
        if (what == "F11" || what == "Escape")
            QTest::keyClick(&w, what == "F11" ? Qt::Key_F11 : Qt::Key_Escape);
        else if (what == "double click")
            QTest::mouseDClick(&w, Qt::LeftButton);
        else if (what == "caption")
            QTest::mouseClick(Access::caption(w, 1), Qt::LeftButton);
        for (QAction *action : w.actions())
            if (action->text().startsWith(what))
                action->trigger();
        QCOMPARE(temp->value(change.at(1)).toString(), change.at(2));
        QVERIFY(temp->keys().contains("geometry") && temp->keys().contains("labelMeter3"));
        QCOMPARE(Autostart::isEnabled(), what == "Display options");
    }

private:
    QScopedPointer<TempSettings> temp;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
