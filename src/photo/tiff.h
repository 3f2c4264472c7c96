#pragma once
// TIFF directories, in a file and inside maker notes. A Block is a stretch of the file that a
// structure may not leave (an APP1 segment, a maker note of the length its entry gives) together
// with the base its offsets count from and its byte order. Every entry comes out as a small value
// whose bytes are known to lie inside the block.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "photo/byte_reader.h"
#include "photo/range_cache.h"

struct Block {
    std::uint64_t begin = 0, end = 0; // file positions [begin, end)
    std::int64_t base = 0;            // file position of offset 0; may lie before the block, or
                                      // before the file (a maker note moved by a converter)
    ByteOrder order = ByteOrder::Little;

    std::uint64_t length() const noexcept { return end - begin; }
    // File position of `offset`, when `size` bytes from there lie inside the block.
    std::optional<std::uint64_t> at(std::int64_t offset, std::uint64_t size) const noexcept;
};

struct IfdEntry {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::uint64_t size = 0;   // count times the type's width; 0 for a type we do not know
    std::uint64_t valuePos = 0; // where the value's bytes are in the file
    bool valueInside = false;   // false when the value would lie outside the block
};

struct Ifd {
    std::vector<IfdEntry> entries;
    std::uint64_t pos = 0; // file position of the entry count

    const IfdEntry* find(std::uint16_t tag) const noexcept;
};

// Walks directories with the limits a file cannot talk its way past: each directory is read at
// most once (so pointers that loop are refused), nesting is limited, and an entry count beyond
// what any camera writes rejects the directory.
class IfdWalker {
public:
    static constexpr std::uint16_t kMaxEntries = 1024;
    static constexpr int kMaxDepth = 6;

    explicit IfdWalker(FileView& file) noexcept : file_(file) {}

    // The directory at `offset` from the block's base, at nesting `depth` (0 for a file's first).
    std::optional<Ifd> read(const Block& block, std::int64_t offset, int depth);

    FileView& file() noexcept { return file_; }

private:
    void notePastEnd(const Block& block, std::int64_t offset, std::uint64_t size);

    FileView& file_;
    std::vector<std::uint64_t> visited_;
};

// The value's bytes (at most `limit` of them), or empty when they cannot be read.
std::span<const std::uint8_t> entryBytes(FileView& file, const IfdEntry& entry, std::uint64_t limit = 1u << 20);
// The first number of a SHORT or LONG entry, in the block's order.
std::optional<std::uint32_t> entryNumber(FileView& file, const IfdEntry& entry, ByteOrder order);
// An ASCII entry as printable text: up to the first NUL, other control bytes and bytes above
// 0x7E dropped, trailing spaces trimmed, at most 64 characters.
std::string entryText(FileView& file, const IfdEntry& entry);

// A TIFF header at `pos`: its byte order and the first directory's offset. Besides 42 the magic
// may be 0x55 (Panasonic RW2) or 0x4F52 / 0x5352 (Olympus ORF).
struct TiffHeader {
    ByteOrder order = ByteOrder::Little;
    std::uint32_t firstIfd = 0;
};
std::optional<TiffHeader> parseTiffHeader(std::span<const std::uint8_t> eight);
