#include "worker/close_guard.h"

namespace example {

bool CloseGuard::beginApply() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    applying_ = true;
    return true;
}

void CloseGuard::endApply() {
    std::lock_guard<std::mutex> lock(mutex_);
    applying_ = false;
}

bool CloseGuard::requestClose() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (applying_) {
        pending_ = true;
        return false;
    }
    closed_ = true;
    return true;
}

bool CloseGuard::closePending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

void CloseGuard::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    applying_ = false;
    closed_ = false;
    pending_ = false;
}

CloseGuard& closeGuard() {
    static CloseGuard guard;
    return guard;
}

}  // namespace example
