#pragma once
// A bounded little-endian cursor over bytes that came from the camera. Nothing the camera
// sends can make it read outside the span: a read that does not fit sets a sticky failure
// flag, moves to the end and yields 0 (or an empty text). Decode a whole structure, then
// look at failed() once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class PtpReader {
public:
    explicit PtpReader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

    std::size_t pos() const noexcept { return pos_; }
    std::size_t remaining() const noexcept { return bytes_.size() - pos_; }
    bool failed() const noexcept { return failed_; }

    // For a caller that rejects a value it read (a count too large to trust, say).
    void fail() noexcept { failed_ = true; }

    std::uint8_t u8() noexcept
    {
        if (1 > remaining()) return overrun();
        return bytes_[pos_++];
    }

    std::uint16_t u16le() noexcept
    {
        if (2 > remaining()) return overrun();
        const auto value = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return value;
    }

    std::uint32_t u32le() noexcept
    {
        if (4 > remaining()) return overrun();
        const std::uint32_t value = std::uint32_t{bytes_[pos_]} | (std::uint32_t{bytes_[pos_ + 1]} << 8) |
                                    (std::uint32_t{bytes_[pos_ + 2]} << 16) |
                                    (std::uint32_t{bytes_[pos_ + 3]} << 24);
        pos_ += 4;
        return value;
    }

    void skip(std::size_t n) noexcept
    {
        if (n > remaining()) {
            overrun();
            return;
        }
        pos_ += n;
    }

    // A PTP string: a count byte of 16-bit units (the NUL included), then the units. Only
    // printable 7-bit characters are kept; every other unit (control characters, each half
    // of a surrogate pair too) becomes "?", and NUL units are dropped wherever they stand.
    // At most 255 characters.
    std::string readPtpString()
    {
        if (remaining() == 0) {
            failed_ = true;
            return {};
        }
        const unsigned units = bytes_[pos_++];
        std::string text;
        for (unsigned i = 0; i < units; ++i) {
            // After an earlier failure only the count byte is consumed.
            if (failed_) break;
            if (2 > remaining()) {
                overrun();
                break;
            }
            const std::uint16_t unit = u16le();
            if (unit == 0) continue;
            // A control character from the camera (a line feed in its model name, say) would
            // make lines of the camera's choosing in the log and the details report.
            text.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
        }
        return text;
    }

private:
    std::uint8_t overrun() noexcept
    {
        failed_ = true;
        pos_ = bytes_.size();
        return 0;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};
