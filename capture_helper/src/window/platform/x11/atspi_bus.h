#pragma once
// Where the accessibility bus is, and whether it answers, found the way the
// accessibility client library finds it: AT_SPI_BUS_ADDRESS, else the X root
// window's AT_SPI_BUS property (on X11 only), else the address the session
// bus's org.a11y.Bus service gives.
//
// That library ends the process when it cannot reach the bus it resolved, so
// it may only be started (and used) while this says the bus is there. A bus
// found is watched through a connection of our own: once that connection
// closes, the bus is gone, and it is looked for again no more often than
// every few seconds (asking the session bus takes a round trip, or more
// where the service must be started first).

#include <chrono>
#include <string>

struct DBusConnection;

namespace dorvane::atspi {

class BusWatch {
public:
    BusWatch() = default;
    ~BusWatch();
    BusWatch(const BusWatch&) = delete;
    BusWatch& operator=(const BusWatch&) = delete;

    // Whether the bus can be used now. `rootProperty` is the X root window's
    // AT_SPI_BUS value (empty when it has none or this is no X11 session).
    bool reachable(const std::string& rootProperty);

private:
    bool connected();
    void close();

    DBusConnection* probe_ = nullptr;
    std::chrono::steady_clock::time_point nextLook_{};
};

// The address the library would resolve; empty when it would find none
// without starting a session bus of its own (libdbus's "autolaunch").
std::string resolveBusAddress(const std::string& rootProperty);

}  // namespace dorvane::atspi
