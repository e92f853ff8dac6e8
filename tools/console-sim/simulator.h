#pragma once

#include "chunker.h"
#include "lineoutput.h"
#include "programmeaudio.h"
#include "simoptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

// Paces frames onto the output: frame slots fall due at the set rate on a fixed time base
// (no drift), each frame is cut into writes, and the writes go out at their time in the slot.
//
// A slot is skipped, not queued, while nobody reads the pseudo-terminal or the device has a
// backlog: a console keeps sending whether anyone listens, and bursts of stale frames would
// show old levels. A frame counts as sent when its last byte has been written.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const SimOptions &options, std::unique_ptr<LineOutput> output, QObject *parent = nullptr);

    void start();
    qint64 framesSent() const { return sent; }
    qint64 slotsSkipped() const { return skipped; }

Q_SIGNALS:
    void finished(int exitCode);

private:
    struct QueuedWrite
    {
        QByteArray bytes;
        qint64 written;
        qint64 dueNs;
        int framesEnded;
    };
    enum class WriteState
    {
        Done,
        DeviceFull,
        Failed
    };

    void tick();
    void fillDueSlots(qint64 nowNs, bool reader);
    void queueFrame(qint64 slotDueNs);
    void queuePiece(const Chunker::Piece &piece, qint64 dueNs);
    WriteState writeDuePieces(qint64 nowNs);
    void dropQueue();
    qint64 slotDueNs(qint64 index) const { return qint64(double(index) * slotNs); }
    bool allGenerated() const { return options.count > 0 && generated >= options.count; }
    void startTimerFor(qint64 nowNs, qint64 wakeNs);

    SimOptions options;
    std::unique_ptr<LineOutput> output;
    ProgrammeAudio audio;
    Chunker chunker;
    QTimer timer;
    QElapsedTimer clock;
    double slotNs;
    qint64 nextSlot = 0;
    qint64 generated = 0; // frames handed to the chunker and not given up
    qint64 sent = 0;
    qint64 skipped = 0;
    std::deque<QueuedWrite> queue;
    qint64 queuedBytes = 0;
    bool hadReader = false;
    bool draining = false;
    qint64 drainDeadlineNs = 0;
};
