#pragma once

// What the system tests share: an X server of the test's own, the real kolvane-meters with a settings
// folder of its own, the console simulator behind a name of the test's own, and kolvane-screenshot.
#include <QtTest>
#include <algorithm>
#include <functional>
#include <optional>

// What a system test needs but the machine lacks: a skip on a developer's machine, a failure in CI.
#define KOLVANE_REQUIRE(condition, reason)                                                                   \
    if (!(condition)) {                                                                                      \
        QVERIFY2(qEnvironmentVariable("CI") != "true", reason);                                              \
        QSKIP(reason);                                                                                       \
    }

inline QString which(const QString &name)
{
    return QStandardPaths::findExecutable(name,
                                          (qEnvironmentVariable("PATH") + ":/usr/sbin:/sbin").split(':'));
}

template <typename... P> QString say(const P &...parts)
{
    QString text;
    (QDebug(&text).noquote().nospace() << ... << parts);
    return text;
}

// A program a test starts, stopped with SIGTERM when it goes; its folder holds its settings.
struct Program
{
    // The serial device it offers, as a link of the test's own: the display opens the link, and the
    // link goes before the device does, so a terminal number handed out again never reaches a display.
    QString terminal;
    QProcess process;
    QTemporaryDir runtime; // private, as XDG_RUNTIME_DIR must be
    const QString folder, ini = folder + "/Zelvoort/Kolvane Meters.conf";
    explicit Program(const QString &folder) : folder(folder)
    {
        QObject::connect(&process, &QProcess::stateChanged, [this](QProcess::ProcessState state) {
            if (state == QProcess::NotRunning && !terminal.isEmpty())
                QFile::remove(terminal);
        });
    }
    ~Program() { stop(); }
    bool start(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // the programs' complaints in the log
        process.start(program, arguments);
        return process.waitForStarted(10000);
    }
    int stop() // the exit code, or -1 if it crashed or had to be killed
    {
        if (!terminal.isEmpty())
            QFile::remove(terminal);
        process.terminate();
        if (!process.waitForFinished(15000))
            process.kill();
        process.waitForFinished();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString firstLine()
    {
        const auto ready = [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; };
        return QTest::qWaitFor(ready, 10000) ? QString::fromLocal8Bit(process.readLine()).trimmed()
                                             : QString();
    }
    // The console simulator on a pseudo-terminal of its own, which it names first; linked at the folder.
    bool simulate(const QString &levels)
    {
        const QString pty = start(KOLVANE_CONSOLE_SIM_PROGRAM, {"--levels=" + levels},
                                  QProcessEnvironment::systemEnvironment())
                                ? firstLine()
                                : "";
        return pty.startsWith('/') && QFile::link(pty, folder) && !(terminal = folder).isEmpty();
    }
    void writeSettings(const QStringList &assignments)
    {
        QSettings store(ini, QSettings::IniFormat);
        for (const QString &assignment : assignments)
            store.setValue(assignment.section('=', 0, 0), assignment.section('=', 1));
    }
};

struct Shot
{
    QImage image;
    QRect geometry;
    QString title, id;
};

// A system test derives from this: its X server, the programs on it, and what they show.
class SystemFixture
{
protected:
    static constexpr int TimeoutMs = 20000;
    static constexpr QSize DesignSize{986, 580};
    // These, and kolvane-screenshot; an empty name needs nothing.
    static bool hasTools(const QStringList &tools)
    {
        const auto found = [](const QString &tool) { return tool.isEmpty() || !which(tool).isEmpty(); };
        return std::all_of(tools.begin(), tools.end(), found) && found(KOLVANE_SCREENSHOT_PROGRAM);
    }
    QTemporaryDir work;
    QString display, error;
    QByteArray why() const { return error.toLocal8Bit(); }
    // The programs use this test's X server, not the offscreen platform, and no caller's scaling.
    QProcessEnvironment environment(const Program *meters = nullptr, const QString &bus = "disabled:") const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                                 "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"})
            env.remove(name);
        env.insert("DISPLAY", display);
        if (meters) {
            env.insert("XDG_CONFIG_HOME", meters->folder);
            env.insert("XDG_RUNTIME_DIR", meters->runtime.path());
            env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
        }
        return env;
    }
    // Xvfb with one screen of this size, or another server; -displayfd picks a free display number.
    bool startX(Program &server, const QString &size, const QString &program = "Xvfb",
                const QStringList &options = {})
    {
        const QStringList common{"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-dpi", "96"};
        return server.start(which(program),
                            common + (size.isEmpty() ? options : QStringList{"-screen", "0", size}),
                            environment()) &&
               (display = ":" + server.firstLine()).size() > 1;
    }
    // Started once its window shows, on the display named by Qt's own option rather than by DISPLAY.
    bool startMeters(Program &meters, const QString &title = "Kolvane Meters",
                     const QString &bus = "disabled:")
    {
        QProcessEnvironment env = environment(&meters, bus);
        env.remove("DISPLAY");
        return meters.start(KOLVANE_METERS_PROGRAM, {"-display", display}, env) && grab(title, {}, false);
    }
    // kolvane-screenshot finds the window whose title starts so, moves or resizes it, and grabs it.
    std::optional<Shot> grab(const QString &title, const QStringList &options = {}, bool picture = true)
    {
        QProcess tool;
        const QString file = work.filePath("shot.png");
        tool.setProcessEnvironment(environment());
        tool.start(KOLVANE_SCREENSHOT_PROGRAM,
                   QStringList{"--title", title, "--settle", "0", "--wait", "20000"} + options +
                       (picture ? QStringList{file} : QStringList()));
        const bool finished = tool.waitForFinished(3 * TimeoutMs);
        QHash<QString, QString> v;
        for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n'))
            v.insert(line.section('=', 0, 0), line.section('=', 1));
        const Shot shot{picture ? QImage(file).convertToFormat(QImage::Format_RGB32) : QImage(),
                        QRect(v["x"].toInt(), v["y"].toInt(), v["width"].toInt(), v["height"].toInt()),
                        v["title"], v["id"]};
        const bool ok = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0 &&
                        shot.image.isNull() != picture;
        error = ok ? QString() : "kolvane-screenshot: " + QString::fromLocal8Bit(tool.readAllStandardError());
        return ok ? std::optional(shot) : std::nullopt;
    }
    // Grabs until the check finds nothing wrong; error says what was wrong last.
    std::optional<Shot> grabUntil(const QString &title, const std::function<QString(const Shot &)> &check,
                                  const QStringList &options = {}, bool picture = true)
    {
        std::optional<Shot> shot;
        const auto good = [&] {
            return (shot = grab(title, options, picture)) && (error = check(*shot)).isEmpty();
        };
        return QTest::qWaitFor(good, TimeoutMs) ? shot : std::nullopt;
    }
};
