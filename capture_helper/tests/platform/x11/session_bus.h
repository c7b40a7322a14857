#pragma once
// A private session bus for a test, as a desktop session has one: the
// accessibility bus and its registry are started from it on first demand,
// through the system's service files. Everything it starts shares its process
// group and ends with it.

#include <sys/types.h>

#include <string>

namespace dorvane::testing {

class SessionBus {
public:
    SessionBus() = default;
    ~SessionBus() { stop(); }
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // False (with the reason in error()) if it did not come up.
    bool start();
    // Ends the bus and what it started, and waits until they are gone.
    void stop();
    // For DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }
    const std::string& error() const { return error_; }

private:
    pid_t group_ = -1;
    std::string address_;
    std::string error_;
};

}  // namespace dorvane::testing
