#include "photo/photo_reader.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "photo/containers.h"
#include "photo/photo_text.h"
#include "photo/range_cache.h"

namespace {

// No file may make the reader loop or read without end: the samples need at most a handful of
// requests and well under 1 MiB.
constexpr unsigned kMaxRequests = 32;
constexpr std::uint64_t kMaxRequest = 1 << 20;
constexpr std::uint64_t kMaxTotal = 4 << 20;
// The maker note comes in one request, up to this much of it.
constexpr std::uint64_t kNotePrefetch = 256 * 1024;

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kModel = 0x0110;
constexpr std::uint16_t kExifIfd = 0x8769;
constexpr std::uint16_t kDngPrivateData = 0xC634;
constexpr std::uint16_t kMakerNote = 0x927C;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kBodySerialNumber = 0xA431;

enum class Brand { Nikon, Sony, Pentax, Canon, Fujifilm, Other };

Brand brandOf(std::string_view make)
{
    if (startsWithNoCase(make, "NIKON")) return Brand::Nikon;
    if (startsWithNoCase(make, "SONY")) return Brand::Sony;
    // Ricoh sells Pentax bodies under its own name and its own cameras under Pentax's: the maker
    // note's header tells them apart.
    if (startsWithNoCase(make, "PENTAX") || startsWithNoCase(make, "RICOH") || startsWithNoCase(make, "ASAHI"))
        return Brand::Pentax;
    if (startsWithNoCase(make, "CANON")) return Brand::Canon;
    if (startsWithNoCase(make, "FUJIFILM")) return Brand::Fujifilm;
    return Brand::Other; // Olympus, OM System, Panasonic and the rest write no count into photos
}

// DNGPrivateData: the camera's own DNG ("PENTAX \0" and a Pentax note) or a converter's records
// ("Adobe\0", then id, big-endian length, payload), whose "MakN" record carries the original
// maker note with the offset it had in the original file; its offsets still count from there.
std::optional<MakerNote> dngMakerNote(FileView& file, const IfdEntry& entry, const Block& tiff)
{
    if (!entry.valueInside || entry.size < 8) return {};
    const std::uint64_t begin = entry.valuePos, end = entry.valuePos + entry.size;
    const auto head = file.get(begin, 8);
    if (head.empty()) return {};
    if (std::equal(head.begin(), head.end(), "PENTAX \0")) return MakerNote{{begin, end, tiff.base, tiff.order}};
    if (!std::equal(head.begin(), head.begin() + 6, "Adobe\0")) return {};
    std::uint64_t pos = begin + 6;
    for (int i = 0; i < 64 && end - pos >= 8; ++i) {
        const auto record = file.get(pos, 8);
        if (record.empty()) return {};
        const std::uint32_t length = u32at(record, 4, ByteOrder::Big);
        const std::uint64_t payload = pos + 8;
        if (length > end - payload) return {};
        if (std::equal(record.begin(), record.begin() + 4, "MakN")) {
            if (length < 6 + 2) return {};
            const auto makn = file.get(payload, 6);
            if (makn.empty()) return {};
            const std::uint32_t originalOffset = u32at(makn, 2, ByteOrder::Big);
            const std::uint64_t note = payload + 6;
            const auto base = static_cast<std::int64_t>(note) - static_cast<std::int64_t>(originalOffset);
            return MakerNote{{note, payload + length, base, orderOf(makn[0])}};
        }
        pos = payload + length;
    }
    return {};
}

bool hasReason(const PhotoReading& r, NoCount why) { return !r.count && r.message == noCountText(why); }

// Where the Exif IFD says which body took the photo and when. Read only once the answer stands,
// from the bytes already held: they must never change what the parse asks for or concludes.
struct BodyEntries {
    std::optional<IfdEntry> serial, taken;
};

PhotoReading parse(FileView& file, BodyEntries& body)
{
    PhotoReading reading;
    const Located located = locateExif(file);
    if (!located.exif) {
        setNoCount(reading, located.why);
        return reading;
    }
    const ExifLocation& where = *located.exif;
    IfdWalker walker(file);

    const auto header = parseTiffHeader(file.get(where.tiff.begin, 8));
    if (!header) {
        setNoCount(reading, NoCount::Damaged);
        return reading;
    }
    const Block tiff{where.tiff.begin, where.tiff.end, where.tiff.base, header->order};
    const auto ifd0 = walker.read(tiff, header->firstIfd, 0);
    if (!ifd0) {
        setNoCount(reading, NoCount::Damaged);
        return reading;
    }
    if (const auto* e = ifd0->find(kMake)) reading.make = entryText(file, *e);
    if (const auto* e = ifd0->find(kModel)) reading.model = entryText(file, *e);

    // The Exif IFD: in the same TIFF, or (CR3) a TIFF of its own. One that is pointed to but
    // cannot be read is damage, not a dropped maker note.
    std::optional<Ifd> exif;
    Block exifBlock = tiff;
    bool exifPointed = false;
    if (where.cr3Exif) {
        exifPointed = true;
        exifBlock = *where.cr3Exif;
        if (const auto h = parseTiffHeader(file.get(exifBlock.begin, 8))) {
            exifBlock.order = h->order;
            exif = walker.read(exifBlock, h->firstIfd, 1);
        }
    } else if (const auto* e = ifd0->find(kExifIfd)) {
        exifPointed = true;
        if (const auto offset = entryNumber(file, *e, tiff.order)) exif = walker.read(tiff, *offset, 1);
    }

    // Which body took the photo and when: the page groups a card's photos by body.
    if (exif) {
        if (const auto* e = exif->find(kBodySerialNumber)) body.serial = *e;
        if (const auto* e = exif->find(kDateTimeOriginal)) body.taken = *e;
    }

    std::optional<MakerNote> note;
    if (exif) {
        if (const auto* e = exif->find(kMakerNote); e && e->valueInside && e->size > 0)
            note = MakerNote{{e->valuePos, e->valuePos + e->size, exifBlock.base, exifBlock.order}};
    }
    if (where.cr3Note) note = MakerNote{*where.cr3Note, true};
    if (!note)
        if (const auto* e = ifd0->find(kDngPrivateData)) note = dngMakerNote(file, *e, tiff);

    const Brand brand = brandOf(reading.make);
    if (brand == Brand::Other) {
        setNoCount(reading, reading.make.empty() && !note ? NoCount::NoExif : NoCount::NotRecorded);
        return reading;
    }
    if (!note) {
        setNoCount(reading, exifPointed && !exif ? NoCount::Damaged : NoCount::MakerNoteMissing);
        return reading;
    }
    file.prefetch(note->block.begin, std::min(note->block.length(), kNotePrefetch));

    const NoteContext context{walker, *note, where.container, exif ? &*exif : nullptr, exifBlock.order};
    const unsigned endsBeforeNote = file.pastEnds();
    switch (brand) {
    case Brand::Nikon: readNikonNote(context, reading); break;
    case Brand::Sony: readSonyNote(context, reading); break;
    case Brand::Pentax: readPentaxNote(context, reading); break;
    case Brand::Canon: readCanonNote(context, reading); break;
    case Brand::Fujifilm: readFujifilmNote(context, reading); break;
    case Brand::Other: break;
    }
    // A note read up to the file's end looks like one without the count, or an unknown body's:
    // what it lacks was cut off.
    if (!reading.count && file.pastEnds() > endsBeforeNote && !file.missing()) setNoCount(reading, NoCount::CutShort);
    return reading;
}

} // namespace

