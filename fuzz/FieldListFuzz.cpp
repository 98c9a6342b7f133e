// Decoding any byte string must end, keep the strings within the input, and never crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exchange/UtilsUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TStringArray strings = ParseFieldList(text);
    size_t total = 0;
    for (const auto& s : strings) total += s.size();
    // Each string costs at least one byte of length field, so the array is bounded by the input.
    if (strings.size() > size || total > size) abort();
    for (const char* name : {"Delay", "Deny", "Index", "Header", "Title", "Message"}) {
        const ByteString value = FieldValue(strings, name);
        if (value.size() > size) abort();
        int32_t number;
        IsIntegerText(value, number);
    }
    const ByteString encoded = FormEncode(text);
    if (encoded.size() > 3 * size) abort();
    return 0;
}
