#pragma once

#include <sys/types.h>
#include <string>

namespace testing_support {

// A private accessibility bus as the desktop runs it: a dbus-daemon of its own (starting no
// service by itself) with at-spi2-core's registry on it, which lists the applications that
// register. Both end with the object. Made before the application, so that Qt's bridge, pointed
// at it through AT_SPI_BUS_ADDRESS, registers at start.
class TAccessibilityBus {
public:
    TAccessibilityBus();
    ~TAccessibilityBus();
    TAccessibilityBus(const TAccessibilityBus&) = delete;
    TAccessibilityBus& operator=(const TAccessibilityBus&) = delete;

    // The bus is up and the registry owns its name on it.
    bool Running() const { return running_; }
    const std::string& Address() const { return address_; }

private:
    pid_t bus_ = -1, registry_ = -1;
    std::string address_;
    bool running_ = false;
};

}  // namespace testing_support
