#include "window/platform/x11/atspi_bus.h"

#include <dbus/dbus.h>

#include <sys/stat.h>

#include <cstdlib>

namespace dorvane::atspi {

namespace {

constexpr int kAskTimeoutMs = 1000;
constexpr std::chrono::seconds kLookAgainAfter{3};

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Whether libdbus would find a session bus without launching one: it takes
// DBUS_SESSION_BUS_ADDRESS, or the per-user socket in XDG_RUNTIME_DIR.
bool sessionBusNamed() {
    if (!environment("DBUS_SESSION_BUS_ADDRESS").empty()) return true;
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    struct stat info {};
    return stat((runtime + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A private connection that does not end the process when it closes (the
// default for a bus connection).
DBusConnection* openQuietly(DBusConnection* connection) {
    if (connection != nullptr) dbus_connection_set_exit_on_disconnect(connection, FALSE);
    return connection;
}

void closeConnection(DBusConnection* connection) {
    if (connection == nullptr) return;
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

std::string askSessionBus() {
    if (!sessionBusNamed()) return {};
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* session = openQuietly(dbus_bus_get_private(DBUS_BUS_SESSION, &error));
    dbus_error_free(&error);
    if (session == nullptr) return {};
    std::string address;
    DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    if (call != nullptr) {
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, call, kAskTimeoutMs, &error);
        const char* text = nullptr;
        if (reply != nullptr && dbus_message_get_args(reply, &error, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) &&
            text != nullptr)
            address = text;
        dbus_error_free(&error);
        if (reply != nullptr) dbus_message_unref(reply);
        dbus_message_unref(call);
    }
    closeConnection(session);
    return address;
}

}  // namespace

std::string resolveBusAddress(const std::string& rootProperty) {
    const std::string named = environment("AT_SPI_BUS_ADDRESS");
    if (!named.empty()) return named;
    if (!rootProperty.empty()) return rootProperty;
    return askSessionBus();
}

BusWatch::~BusWatch() {
    close();
}

bool BusWatch::reachable(const std::string& rootProperty) {
    if (probe_ != nullptr) {
        if (connected()) return true;
        // Gone just now: where it went (a bus started again elsewhere) is
        // worth one look at once.
        close();
        nextLook_ = {};
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook_) return false;
    nextLook_ = now + kLookAgainAfter;

    const std::string address = resolveBusAddress(rootProperty);
    if (address.empty()) return false;
    DBusError error;
    dbus_error_init(&error);
    probe_ = openQuietly(dbus_connection_open_private(address.c_str(), &error));
    // Only a bus answers the greeting; a socket of something else does not.
    if (probe_ != nullptr && !dbus_bus_register(probe_, &error)) close();
    dbus_error_free(&error);
    return probe_ != nullptr;
}

bool BusWatch::connected() {
    // Reading without waiting notices a closed socket; what arrived (the
    // bus's signals to every new connection) is dropped.
    dbus_connection_read_write(probe_, 0);
    while (DBusMessage* message = dbus_connection_pop_message(probe_)) dbus_message_unref(message);
    return dbus_connection_get_is_connected(probe_) != FALSE;
}

void BusWatch::close() {
    closeConnection(probe_);
    probe_ = nullptr;
}

}  // namespace dorvane::atspi
