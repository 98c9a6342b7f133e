// Any bytes read as a settings file: nothing crashes, and what is written back reads back the
// same, so a damaged file settles after one rewrite instead of drifting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteString text(reinterpret_cast<const char*>(data), size);
    registry::THive hive = registry::THive::Parse("HKEY_CURRENT_USER", text);
    hive.SetValue("Software\\Quorvel1980Dax\\Connection", "User", 1, ByteString("a\"\\\0", 4));
    const ByteString once = hive.Serialize();
    const registry::THive again = registry::THive::Parse("HKEY_CURRENT_USER", once);
    if (again.Serialize() != once) std::abort();
    uint32_t type = 0;
    ByteString value;
    if (!again.FindValue("software\\quorvel1980dax\\connection", "user", type, value) || type != 1 ||
        value != ByteString("a\"\\\0", 4))
        std::abort();
    return 0;
}
