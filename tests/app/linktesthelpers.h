#pragma once

// Small pieces shared by the link tests of the window: frames, level text, debug capture, ports.

#include "levelframe.h"

#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QUdpSocket>
#include <QWidget>
#include <QtGlobal>

#include <array>

namespace LinkTest {

// Levels as exact text, so a failed comparison shows all six values.
inline QString levelsText(const std::array<double, LevelFrame::LevelCount> &levels)
{
    QStringList parts;
    for (double level : levels)
        parts << QString::number(level, 'g', 17);
    return parts.join(QLatin1String(", "));
}

inline QString levelsText(const QByteArray &frame)
{
    return levelsText(LevelFrame::decode(frame.constData()));
}

inline QString floorText()
{
    std::array<double, LevelFrame::LevelCount> floor;
    floor.fill(LevelFrame::FloorDb);
    return levelsText(floor);
}

// A valid frame whose six words all differ from one seed to the next.
inline QByteArray numberedFrame(quint16 seed)
{
    LevelFrame::Words words{};
    for (int k = 0; k < LevelFrame::LevelCount; ++k)
        words[size_t(k)] = quint16(seed + 1000 * k + 1);
    return LevelFrame::encode(words);
}

// Collects the debug lines written while it lives.
class MessageCapture
{
public:
    MessageCapture()
    {
        current = this;
        previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return collected;
    }
    int count(const QString &line) const
    {
        QMutexLocker lock(&mutex);
        return collected.count(line);
    }
    int countStartingWith(const QString &prefix) const
    {
        QMutexLocker lock(&mutex);
        int n = 0;
        for (const QString &line : collected)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }
    void clear()
    {
        QMutexLocker lock(&mutex);
        collected.clear();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (!current)
            return;
        // Only the debug log is the window's diagnostics; the test's own reports pass through.
        if (type != QtDebugMsg) {
            if (current->previous)
                current->previous(type, context, message);
            return;
        }
        QMutexLocker lock(&current->mutex);
        current->collected << message;
    }

    static inline MessageCapture *current = nullptr;
    QtMessageHandler previous = nullptr;
    mutable QMutex mutex;
    QStringList collected;
};

// A UDP port that nothing on this machine is bound to right now.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress))
        return 0;
    return probe.localPort();
}

// The serial ports of the window that are open now (closed ones are only waiting for deletion).
inline int openSerialPortCount(const QWidget &window)
{
    int open = 0;
    for (const QSerialPort *port : window.findChildren<QSerialPort *>())
        open += port->isOpen() ? 1 : 0;
    return open;
}

} // namespace LinkTest
