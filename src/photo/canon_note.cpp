// Canon: the maker note is a bare IFD in the Exif TIFF's byte order with offsets from the TIFF
// header; in CR3 it is box CMT3, a TIFF of its own. Only a few bodies store a shutter count, each
// in its own place, so only the models below give one, matched whole: "Canon EOS R5 C" and
// "Canon EOS R50 V" are other cameras. FileNumber / FileIndex is folder-and-file numbering and
// never a count (an EOS 30D value once called its shutter count was the file number), and the
// R6 Mark III's CameraInfo counter counts images since the card was formatted.

#include <algorithm>
#include <iterator>
#include <string_view>

#include "photo/maker_note.h"

namespace {

constexpr std::uint16_t kCameraInfo = 0x000D;
constexpr std::uint16_t kFileInfo = 0x0093;

enum class CanonField {
    FileInfoBigEndian, // FileInfo bytes 2-5, trusted only in a big-endian file
    FileInfoSwapped,   // FileInfo bytes 2-5 with their 16-bit halves swapped
    CameraInfoPlusOne, // CameraInfo int32u, stored as count - 1
    CameraInfo,        // CameraInfo int32u
};

struct CanonModel {
    std::string_view model;
    CanonField field;
    std::uint16_t offset = 0;    // into CameraInfo in a JPEG or HEIF
    std::uint16_t cr3Offset = 0; // into CameraInfo in a CR3; 0 where the same
    Caveat caveat = Caveat::None;
};

constexpr CanonModel kModels[] = {
    {"Canon EOS-1D", CanonField::FileInfoBigEndian},
    {"Canon EOS-1DS", CanonField::FileInfoBigEndian},
    {"Canon EOS-1Ds", CanonField::FileInfoBigEndian},
    {"Canon EOS-1D Mark II", CanonField::FileInfoSwapped},
    {"Canon EOS-1D Mark II N", CanonField::FileInfoSwapped},
    {"Canon EOS-1Ds Mark II", CanonField::FileInfoSwapped, 0, 0, Caveat::CanonSettingsFileChange},
    {"Canon EOS-1Ds Mark II N", CanonField::FileInfoSwapped, 0, 0, Caveat::CanonSettingsFileChange},
    {"Canon EOS-1D Mark III", CanonField::CameraInfoPlusOne, 0x176, 0, Caveat::CanonMayBeInvalid},
    {"Canon EOS-1Ds Mark III", CanonField::CameraInfoPlusOne, 0x176, 0, Caveat::CanonMayBeInvalid},
    {"Canon EOS R5", CanonField::CameraInfo, 0xAF1},
    {"Canon EOS R6", CanonField::CameraInfo, 0xAF1},
    {"Canon EOS R6m2", CanonField::CameraInfo, 0xD29},
    {"Canon EOS R8", CanonField::CameraInfo, 0xD29},
    {"Canon EOS R50", CanonField::CameraInfo, 0xD29},
    {"Canon PowerShot G5 X Mark II", CanonField::CameraInfo, 0x293, 0xA95},
};

// Recent bodies that may well store a count, in a place no one has published: "not known yet"
// rather than "not recorded".
constexpr std::string_view kPlaceNotKnown[] = {
    "Canon EOS R1", "Canon EOS R3", "Canon EOS R7", "Canon EOS R10", "Canon EOS R100",
};

const CanonModel* findModel(std::string_view model)
{
    for (const auto& m : kModels)
        if (m.model == model) return &m;
    return nullptr;
}

std::optional<std::uint32_t> u32In(std::span<const std::uint8_t> bytes, std::size_t at, ByteOrder order)
{
    if (at > bytes.size() || 4 > bytes.size() - at) return {};
    return u32at(bytes, at, order);
}

} // namespace

void readCanonNote(const NoteContext& context, PhotoReading& reading)
{
    // Every other Canon body, consumer and most professional ones, stores no count in its photos.
    const CanonModel* model = findModel(reading.model);
    if (!model) {
        const bool notKnown = std::find(std::begin(kPlaceNotKnown), std::end(kPlaceNotKnown), reading.model) !=
                              std::end(kPlaceNotKnown);
        return setNoCount(reading, notKnown ? NoCount::UnknownModel : NoCount::NotRecorded);
    }

    FileView& file = context.walker.file();
    Block block = context.note.block;
    std::int64_t ifdOffset = static_cast<std::int64_t>(block.begin) - block.base;
    if (context.note.completeTiff) {
        const auto tiff = parseTiffHeader(file.getUpTo(block.begin, std::min<std::uint64_t>(8, block.length())));
        if (!tiff) return setNoCount(reading, NoCount::Damaged);
        block.base = static_cast<std::int64_t>(block.begin);
        block.order = tiff->order;
        ifdOffset = tiff->firstIfd;
    }
    const auto ifd = context.walker.read(block, ifdOffset, kNoteDepth);
    if (!ifd) return setNoCount(reading, NoCount::Damaged);

    const bool fileInfo = model->field == CanonField::FileInfoBigEndian || model->field == CanonField::FileInfoSwapped;
    const std::uint16_t tag = fileInfo ? kFileInfo : kCameraInfo;
    const IfdEntry* entry = ifd->find(tag);
    // The same body may keep the field in its JPEGs and HEIFs but not in its CR3s.
    if (!entry) return setNoCount(reading, NoCount::NotRecorded);
    const auto bytes = entryBytes(file, *entry, 64 * 1024);
    if (bytes.empty()) return setNoCount(reading, NoCount::Damaged);

    const std::uint16_t at = context.container == Container::Cr3 && model->cr3Offset ? model->cr3Offset : model->offset;
    std::optional<std::uint32_t> count;
    switch (model->field) {
    case CanonField::FileInfoBigEndian:
        // Seen in little-endian files as a 0 that is no count at all.
        if (block.order == ByteOrder::Big) count = u32In(bytes, 2, block.order);
        break;
    case CanonField::FileInfoSwapped:
        if (const auto raw = u32In(bytes, 2, block.order)) count = *raw >> 16 | *raw << 16;
        break;
    case CanonField::CameraInfoPlusOne:
        if (const auto raw = u32In(bytes, at, block.order); raw && *raw != 0xFFFFFFFF) count = *raw + 1;
        break;
    case CanonField::CameraInfo: count = u32In(bytes, at, block.order); break;
    }
    if (!count || *count == 0) return setNoCount(reading, NoCount::NotUsable);

    reading.count = count;
    reading.kind = CountKind::AllReleases;
    reading.source = "Canon maker note " + hexTag(tag);
    if (!fileInfo) reading.source += " at offset " + hexText(at);
    reading.message = caveatText(model->caveat);
}
