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
};

static int runUntilSignal(const QTemporaryDir &dir, int signalNumber)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("QT_LOGGING_RULES", "default.debug=true");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(KOLVANE_METERS_BINARY), QStringList());
    // The client link's debug line comes after the signal handlers are in place.
    QByteArray errors;
    for (int attempt = 0; attempt < 100 && !errors.contains("bind to port"); ++attempt) {
        program.waitForReadyRead(100);
        errors += program.readAllStandardError();
    }
    if (errors.contains("bind to port"))
        ::kill(pid_t(program.processId()), signalNumber);
    if (!program.waitForFinished(10000))
        program.kill();
    program.waitForFinished(2000);
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
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
    const QString file = dir.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf");
    {
        QSettings store(file, QSettings::IniFormat);
        for (const auto &entry : {std::pair<const char *, QVariant>{"use_udp", true},
                                  {"is_server", false},
                                  {"client_port", "0"},
                                  {"labelMeter1", "Studio A"},
                                  {"labelMeter2", ""}})
            store.setValue(entry.first, entry.second);
    }
    // A second run restores what the first stored and stores it again.
    for (int run = 0; run < 2; ++run) {
        QCOMPARE(runUntilSignal(dir, signalNumber), 0);
        QSettings store(file, QSettings::IniFormat);
        QCOMPARE(store.allKeys().size(),
                 21); // the twelve, three display, five metering options, signal_timeout_ms
        QCOMPARE(store.value("labelMeter1").toString(), QStringLiteral("Studio A"));
        QCOMPARE(store.value("labelMeter2").toString(), QString());
        QCOMPARE(store.value("labelMeter3").toString(), QStringLiteral("CRM"));
        QCOMPARE(store.value("client_port").toString(), QStringLiteral("0"));
        QVERIFY(!store.value("geometry").toByteArray().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
