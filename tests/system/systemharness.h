#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

// Runs the real programs as a user would: an X server (Xvfb), the console simulator on a
// pseudo-terminal, kolvane-meters with a private settings folder, and screenshots of its window.
namespace SystemHarness {

bool underCi();

// Missing tools or privileges skip a test with the reason, except under CI, where they fail it.
#define KOLVANE_REQUIRE(condition, reason)                                                                   \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            const QByteArray why = QByteArray(reason);                                                       \
            if (SystemHarness::underCi())                                                                    \
                QFAIL(("required under CI: " + why).constData());                                            \
            QSKIP(why.constData());                                                                          \
        }                                                                                                    \
    } while (false)

// SIGTERM must end the program with exit code 0; otherwise the failure shows its log.
#define KOLVANE_VERIFY_CLEAN_EXIT(meters)                                                                    \
    do {                                                                                                     \
        const int exitCode = (meters).terminate();                                                           \
        QVERIFY2(exitCode == 0,                                                                              \
                 qPrintable(QStringLiteral("kolvane-meters ended with %1 after SIGTERM\n").arg(exitCode) +   \
                            (meters).log()));                                                                \
    } while (false)

QString metersProgram();
QString simulatorProgram();
QString screenshotProgram();
// Empty when the program is not on PATH.
QString findProgram(const QString &name);

double monotonicMs();
// Waits, handling events, until the condition holds or the time is up; returns the last result.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs, int pollMs = 100);
// User plus system CPU time of a process so far, in seconds; negative when it cannot be read.
double cpuSeconds(qint64 pid);
QString tail(const QString &file, int lines = 40);

// A private X server on a free display number.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    bool start(QString *error);
    QString display() const { return displayName; }

private:
    QTemporaryDir dir;
    QProcess process;
    QString displayName;
};

struct Shot
{
    QImage image;
    QRect geometry; // the window on the screen
    QString title;
    double grabbedAtMs = 0; // CLOCK_MONOTONIC
};

// Runs kolvane-screenshot against a display. Without a file argument the result carries no image.
class Screen
{
public:
    explicit Screen(const QString &display) : displayName(display) {}
    std::optional<Shot> window(const QString &titlePrefix, const QStringList &options, bool grabImage,
                               QString *error) const;
    // The window, once it is shown (waits up to timeoutMs).
    std::optional<Shot> waitForWindow(const QString &titlePrefix, int timeoutMs, QString *error) const;
    std::optional<Shot> grab(const QString &titlePrefix, QString *error) const;
    // Moves and/or resizes the window and waits until it has taken the change.
    std::optional<Shot> configure(const QString &titlePrefix, const QStringList &options,
                                  QString *error) const;
    // Grabs until the check passes or the time is up; the check says why it failed.
    std::optional<Shot> grabUntil(const QString &titlePrefix,
                                  const std::function<QString(const Shot &)> &check, int timeoutMs,
                                  QString *failure) const;

private:
    QString displayName;
    mutable int shotNumber = 0;
    QTemporaryDir dir;
};

// Two linked pseudo-terminals with fixed names (socat): the program opens device(), the simulator
// writes to feed(). Stopping removes both names, as an adapter that is pulled out; starting again
// brings the same names back on new terminals.
class SerialPair
{
public:
    explicit SerialPair(const QString &folder);
    ~SerialPair();
    bool start(QString *error);
    void stop();
    QString device() const { return devicePath; }
    QString feed() const { return feedPath; }

private:
    QProcess process;
    QString devicePath;
    QString feedPath;
    QString logPath;
};

// The console simulator.
class Simulator
{
public:
    explicit Simulator(const QString &folder);
    ~Simulator();
    // On a pseudo-terminal of its own; returns once it has printed the terminal's path.
    bool startOnOwnTerminal(const QStringList &options, QString *error);
    // Writing to a given device.
    bool startOnPort(const QString &port, const QStringList &options, QString *error);
    void stop();
    QString terminal() const { return terminalPath; }

private:
    bool launch(const QStringList &arguments, QString *error);
    QProcess process;
    QString folder;
    QString outputPath;
    QString terminalPath;
    static int instanceCount;
    int number;
};

// One kolvane-meters process with its own settings folder.
class Meters
{
public:
    explicit Meters(const QString &name);
    ~Meters();
    QString settingsFile() const;
    // Writes the keys into the settings file (QSettings ini syntax, [General]).
    void writeSettings(const QVariantMap &values);
    QVariantMap readSettings() const;
    QStringList storedKeys() const;
    // Starts the program on the display, inside the network namespace when one is given.
    bool start(const QString &display, const QString &networkNamespace, QString *error);
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    qint64 pid() const { return process.processId(); }
    // SIGTERM; returns the exit code, or -1 if it crashed or had to be killed.
    int terminate(int timeoutMs = 15000);
    QString log() const;

private:
    QString name;
    QTemporaryDir dir;
    QProcess process;
};

// Two network namespaces joined by a veth pair, addresses only inside them. Removed on destruction.
class NamespacePair
{
public:
    NamespacePair();
    ~NamespacePair();
    bool create(QString *error);
    QString first() const { return namespaceA; }
    QString second() const { return namespaceB; }
    static constexpr const char *FirstAddress = "10.77.0.1";
    static constexpr const char *SecondAddress = "10.77.0.2";

private:
    void remove();
    QString namespaceA;
    QString namespaceB;
    QString linkA;
    QString linkB;
    bool created = false;
};

// Runs a command to its end; returns its exit code (-1 if it could not run) and its output.
int run(const QString &program, const QStringList &arguments, QString *output = nullptr,
        int timeoutMs = 10000);

} // namespace SystemHarness
