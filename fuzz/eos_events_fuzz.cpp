// Any bytes a Canon body might send from its event channel, as one GetEvent reply or as
// several in a row into one map (the reader collects up to six replies): the parser must stay
// inside each reply, take exactly the records that lie whole within it, and a counter must
// only ever come from a record that holds one plain 32-bit value.
//
// The input is split into replies at every occurrence of kSplit, so a real capture is one
// reply as it is and the fuzzer learns the marker from the comparison below.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "vendors/eos_events.h"

namespace {

constexpr std::uint8_t kSplit[] = {'E', 'O', 'S', '|'};
constexpr std::size_t kMaxReplies = 8;

void check(bool condition)
{
    if (!condition) std::abort();
}

std::vector<std::span<const std::uint8_t>> splitReplies(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::span<const std::uint8_t>> replies;
    std::size_t start = 0;
    for (std::size_t i = 0; i + sizeof kSplit <= size && replies.size() + 1 < kMaxReplies; ++i) {
        if (data[i] == kSplit[0] && std::memcmp(data + i, kSplit, sizeof kSplit) == 0) {
            replies.emplace_back(data + start, i - start);
            i += sizeof kSplit - 1;
            start = i + 1;
        }
    }
    replies.emplace_back(data + start, size - start);
    return replies;
}

std::uint32_t word(const std::vector<std::uint8_t>& b, std::uint64_t at)
{
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

struct Taken {
    std::uint32_t code;
    std::uint32_t value;
    std::uint32_t recordSize;
};

// The record walk, written out again in 64-bit arithmetic so that no sum can wrap: what the
// parser must have taken from one reply, in order.
std::vector<Taken> expectedRecords(const std::vector<std::uint8_t>& b)
{
    std::vector<Taken> taken;
    const std::uint64_t length = b.size();
    std::uint64_t offset = 0;
    while (offset + 8 <= length) {
        const std::uint64_t recordSize = word(b, offset);
        const std::uint32_t type = word(b, offset + 4);
        if (recordSize < 8 || type == 0 || offset + recordSize > length) break;
        if (type == 0xC189 && recordSize >= 16)
            taken.push_back({word(b, offset + 8), word(b, offset + 12), static_cast<std::uint32_t>(recordSize)});
        offset += recordSize;
    }
    return taken;
}

bool printableAscii(const std::wstring& line)
{
    for (wchar_t c : line)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto replies = splitReplies(data, size);

    EosPropertyMap map;
    std::map<std::uint32_t, Taken> expected;
    for (const auto& reply : replies) {
        // An exact-size heap copy, so AddressSanitizer catches a read one byte past the end.
        const std::vector<std::uint8_t> bytes(reply.begin(), reply.end());
        const std::int32_t n = parseEosEvents(bytes, map);

        const std::vector<Taken> records = expectedRecords(bytes);
        for (const Taken& t : records) expected[t.code] = t;

        // Every record taken holds at least 16 bytes of this reply.
        check(n >= 0 && static_cast<std::uint64_t>(n) <= bytes.size() / 16);
        check(static_cast<std::size_t>(n) == records.size());
        check(map.size() == expected.size());
        for (const auto& [code, want] : expected) {
            const auto it = map.find(code);
            check(it != map.end());
            check(it->second.value == want.value);
            check(it->second.valueBytes == want.recordSize - 12);
        }

        // Parsing is a pure function of the bytes and the map: the same reply into a copy of
        // the map takes the same records and ends in the same map.
        EosPropertyMap again = map;
        check(parseEosEvents(bytes, again) == n);
        check(again.size() == map.size());
    }

    for (const std::uint32_t code : {kEosShutterCounter, kEosShutterReleaseCounter}) {
        const auto counter = eosCounterValue(map, code);
        const auto it = expected.find(code);
        // A counter only from a plain 16-byte record: a 4-byte value, never part of a
        // structure, a string or a short value.
        if (counter) {
            check(it != expected.end() && it->second.recordSize == 16 && *counter == it->second.value);
        } else {
            check(it == expected.end() || it->second.recordSize != 16);
        }
        const std::wstring line = eosCounterLine(map, code);
        check(!line.empty() && line.size() < 64 && printableAscii(line));
        if (counter) check(line.size() > 10 && line.substr(line.size() - std::to_wstring(*counter).size()) ==
                                                    std::to_wstring(*counter));
    }
    return 0;
}
