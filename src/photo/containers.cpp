#include "photo/containers.h"

#include <cstring>
#include <string_view>

namespace {

constexpr unsigned kMaxSegments = 1024; // JPEG segments before the image data
constexpr unsigned kMaxBoxes = 1024;    // ISO-BMFF boxes at one level
constexpr std::uint64_t kMaxBoxRead = 1 << 20;
// Items and extents walked in a HEIF item location box, all items together. Real files list a
// few hundred items of one extent each; with field sizes of 0 an extent takes no bytes, so the
// box's length alone would let 65,535 items of 65,535 extents each cost seconds.
constexpr unsigned kMaxIlocSteps = 16384;

std::uint32_t fourcc(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
           std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint8_t(s[3]);
}

// The Exif TIFF in the JPEG that spans [begin, end).
Located findJpegExif(FileView& file, std::uint64_t begin, std::uint64_t end)
{
    const auto soi = file.get(begin, 2);
    if (soi.empty()) return {{}, NoCount::Damaged}; // a RAF's JPEG past the end: cut short, or damage
    if (soi[0] != 0xFF || soi[1] != 0xD8) return {{}, NoCount::NotPhoto};
    std::uint64_t pos = begin + 2;
    for (unsigned i = 0; i < kMaxSegments && pos < end; ++i) {
        const auto marker = file.get(pos, 2);
        if (marker.empty()) return {{}, NoCount::Damaged};
        if (marker[0] != 0xFF) return {{}, NoCount::Damaged};
        if (marker[1] == 0xFF) { // fill byte before a marker
            ++pos;
            continue;
        }
        if (marker[1] == 0x01 || (marker[1] >= 0xD0 && marker[1] <= 0xD8)) { // markers without a length
            pos += 2;
            continue;
        }
        // Image data or its end: no Exif before it.
        if (marker[1] == 0xDA || marker[1] == 0xD9) return {{}, NoCount::NoExif};
        const auto lengthBytes = file.get(pos + 2, 2);
        if (lengthBytes.empty()) return {{}, NoCount::Damaged};
        const std::uint16_t length = u16at(lengthBytes, 0, ByteOrder::Big);
        if (length < 2) return {{}, NoCount::Damaged};
        file.fits(pos, 2u + length); // a segment longer than what is left: cut short
        if (marker[1] == 0xE1 && length >= 2 + 6 + 8) {
            file.prefetch(pos, 2u + length);
            const auto tag = file.get(pos + 4, 6);
            if (tag.empty()) return {{}, NoCount::Damaged};
            if (startsWith(tag, std::string_view("Exif\0\0", 6))) {
                const std::uint64_t tiff = pos + 10;
                return {ExifLocation{Container::Jpeg, {tiff, pos + 2 + length, static_cast<std::int64_t>(tiff)}, {}, {}},
                        NoCount::NoExif};
            }
        }
        pos += 2u + length;
    }
    // The segments ran to the file's end with no image data after them: cut short there.
    file.fits(pos, 2);
    return {{}, NoCount::NoExif};
}

struct Box {
    std::uint32_t type = 0;
    std::uint64_t begin = 0, payload = 0, end = 0;
};

// The box at `pos` inside a parent ending at `parentEnd`. A box claiming more than its parent
// holds is cut to the parent (a file cut short keeps its leading boxes readable); one claiming
// more than the file holds tells that the file was cut short.
std::optional<Box> readBox(FileView& file, std::uint64_t pos, std::uint64_t parentEnd)
{
    if (pos > parentEnd || 8 > parentEnd - pos) {
        file.fits(pos, 8);
        return {};
    }
    const auto head = file.get(pos, 8);
    if (head.empty()) return {};
    Box box;
    box.begin = pos;
    box.type = u32at(head, 4, ByteOrder::Big);
    std::uint64_t size = u32at(head, 0, ByteOrder::Big);
    std::uint64_t header = 8;
    if (size == 1) {
        const auto large = file.get(pos + 8, 8);
        if (large.empty()) return {};
        ByteReader r(large, ByteOrder::Big);
        size = r.u64();
        header = 16;
    } else if (size == 0) {
        size = parentEnd - pos;
    }
    if (size < header) return {};
    file.fits(pos, size);
    box.payload = pos + header;
    box.end = size > parentEnd - pos ? parentEnd : pos + size;
    if (box.payload > box.end) return {};
    return box;
}

// The first box of `type` among the children in [begin, end).
std::optional<Box> findBox(FileView& file, std::uint64_t begin, std::uint64_t end, std::uint32_t type)
{
    std::uint64_t pos = begin;
    for (unsigned i = 0; i < kMaxBoxes && pos < end; ++i) {
        const auto box = readBox(file, pos, end);
        if (!box) return {};
        if (box->type == type) return box;
        if (box->end <= pos) return {};
        pos = box->end;
    }
    // The boxes ran up to the file's end without the one asked for: it would have come next.
    if (pos >= file.size()) file.fits(pos, 8);
    return {};
}

std::optional<std::uint64_t> sized(ByteReader& r, unsigned size)
{
    switch (size) {
    case 0: return 0;
    case 4: return r.u32();
    case 8: return r.u64();
    default: return {};
    }
}

// The payload of a box (at most kMaxBoxRead bytes of it).
std::span<const std::uint8_t> payloadOf(FileView& file, const Box& box)
{
    return file.get(box.payload, std::min(box.end - box.payload, kMaxBoxRead));
}

// HEIF: meta -> iinf names the item of type "Exif", iloc says where its bytes are.
Located findHeifExif(FileView& file)
{
    const auto meta = findBox(file, 0, file.size(), fourcc("meta"));
    if (!meta) return {{}, file.missing() ? NoCount::Damaged : NoCount::NoExif};
    const std::uint64_t children = meta->payload + 4; // full box: version and flags
    const auto iinf = findBox(file, children, meta->end, fourcc("iinf"));
    const auto iloc = findBox(file, children, meta->end, fourcc("iloc"));
    if (!iinf || !iloc) return {{}, NoCount::NoExif};

    const auto iinfHead = file.get(iinf->payload, 4);
    if (iinfHead.empty()) return {{}, NoCount::Damaged};
    const std::uint64_t entries = iinf->payload + 4 + (iinfHead[0] == 0 ? 2 : 4);
    std::optional<std::uint32_t> exifId;
    std::uint64_t pos = entries;
    for (unsigned i = 0; i < kMaxBoxes && pos < iinf->end && !exifId; ++i) {
        const auto infe = readBox(file, pos, iinf->end);
        if (!infe || infe->end <= pos) break;
        pos = infe->end;
        if (infe->type != fourcc("infe")) continue;
        const auto b = payloadOf(file, *infe);
        ByteReader r(b, ByteOrder::Big);
        const unsigned version = r.u8();
        r.skip(3);
        if (version < 2) continue;
        const std::uint32_t id = version == 2 ? r.u16() : r.u32();
        r.skip(2); // protection index
        const std::uint32_t type = r.u32();
        if (!r.failed() && type == fourcc("Exif")) exifId = id;
    }
    if (!exifId) return {{}, file.missing() ? NoCount::Damaged : NoCount::NoExif};

    ByteReader r(payloadOf(file, *iloc), ByteOrder::Big);
    const unsigned version = r.u8();
    r.skip(3);
    const unsigned sizes = r.u8(), sizes2 = r.u8();
    const unsigned offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
    const unsigned indexSize = version == 1 || version == 2 ? sizes2 & 15 : 0;
    const std::uint32_t items = version < 2 ? r.u16() : r.u32();
    unsigned steps = 0;
    for (std::uint32_t i = 0; i < items && !r.failed(); ++i) {
        if (++steps > kMaxIlocSteps) return {{}, NoCount::Damaged};
        const std::uint32_t id = version < 2 ? r.u16() : r.u32();
        unsigned method = 0;
        if (version == 1 || version == 2) method = r.u16() & 15;
        r.skip(2); // data reference index
        const auto base = sized(r, baseSize);
        const unsigned extents = r.u16();
        steps += extents;
        if (steps > kMaxIlocSteps) return {{}, NoCount::Damaged};
        std::optional<std::uint64_t> offset, length;
        for (unsigned e = 0; e < extents && !r.failed(); ++e) {
            if (indexSize && !sized(r, indexSize)) return {{}, NoCount::Damaged};
            const auto o = sized(r, offsetSize);
            const auto l = sized(r, lengthSize);
            if (!o || !l) return {{}, NoCount::Damaged};
            if (e == 0) offset = o, length = l;
        }
        if (id != *exifId) continue;
        // Only an item stored in one piece in the file itself is read.
        if (!base || !offset || !length || method != 0 || extents != 1 || r.failed()) return {{}, NoCount::Damaged};
        const std::uint64_t begin = *base + *offset;
        if (begin < *base) return {{}, NoCount::Damaged};
        file.fits(begin, *length); // an item running past the file's end: cut short
        if (begin >= file.size()) return {{}, NoCount::Damaged};
        const std::uint64_t end = *length > file.size() - begin ? file.size() : begin + *length;
        file.prefetch(begin, end - begin);
        // The item starts with a big-endian count of bytes to skip ("Exif\0\0", or none).
        const auto skip = file.get(begin, 4);
        if (skip.empty()) return {{}, NoCount::Damaged};
        const std::uint64_t tiff = begin + 4 + u32at(skip, 0, ByteOrder::Big);
        if (tiff >= end) return {{}, NoCount::Damaged};
        return {ExifLocation{Container::Heif, {tiff, end, static_cast<std::int64_t>(tiff)}, {}, {}}, NoCount::NoExif};
    }
    return {{}, NoCount::Damaged};
}

// CR3: moov -> Canon's uuid box -> CMT1 (IFD0), CMT2 (Exif IFD), CMT3 (maker note), each a TIFF.
Located findCr3Exif(FileView& file)
{
    static constexpr std::uint8_t kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                                    0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
    const auto moov = findBox(file, 0, file.size(), fourcc("moov"));
    if (!moov) return {{}, NoCount::Damaged};
    std::uint64_t pos = moov->payload;
    for (unsigned i = 0; i < kMaxBoxes && pos < moov->end; ++i) {
        const auto box = readBox(file, pos, moov->end);
        if (!box || box->end <= pos) break;
        pos = box->end;
        if (box->type != fourcc("uuid")) continue;
        const auto id = file.get(box->payload, 16);
        if (id.empty() || std::memcmp(id.data(), kCanonUuid, 16) != 0) continue;
        const std::uint64_t children = box->payload + 16;
        file.prefetch(children, box->end - children);
        const auto cmt1 = findBox(file, children, box->end, fourcc("CMT1"));
        if (!cmt1) return {{}, NoCount::Damaged};
        ExifLocation where{Container::Cr3, {cmt1->payload, cmt1->end, static_cast<std::int64_t>(cmt1->payload)}, {}, {}};
        if (const auto cmt2 = findBox(file, children, box->end, fourcc("CMT2")))
            where.cr3Exif = Block{cmt2->payload, cmt2->end, static_cast<std::int64_t>(cmt2->payload)};
        if (const auto cmt3 = findBox(file, children, box->end, fourcc("CMT3")))
            where.cr3Note = Block{cmt3->payload, cmt3->end, static_cast<std::int64_t>(cmt3->payload)};
        return {where, NoCount::NoExif};
    }
    return {{}, NoCount::NoExif};
}

} // namespace

