#include "photo/photo_c_api.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"

struct TbPhoto {
    explicit TbPhoto(std::uint64_t size) : reader(size) {}
    PhotoReader reader;
    std::vector<unsigned char> buffer;
    std::string json;
};

namespace {

// The reader never asks for more than 1 MiB at once; a page asking for more is mistaken.
constexpr unsigned kMaxBuffer = 1u << 20;

std::uint64_t sizeFrom(double size)
{
    // NaN, negatives and sizes beyond what a double holds exactly count as an empty file.
    if (!(size >= 0) || size > 9007199254740992.0) return 0;
    return static_cast<std::uint64_t>(size);
}

} // namespace

extern "C" {

TbPhoto* tb_photo_open(double fileSize) { return new (std::nothrow) TbPhoto(sizeFrom(fileSize)); }

int tb_photo_done(const TbPhoto* p) { return !p || p->reader.done() ? 1 : 0; }

double tb_photo_wanted_offset(const TbPhoto* p)
{
    return p && !p->reader.done() ? static_cast<double>(p->reader.wanted().offset) : 0;
}

unsigned tb_photo_wanted_length(const TbPhoto* p) { return p && !p->reader.done() ? p->reader.wanted().length : 0; }

unsigned char* tb_photo_buffer(TbPhoto* p, unsigned length)
{
    if (!p || length > kMaxBuffer) return nullptr;
    p->buffer.resize(std::max(length, 1u));
    return p->buffer.data();
}

void tb_photo_supply(TbPhoto* p, unsigned length)
{
    if (!p || p->reader.done()) return;
    const std::size_t n = std::min<std::size_t>(length, p->buffer.size());
    p->reader.supply(std::span<const std::uint8_t>(p->buffer.data(), n));
}

const char* tb_photo_result_json(TbPhoto* p)
{
    // The members of the page's JSON (photoReadingJson for JsonFor::Page), none set.
    if (!p) return "{\"ok\":false,\"count\":null,\"mechanical\":null,\"kind\":null,\"make\":null,\"model\":null,"
                   "\"source\":null,\"message\":\"Out of memory.\",\"rated\":null,\"rated_by\":null,\"serial\":null,"
                   "\"taken\":null,\"rating\":[]}";
    p->json = photoReadingJson(p->reader.reading(), {}, JsonFor::Page);
    return p->json.c_str();
}

namespace {
// A model string from a link: the program's are at most 255 characters of UTF-8.
constexpr unsigned kMaxModel = 1024;
char ratingModel[kMaxModel];
std::string ratingText;
} // namespace

char* tb_rating_model(unsigned length) { return length <= kMaxModel ? ratingModel : nullptr; }

const char* tb_rating_json(unsigned length, double mechanical)
{
    const std::string_view model(ratingModel, std::min(length, kMaxModel));
    std::optional<std::uint32_t> counted;
    if (mechanical >= 0 && mechanical <= 4294967295.0) counted = static_cast<std::uint32_t>(mechanical);
    ratingText = ratingJson(model, counted);
    return ratingText.c_str();
}

double tb_photo_bytes_supplied(const TbPhoto* p) { return p ? static_cast<double>(p->reader.bytesSupplied()) : 0; }

void tb_photo_close(TbPhoto* p) { delete p; }

}
