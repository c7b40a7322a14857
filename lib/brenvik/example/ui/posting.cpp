#include "ui/posting.h"

#include <atomic>

namespace example {

namespace {
std::atomic<MessageSink*> g_sink{nullptr};
}

void setMessageSink(MessageSink* sink) {
    g_sink.store(sink);
}
MessageSink* messageSink() {
    return g_sink.load();
}

void postLogMessage(const std::string& line) {
    if (MessageSink* sink = g_sink.load()) sink->postLog(line);
}

void postProgressMessage(const ProgressInfo& progress) {
    if (MessageSink* sink = g_sink.load()) sink->postProgress(progress);
}

void postFinishMessage(bool success, const std::string& message, bool restartTarget, bool closeWindow) {
    if (MessageSink* sink = g_sink.load()) {
        FinishInfo finish;
        finish.success = success;
        finish.restartTarget = restartTarget;
        finish.closeWindow = closeWindow;
        finish.message = message;
        sink->postFinish(finish);
    }
}

void PostingObserver::finish(const FinishInfo& finish) {
    if (MessageSink* sink = g_sink.load()) sink->postFinish(finish);
}

}  // namespace example