Located locateExif(FileView& file)
{
    const auto head = file.getUpTo(0, 16);
    if (head.size() < 4) return {{}, file.missing() ? NoCount::Damaged : NoCount::NotPhoto};

    if (head[0] == 0xFF && head[1] == 0xD8) return findJpegExif(file, 0, file.size());

    if (parseTiffHeader(head.first(std::min<std::size_t>(8, head.size()))))
        return {ExifLocation{Container::TiffRaw, {0, file.size(), 0}, {}, {}}, NoCount::NoExif};

    if (startsWith(head, "FUJIFILMCCD-RAW ")) {
        const auto where = file.get(84, 8);
        if (where.empty()) return {{}, NoCount::Damaged};
        const std::uint64_t begin = u32at(where, 0, ByteOrder::Big);
        const std::uint64_t length = u32at(where, 4, ByteOrder::Big);
        file.fits(begin, length); // a JPEG running past the file's end: cut short
        if (begin >= file.size()) return {{}, NoCount::Damaged};
        Located found = findJpegExif(file, begin, begin + length);
        if (found.exif) found.exif->container = Container::Raf;
        return found;
    }

    if (head.size() >= 12 && std::memcmp(head.data() + 4, "ftyp", 4) == 0) {
        if (std::memcmp(head.data() + 8, "crx ", 4) == 0) return findCr3Exif(file);
        return findHeifExif(file);
    }
    return {{}, NoCount::NotPhoto};
}
