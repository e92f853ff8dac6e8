#pragma once

// A program the system tests start, with its own settings folder; stopped with SIGTERM when it goes.
#include <QtTest>

// What a system test needs but the machine lacks: a skip on a developer's machine, a failure in CI.
#define KOLVANE_REQUIRE(condition, reason)                                                                   \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            QVERIFY2(qEnvironmentVariable("CI") != "true", reason);                                          \
            QSKIP(reason);                                                                                   \
        }                                                                                                    \
    } while (false)

struct Program
{
    static constexpr int StartTimeoutMs = 10000;
    explicit Program(const QString &folder) : folder(folder) {}
    ~Program() { stop(); } // SIGTERM
    const QString folder, ini = folder + "/Zelvoort/Kolvane Meters.conf";
    QString terminal; // the simulator's own
    QProcess process;
    QTemporaryDir runtime; // private, as XDG_RUNTIME_DIR must be
    bool start(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // the programs' complaints in the log
        process.start(program, arguments);
        if (!process.waitForStarted(StartTimeoutMs))
            qWarning() << "cannot start" << program << process.errorString();
        return running();
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    int stop() // the exit code, or -1 if it crashed or had to be killed
    {
        process.terminate();
        if (!process.waitForFinished(15000))
            process.kill();
        process.waitForFinished();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString firstLine()
    {
        const bool ready =
            QTest::qWaitFor([&] { return process.canReadLine() || !running(); }, StartTimeoutMs);
        return ready ? QString::fromLocal8Bit(process.readLine()).trimmed() : QString();
    }
    // Without --port the console simulator opens a terminal of its own and prints its path first.
    bool simulate(const QStringList &options)
    {
        if (!start(KOLVANE_CONSOLE_SIM_PROGRAM, options) || options.contains("--port"))
            return running();
        return (terminal = firstLine()).startsWith('/');
    }
    void writeSettings(const QStringList &assignments)
    {
        QSettings store(ini, QSettings::IniFormat);
        for (const QString &assignment : assignments)
            store.setValue(assignment.section('=', 0, 0), assignment.section('=', 1));
    }
    QString stored() const // the sorted keys and the captions
    {
        QSettings store(ini, QSettings::IniFormat);
        QStringList keys = store.allKeys();
        keys.sort();
        return keys.join(' ') + " / " + store.value("labelMeter1").toString() + "|" +
               store.value("labelMeter2").toString() + "|" + store.value("labelMeter3").toString();
    }
};
