#pragma once
// Reads the capture thread's flags, which the class keeps to itself.

#include "dorvane/sysAudioCaptureThread.h"

struct sysAudioCaptureThreadProbe {
    static int stopFlag(const sysAudioCaptureThread& t) { return t.m_stop.load(); }
    static int finished(const sysAudioCaptureThread& t) { return t.m_finished.load(); }
    static int ready(const sysAudioCaptureThread& t) { return t.m_ready.load(); }
};
