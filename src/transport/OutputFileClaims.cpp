#include "transport/OutputFileClaims.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <unordered_map>

namespace transport {

namespace {

std::mutex ClaimsLock;

std::unordered_map<std::string, uint64_t>& Claims() {
    static auto* claims = new std::unordered_map<std::string, uint64_t>();
    return *claims;
}

}  // namespace

uint64_t NewOutputFileOwner() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

void ClaimOutputFile(const std::string& name, uint64_t owner) {
    std::lock_guard lock(ClaimsLock);
    Claims()[name] = owner;
}

bool EndOutputFileClaim(const std::string& name, uint64_t owner, bool remove) {
    std::lock_guard lock(ClaimsLock);
    const auto found = Claims().find(name);
    if (found == Claims().end() || found->second != owner) return false;
    Claims().erase(found);
    // Removed under the lock, so that no other request can create the file in between.
    if (remove) std::remove(name.c_str());
    return true;
}

}  // namespace transport
