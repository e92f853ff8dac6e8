#include "settingsstore.h"

#include <QFileInfo>
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
    void otherQtBuildReadsWhatThisOneStored();
};

static int runUntilSignal(const QTemporaryDir &dir, int signalNumber,
                          const QString &binary = QStringLiteral(KOLVANE_METERS_BINARY))
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("QT_LOGGING_RULES", "default.debug=true");
    program.setProcessEnvironment(env);
    program.start(binary, QStringList());
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

// A studio may move between the Qt 5 and the Qt 6 build either way: the settings file passes from
// one program to the other and back unchanged, captions in any script included.
void TestShutdown::otherQtBuildReadsWhatThisOneStored()
{
    const QString other = QStringLiteral(KOLVANE_OTHER_QT_METERS_BINARY);
    if (!QFileInfo(other).isExecutable())
        QSKIP(qPrintable(QStringLiteral("the build with the other Qt version is not there: ") + other));
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf");
    const QStringList captions = {QStringLiteral("R\u00e9gie"),
                                  QStringLiteral("\u0421\u0442\u0443\u0434\u0438\u044f"),
                                  QStringLiteral("\U0001f399 \u30b9\u30bf\u30b8\u30aa")};
    {
        SettingsStore store(file);
        store.setValue("use_udp", true);
        store.setValue("is_server", false);
        store.setValue("client_host", "10.1.2.4");
        store.setValue("client_port", "0");
        for (int i = 0; i < 3; ++i)
            store.setValue(QStringLiteral("labelMeter%1").arg(i + 1), captions.at(i));
    }
    QByteArrayList stored;
    for (const QString &program : {other, QStringLiteral(KOLVANE_METERS_BINARY), other}) {
        QCOMPARE(runUntilSignal(dir, SIGTERM, program), 0);
        SettingsStore store(file);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(store.value(QStringLiteral("labelMeter%1").arg(i + 1)).toString(), captions.at(i));
        QCOMPARE(store.value("client_host").toString(), QStringLiteral("10.1.2.4"));
        QVERIFY(store.value("use_udp").toBool() && !store.value("is_server").toBool());
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        stored << written.readAll();
    }
    // The first start had no geometry to restore; from then on both builds write the very same file.
    QCOMPARE(stored.at(2), stored.at(1));
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
