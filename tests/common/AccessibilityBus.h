#pragma once

#include <sys/types.h>
#include <string>

namespace testing_support {

// The accessibility bus as a desktop session runs it: a private session bus (a dbus-daemon that
// starts no service by itself) with at-spi2-core's launcher on it, which starts the accessibility
// bus and its registry (which lists the applications that register) and hands out the bus's
// address. All end with the object. Made before the application, so that Qt's bridge finds it
// through the session bus at start.
class TAccessibilityBus {
public:
    TAccessibilityBus();
    ~TAccessibilityBus();
    TAccessibilityBus(const TAccessibilityBus&) = delete;
    TAccessibilityBus& operator=(const TAccessibilityBus&) = delete;

    // The accessibility bus is up and the registry owns its name on it.
    bool Running() const { return running_; }
    const std::string& SessionAddress() const { return session_; }  // for DBUS_SESSION_BUS_ADDRESS
    const std::string& Address() const { return address_; }         // the accessibility bus

private:
    pid_t bus_ = -1, launcher_ = -1;
    std::string session_, address_;
    bool running_ = false;
};

}  // namespace testing_support
