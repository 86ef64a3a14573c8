// A typed line read item by item in both modes, through every conversion.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "screen/line_input.h"

using namespace screen;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The decimal rule for an item of an optional sign and digits only.
bool referenceDecimal(const std::string& item, std::int32_t& value) {
    std::size_t at = 0;
    bool negative = false;
    if (at < item.size() && (item[at] == '+' || item[at] == '-')) negative = item[at++] == '-';
    if (at == item.size() || item.size() - at > 18) return false;
    std::uint64_t magnitude = 0;
    for (; at < item.size(); ++at) {
        if (item[at] < '0' || item[at] > '9') return false;
        magnitude = magnitude * 10 + static_cast<unsigned>(item[at] - '0');
    }
    if (magnitude > 0xFFFFFFFFu)
        value = -1;
    else
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? 0u - magnitude : magnitude));
    return true;
}

void readAll(const std::string& line, bool textMode) {
    InputContext context{line, 0};
    const int limit = textMode ? textItemLength : numberItemLength;
    for (int items = 0; items <= static_cast<int>(line.size()) + 1; ++items) {
        const std::size_t before = context.position;
        const InputItem item = readItem(context, limit, textMode);
        require(item.text.size() <= static_cast<std::size_t>(limit));
        require(context.position >= before && context.position <= line.size());
        if (textMode) {
            require(!item.fraction);
        } else {
            const std::int32_t value = itemValue(item);
            std::int32_t expected = 0;
            if (!item.fraction && referenceDecimal(item.text, expected)) require(value == expected);
            (void)itemToReal(item.text);
        }
        if (context.position == line.size()) break;
        require(context.position > before);  // every item read moves on
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    readAll(line, false);
    readAll(line, true);
    (void)itemToInteger(line);
    (void)roundedToInt32(itemToReal(line));
    return 0;
}
