#pragma once
// Captures what the system plays on its default output device and appends
// the raw frames to a CMemMq, on a Qt thread of its own.
//
// Typical use: create the object and a queue, init(&queue), start(); read the
// queue with CMemMq::Dequeue on a thread of your own; stop() and wait() when
// done. The bytes are frames in the device's mix format, with no header and
// no packet boundaries; when nothing plays, zero frames are appended for the
// time that passed, so the stream keeps pace with the clock. Bytes that do
// not fit into the queue are dropped.
//
// The thread is the queue's only producer and takes no locks. One object
// serves one capture: after a stop, a later run ends at once.

#include <QThread>

#include <atomic>
#include <cstdint>

#include "dorvane/DorvaneExport.h"

class CMemMq;

class DORVANE_API sysAudioCaptureThread : public QThread {
    Q_OBJECT

public:
    sysAudioCaptureThread();
    // The argument is not passed on: the object never has a Qt parent, and
    // whoever creates it deletes it.
    explicit sysAudioCaptureThread(QObject* parent);
    // Deleting a running capture stops it and waits for its thread to end.
    ~sysAudioCaptureThread() override;

    // Hands over the queue (not owned; it must outlive the capture; null
    // captures without appending). Before or after start(). Returns 0.
    int init(CMemMq* queue);
    // Asks the thread to end; it does so within about 25 ms. Returns at once.
    void stop();

protected:
    void run() override;

private:
    // The four fields and their order are part of the binary interface.
    std::atomic<std::int32_t> m_stop;
    std::atomic<std::int32_t> m_finished;
    std::atomic<std::int32_t> m_ready;
    std::atomic<CMemMq*> m_queue;

    friend struct sysAudioCaptureThreadProbe;  // read by the tests
};
