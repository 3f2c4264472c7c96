#include "photo/range_cache.h"

#include <algorithm>
#include <iterator>

std::span<const std::uint8_t> RangeCache::find(std::uint64_t offset, std::uint64_t length) const noexcept
{
    auto it = chunks_.upper_bound(offset);
    if (it == chunks_.begin()) return {};
    --it;
    const std::uint64_t into = offset - it->first;
    const auto& bytes = it->second;
    if (into > bytes.size() || length > bytes.size() - into) return {};
    return std::span<const std::uint8_t>(bytes).subspan(static_cast<std::size_t>(into),
                                                        static_cast<std::size_t>(length));
}

RangeCache::Gap RangeCache::gapFor(std::uint64_t offset, std::uint64_t length, std::uint64_t minimum) const noexcept
{
    // Skip the part already held at the start of the range.
    auto it = chunks_.upper_bound(offset);
    if (it != chunks_.begin()) {
        const auto prev = std::prev(it);
        const std::uint64_t end = prev->first + prev->second.size();
        if (end > offset) {
            length -= std::min(length, end - offset);
            offset = end;
        }
    }
    if (offset >= size_) return {offset, 0};
    std::uint64_t want = std::max(length, minimum);
    want = std::min(want, size_ - offset);
    if (it != chunks_.end() && it->first > offset) want = std::min(want, it->first - offset);
    return {offset, want};
}

void RangeCache::add(std::uint64_t offset, std::span<const std::uint8_t> bytes, std::uint64_t asked)
{
    if (bytes.size() < asked && offset + bytes.size() < size_) size_ = offset + bytes.size();
    if (bytes.empty() || offset >= size_) return;
    // Keep only bytes that are new and inside the file, so chunks never overlap.
    const std::uint64_t within = std::min<std::uint64_t>(bytes.size(), size_ - offset);
    const Gap gap = gapFor(offset, within, 0);
    if (gap.offset != offset || gap.length == 0) return;
    bytes = bytes.first(static_cast<std::size_t>(gap.length));
    supplied_ += bytes.size();

    auto next = chunks_.lower_bound(offset);
    if (next != chunks_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second.size() == offset) {
            prev->second.insert(prev->second.end(), bytes.begin(), bytes.end());
            if (next != chunks_.end() && next->first == offset + bytes.size()) {
                prev->second.insert(prev->second.end(), next->second.begin(), next->second.end());
                chunks_.erase(next);
            }
            return;
        }
    }
    std::vector<std::uint8_t> chunk(bytes.begin(), bytes.end());
    if (next != chunks_.end() && next->first == offset + bytes.size()) {
        chunk.insert(chunk.end(), next->second.begin(), next->second.end());
        chunks_.erase(next);
    }
    chunks_.emplace(offset, std::move(chunk));
}

std::span<const std::uint8_t> FileView::get(std::uint64_t offset, std::uint64_t length) noexcept
{
    if (length == 0) return {};
    if (offset > cache_.size() || length > cache_.size() - offset) {
        ++pastEnds_;
        return {};
    }
    const auto bytes = cache_.find(offset, length);
    if (bytes.empty() && !missing_) {
        missing_ = true;
        need_ = cache_.gapFor(offset, length, kMinRequest);
    }
    return bytes;
}

std::span<const std::uint8_t> FileView::getUpTo(std::uint64_t offset, std::uint64_t length) noexcept
{
    if (offset >= cache_.size()) {
        ++pastEnds_;
        return {};
    }
    // Fewer bytes than asked for: the structure read runs past the file's end.
    if (length > cache_.size() - offset) ++pastEnds_;
    return get(offset, std::min(length, cache_.size() - offset));
}

bool FileView::fits(std::uint64_t offset, std::uint64_t length) noexcept
{
    if (offset <= cache_.size() && length <= cache_.size() - offset) return true;
    ++pastEnds_;
    return false;
}

void FileView::prefetch(std::uint64_t offset, std::uint64_t length) noexcept
{
    if (offset >= cache_.size()) return;
    const std::uint64_t within = std::min(length, cache_.size() - offset);
    if (cache_.find(offset, within).empty() && !missing_) {
        missing_ = true;
        need_ = cache_.gapFor(offset, within, kMinRequest);
    }
}
