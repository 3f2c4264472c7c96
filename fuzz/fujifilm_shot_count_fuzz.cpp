// Any bytes a Fujifilm body might send for GetDevicePropValue(0xD310): the count is the
// upper half of the first little-endian word (bytes 2 and 3) and nothing else, never read
// past the reply, and nothing when the reply is short or the count is 0.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vendors/fujifilm_shot_count.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size heap copy, so AddressSanitizer catches a read one byte past the end.
    std::vector<std::uint8_t> bytes(data, data + size);
    const auto count = fujifilmShotCount(bytes);

    if (size < 4) {
        check(!count);
        return 0;
    }
    const unsigned upper = bytes[2] | bytes[3] << 8;
    check(count.has_value() == (upper != 0));
    if (count) check(*count == upper);

    // Bytes 0 and 1 and everything after byte 3 mean something else to the camera: changing
    // or cutting them changes nothing.
    bytes[0] ^= 0xFF;
    bytes[1] ^= 0x5A;
    for (std::size_t i = 4; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
    check(fujifilmShotCount(bytes) == count);
    bytes.resize(4);
    check(fujifilmShotCount(bytes) == count);
    return 0;
}