PhotoReader::PhotoReader(std::uint64_t fileSize) : cache_(std::make_unique<RangeCache>(fileSize))
{
    advance();
}

PhotoReader::~PhotoReader() = default;

bool PhotoReader::done() const noexcept { return done_; }
ByteRange PhotoReader::wanted() const noexcept { return wanted_; }
const PhotoReading& PhotoReader::reading() const noexcept { return reading_; }
std::uint64_t PhotoReader::bytesSupplied() const noexcept { return cache_->bytesSupplied(); }

void PhotoReader::supply(std::span<const std::uint8_t> bytes)
{
    if (done_) return;
    cache_->add(wanted_.offset, bytes.first(std::min<std::size_t>(bytes.size(), wanted_.length)), wanted_.length);
    advance();
}

void PhotoReader::advance()
{
    FileView file(*cache_);
    BodyEntries body;
    PhotoReading reading = parse(file, body);
    if (!file.missing()) {
        // Ran into the file's end: a structure was cut off, not merely odd.
        if (file.pastEnd() && (hasReason(reading, NoCount::Damaged) || hasReason(reading, NoCount::NoExif) ||
                               hasReason(reading, NoCount::MakerNoteMissing)))
            setNoCount(reading, NoCount::CutShort);
        FileView held(*cache_);
        if (body.serial) reading.serial = entryText(held, *body.serial);
        if (body.taken) reading.taken = entryText(held, *body.taken);
        reading_ = std::move(reading);
        done_ = true;
        return;
    }
    const auto need = file.need();
    const std::uint64_t length = std::min(need.length, kMaxRequest);
    if (requests_ >= kMaxRequests || length == 0 || cache_->bytesSupplied() + length > kMaxTotal) {
        setNoCount(reading, NoCount::Damaged);
        reading_ = std::move(reading);
        done_ = true;
        return;
    }
    ++requests_;
    wanted_ = {need.offset, static_cast<std::uint32_t>(length)};
}

PhotoReading readPhoto(std::span<const std::uint8_t> file)
{
    PhotoReader reader(file.size());
    while (!reader.done()) {
        const ByteRange w = reader.wanted();
        const std::size_t offset = static_cast<std::size_t>(std::min<std::uint64_t>(w.offset, file.size()));
        const std::size_t length = std::min<std::size_t>(w.length, file.size() - offset);
        reader.supply(file.subspan(offset, length));
    }
    return reader.reading();
}
