#pragma once
// A bounded cursor over bytes from a photo file, carrying the byte order of the structure it
// reads: TIFF files and maker notes come in both orders, and a Pentax header may lie about its
// own. A read that does not fit sets a sticky failure flag, moves to the end and yields 0; decode
// a structure, then look at failed() once.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

enum class ByteOrder { Little, Big };

// The order a one-byte mark names, as in a TIFF header's "MM" / "II": 'M' big-endian, else little.
inline ByteOrder orderOf(std::uint8_t mark) noexcept { return mark == 'M' ? ByteOrder::Big : ByteOrder::Little; }

class ByteReader {
public:
    ByteReader(std::span<const std::uint8_t> bytes, ByteOrder order) noexcept : bytes_(bytes), order_(order) {}

    ByteOrder order() const noexcept { return order_; }
    std::size_t size() const noexcept { return bytes_.size(); }
    std::size_t pos() const noexcept { return pos_; }
    std::size_t remaining() const noexcept { return bytes_.size() - pos_; }
    bool failed() const noexcept { return failed_; }

    void seek(std::size_t pos) noexcept
    {
        if (pos > bytes_.size()) {
            overrun();
            return;
        }
        pos_ = pos;
    }

    void skip(std::size_t n) noexcept
    {
        if (n > remaining()) {
            overrun();
            return;
        }
        pos_ += n;
    }

    std::uint8_t u8() noexcept
    {
        if (1 > remaining()) return static_cast<std::uint8_t>(overrun());
        return bytes_[pos_++];
    }

    std::uint16_t u16() noexcept
    {
        if (2 > remaining()) return static_cast<std::uint16_t>(overrun());
        const std::uint32_t a = bytes_[pos_], b = bytes_[pos_ + 1];
        pos_ += 2;
        return static_cast<std::uint16_t>(order_ == ByteOrder::Little ? a | b << 8 : a << 8 | b);
    }

    std::uint32_t u32() noexcept
    {
        if (4 > remaining()) return overrun();
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t byte = bytes_[pos_ + i];
            value |= order_ == ByteOrder::Little ? byte << (8 * i) : byte << (8 * (3 - i));
        }
        pos_ += 4;
        return value;
    }

    std::uint64_t u64() noexcept
    {
        if (8 > remaining()) return overrun();
        const std::uint64_t first = u32(), second = u32();
        return order_ == ByteOrder::Little ? first | second << 32 : first << 32 | second;
    }

    // The next n bytes as a span (empty and failed when they are not all there).
    std::span<const std::uint8_t> bytes(std::size_t n) noexcept
    {
        if (n > remaining()) {
            overrun();
            return {};
        }
        const auto out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

private:
    std::uint32_t overrun() noexcept
    {
        failed_ = true;
        pos_ = bytes_.size();
        return 0;
    }

    std::span<const std::uint8_t> bytes_;
    ByteOrder order_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Fixed-order reads of a few bytes at a known place, for callers that already checked the size.
inline std::uint16_t u16at(std::span<const std::uint8_t> b, std::size_t at, ByteOrder order) noexcept
{
    ByteReader r(b, order);
    r.seek(at);
    return r.u16();
}

inline std::uint32_t u32at(std::span<const std::uint8_t> b, std::size_t at, ByteOrder order) noexcept
{
    ByteReader r(b, order);
    r.seek(at);
    return r.u32();
}

// Whether the bytes begin with a signature ("SONY DSC ", "Exif\0\0").
inline bool startsWith(std::span<const std::uint8_t> bytes, std::string_view text) noexcept
{
    return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}
