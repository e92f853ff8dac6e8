#include "simulator.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr qint64 NsPerMs = 1000000;
// Further behind than this (the process was stopped or starved) the slots are given up rather
// than sent in one burst.
constexpr qint64 MostLagNs = 250 * NsPerMs;
// About 60 frames waiting in the simulator on top of the kernel's buffer: the reader has stalled.
constexpr qint64 MostBacklogBytes = 1024;
constexpr int NoReaderPollMs = 20;
constexpr int DeviceFullRetryMs = 5;
constexpr int DrainPollMs = 10;
// A reader that has not taken the last bytes by then is not going to.
constexpr qint64 DrainTimeoutNs = 3000 * NsPerMs;

} // namespace

Simulator::Simulator(const SimOptions &options, std::unique_ptr<LineOutput> output, QObject *parent)
    : QObject(parent), options(options), output(std::move(output)), audio(options.seed),
      // Cut points come from their own stream, so levels stay the same whatever the chunking.
      chunker(options.chunking, options.crlf, options.seed ^ 0x9E3779B9u),
      slotNs(1e9 / options.framesPerSecond)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &Simulator::tick);
}

void Simulator::start()
{
    clock.start();
    timer.start(0);
}

void Simulator::tick()
{
    const qint64 now = clock.nsecsElapsed();
    if (draining) {
        if (output->drained() || now >= drainDeadlineNs) {
            Q_EMIT finished(0);
            return;
        }
        timer.start(DrainPollMs);
        return;
    }

    const bool reader = output->hasReader();
    if (hadReader && !reader) {
        // Whoever opens the device next starts at a frame boundary, with fresh frames.
        dropQueue();
        chunker.reset();
        generated = sent;
    }
    hadReader = reader;

    fillDueSlots(now, reader);
    const WriteState state = writeDuePieces(now);
    if (state == WriteState::Failed) {
        std::fprintf(stderr, "console-sim: writing to %s failed\n", qPrintable(output->description()));
        Q_EMIT finished(1);
        return;
    }
    if (allGenerated() && queue.empty()) {
        draining = true;
        drainDeadlineNs = now + DrainTimeoutNs;
        timer.start(0);
        return;
    }

    if (!reader)
        timer.start(NoReaderPollMs);
    else if (state == WriteState::DeviceFull)
        timer.start(DeviceFullRetryMs);
    else {
        qint64 wake = allGenerated() ? now + NoReaderPollMs * NsPerMs : slotDueNs(nextSlot);
        if (!queue.empty())
            wake = std::min(wake, queue.front().dueNs);
        startTimerFor(now, wake);
    }
}

void Simulator::startTimerFor(qint64 nowNs, qint64 wakeNs)
{
    const qint64 waitMs = wakeNs <= nowNs ? 0 : (wakeNs - nowNs + NsPerMs - 1) / NsPerMs;
    timer.start(int(std::min<qint64>(waitMs, 1000)));
}

void Simulator::fillDueSlots(qint64 nowNs, bool reader)
{
    while (!allGenerated() && slotDueNs(nextSlot) <= nowNs) {
        const qint64 due = slotDueNs(nextSlot);
        const qint64 slotsBehind = qint64(double(nowNs - due) / slotNs);
        if (nowNs - due > MostLagNs && slotsBehind > 0) {
            skipped += slotsBehind;
            nextSlot += slotsBehind;
            continue;
        }
        if (!reader || queuedBytes > MostBacklogBytes)
            ++skipped;
        else
            queueFrame(due);
        ++nextSlot;
    }
}

void Simulator::queueFrame(qint64 slotDue)
{
    const LevelFrame::Levels levels = options.fixedLevels ? options.levels : audio.next(slotNs / 1e9);
    const QByteArray frame = LevelFrame::encodeLevels(levels);
    for (const Chunker::Piece &piece : chunker.cut(frame))
        queuePiece(piece, slotDue + qint64(piece.slotFraction * slotNs));
    ++generated;
    if (allGenerated()) {
        const Chunker::Piece rest = chunker.takeHeldBack();
        if (!rest.bytes.isEmpty())
            queuePiece(rest, slotDue);
    }
}

void Simulator::queuePiece(const Chunker::Piece &piece, qint64 dueNs)
{
    queue.push_back({piece.bytes, 0, dueNs, piece.framesEnded});
    queuedBytes += piece.bytes.size();
}

Simulator::WriteState Simulator::writeDuePieces(qint64 nowNs)
{
    while (!queue.empty() && queue.front().dueNs <= nowNs) {
        QueuedWrite &head = queue.front();
        const qint64 n = output->write(head.bytes, head.written);
        if (n < 0)
            return WriteState::Failed;
        head.written += n;
        queuedBytes -= n;
        if (head.written < head.bytes.size())
            return WriteState::DeviceFull;
        sent += head.framesEnded;
        queue.pop_front();
    }
    return WriteState::Done;
}

void Simulator::dropQueue()
{
    queue.clear();
    queuedBytes = 0;
}
