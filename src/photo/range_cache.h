#pragma once
// What the reader holds of a file: the ranges supplied so far, merged where they touch, and the
// file's size as far as it is known (a short supply means the file ended there). FileView is one
// pass of the parse over it: the parse asks for bytes, gets them when they are all present, and
// otherwise notes the first range it lacks, so the caller can supply it and run the pass again.
// Parsing metadata is cheap; re-running it keeps the parse an ordinary top-to-bottom function.

#include <cstdint>
#include <map>
#include <span>
#include <vector>

class RangeCache {
public:
    explicit RangeCache(std::uint64_t fileSize) noexcept : size_(fileSize) {}

    std::uint64_t size() const noexcept { return size_; }
    std::uint64_t bytesSupplied() const noexcept { return supplied_; }

    // Bytes [offset, offset + length) when every one of them is present, else an empty span.
    std::span<const std::uint8_t> find(std::uint64_t offset, std::uint64_t length) const noexcept;

    // The range worth asking for so that [offset, offset + length) becomes present: starts at the
    // first missing byte, at least `minimum` long, never past the file's end or into bytes already
    // held (nothing is read twice).
    struct Gap { std::uint64_t offset = 0, length = 0; };
    Gap gapFor(std::uint64_t offset, std::uint64_t length, std::uint64_t minimum) const noexcept;

    // Bytes read from `offset`; fewer than `asked` means the file ends after them.
    void add(std::uint64_t offset, std::span<const std::uint8_t> bytes, std::uint64_t asked);

private:
    std::map<std::uint64_t, std::vector<std::uint8_t>> chunks_; // by first offset; never touching
    std::uint64_t size_;
    std::uint64_t supplied_ = 0;
};

class FileView {
public:
    explicit FileView(const RangeCache& cache) noexcept : cache_(cache) {}

    std::uint64_t size() const noexcept { return cache_.size(); }

    // Exactly `length` bytes at `offset`, or an empty span: then either they are not held yet
    // (missing(), the first such range is remembered) or they lie beyond the file's end
    // (pastEnd()). The parse treats both as failure; the caller tells them apart afterwards.
    std::span<const std::uint8_t> get(std::uint64_t offset, std::uint64_t length) noexcept;
    // Up to `length` bytes at `offset`, fewer only where the file ends (then also pastEnd()).
    std::span<const std::uint8_t> getUpTo(std::uint64_t offset, std::uint64_t length) noexcept;
    // Asks for a range without using it yet, so a whole structure comes in one round trip.
    void prefetch(std::uint64_t offset, std::uint64_t length) noexcept;
    // Whether a structure the file declares at [offset, offset + length) lies inside it. One
    // that passes the end counts as a read there would (pastEnd()): the file was cut short,
    // even where the parse stops before reading that far.
    bool fits(std::uint64_t offset, std::uint64_t length) noexcept;

    bool missing() const noexcept { return missing_; }
    bool pastEnd() const noexcept { return pastEnds_ > 0; }
    // How often the pass has met the file's end so far: whether a step of it did, by difference.
    unsigned pastEnds() const noexcept { return pastEnds_; }
    RangeCache::Gap need() const noexcept { return need_; }

    // The smallest range worth a round trip: most metadata sits in a file's first few KiB.
    static constexpr std::uint64_t kMinRequest = 64 * 1024;

private:
    const RangeCache& cache_;
    bool missing_ = false;
    unsigned pastEnds_ = 0;
    RangeCache::Gap need_;
};
