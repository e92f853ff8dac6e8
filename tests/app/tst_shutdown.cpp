#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The real program, stopped the way a session or service manager stops it.
class TestShutdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopStoresEverything_data();
    void stopStoresEverything();

private:
    static QString settingsFile(const QTemporaryDir &dir)
    {
        return dir.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf");
    }
    static bool runUntilSignal(const QTemporaryDir &dir, int signalNumber, int *exitCode);
};

bool TestShutdown::runUntilSignal(const QTemporaryDir &dir, int signalNumber, int *exitCode)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("QT_LOGGING_RULES", "default.debug=true");
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(QStringLiteral(KOLVANE_METERS_BINARY), QStringList());
    if (!program.waitForStarted(10000))
        return false;
    // The client link's debug line comes after the signal handlers are in place.
    QByteArray errors;
    for (int attempt = 0; attempt < 100 && !errors.contains("bind to port"); ++attempt) {
        program.waitForReadyRead(100);
        errors += program.readAllStandardError();
    }
    if (!errors.contains("bind to port"))
        return false;
    ::kill(pid_t(program.processId()), signalNumber);
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished(2000);
        return false;
    }
    *exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    return true;
}

void TestShutdown::stopStoresEverything_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestShutdown::stopStoresEverything()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    {
        QSettings store(settingsFile(dir), QSettings::IniFormat);
        store.setValue("use_udp", true);
        store.setValue("is_server", false);
        store.setValue("client_host", "127.0.0.1");
        store.setValue("client_port", "0");
        store.setValue("labelMeter1", "Studio A");
        store.setValue("labelMeter2", "");
    }

    int exitCode = -1;
    QVERIFY(runUntilSignal(dir, signalNumber, &exitCode));
    QCOMPARE(exitCode, 0);
    QByteArray firstGeometry;
    {
        QSettings store(settingsFile(dir), QSettings::IniFormat);
        QStringList keys = store.allKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"client_host", "client_port", "current_screen", "geometry", "is_server",
                                    "labelMeter1", "labelMeter2", "labelMeter3", "serialport", "server_host",
                                    "server_port", "use_udp"}));
        QCOMPARE(store.value("labelMeter1").toString(), QStringLiteral("Studio A"));
        QCOMPARE(store.value("labelMeter2").toString(), QString());
        QCOMPARE(store.value("labelMeter3").toString(), QStringLiteral("CRM"));
        firstGeometry = store.value("geometry").toByteArray();
        QVERIFY(!firstGeometry.isEmpty());
    }

    // A second run restores what the first stored and stores it again unchanged.
    QVERIFY(runUntilSignal(dir, signalNumber, &exitCode));
    QCOMPARE(exitCode, 0);
    QSettings store(settingsFile(dir), QSettings::IniFormat);
    QCOMPARE(store.value("labelMeter1").toString(), QStringLiteral("Studio A"));
    QCOMPARE(store.value("labelMeter2").toString(), QString());
    QCOMPARE(store.value("client_port").toString(), QStringLiteral("0"));
    // The offscreen platform shifts a restored window by its frame; the size must survive.
    QCOMPARE(store.value("geometry").toByteArray().size(), firstGeometry.size());
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
