// Sony: the maker note is "SONY DSC \0\0\0" and an IFD in the file's byte order (JPEG, HEIF), or
// the IFD alone (ARW); offsets count from the Exif TIFF header. Since 2011 the count sits in tag
// 0x9050, a block run through a byte cipher, at a place that depends on the body's generation, and
// compacts carry the same block with unrelated data at those places; the 2009-2011 bodies keep it
// in tag 0x0020 instead (sony_0020.cpp). So the model decides everything: a body not in a table
// gets no number, however clean a guess would decode.

#include <algorithm>
#include <array>
#include <string_view>

#include "photo/maker_note.h"
#include "photo/sony_0020.h"

namespace {

enum class Sony9050 {
    a,          // 2011 to mid-2015 bodies: count at 0x32
    b,          // mid-2015 to mid-2020: 0x3A
    c,          // from mid-2020: 0x3A
    d,          // from 2023: 0x0A, mechanical releases only
    dIfZeroed,  // 9050d only when the block starts with five zero bytes, otherwise not known
    unknown,    // a body whose count, if it writes one, is in no documented place
    none,       // the body writes no count (no mechanical shutter, a compact, or too old)
};

// Counters stored beside the count in the same block, each equal to it (or one less, `lag`) when
// valid; a disagreeing one means the block is not laid out as the table says. ShutterCount2 is not
// kept up on a shot with flash, so it is compared only when the flash did not fire.
// Names are matched whole: "ILCE-7C" is not "ILCE-7CM2", nor "ZV-E10" "ZV-E10M2".
struct SonyModel {
    std::string_view model;
    Sony9050 layout;
    std::uint16_t count2 = 0;     // ShutterCount2 (0 in the block means absent); 0: none
    std::uint16_t count3 = 0;     // ShutterCount3 (0 in the block means absent); 0: none
    std::uint8_t count3Lag = 0;
    Caveat caveat = Caveat::None;
};

constexpr SonyModel kModels[] = {
    // 9050a
    {"SLT-A37", Sony9050::a},
    {"SLT-A57", Sony9050::a},
    {"SLT-A58", Sony9050::a},
    {"SLT-A65", Sony9050::a},
    {"SLT-A65V", Sony9050::a},
    {"SLT-A77", Sony9050::a},
    {"SLT-A77V", Sony9050::a},
    {"SLT-A99", Sony9050::a},
    {"SLT-A99V", Sony9050::a},
    {"NEX-3N", Sony9050::a},
    {"NEX-5N", Sony9050::a},
    {"NEX-5R", Sony9050::a},
    {"NEX-5T", Sony9050::a},
    {"NEX-6", Sony9050::a},
    {"NEX-7", Sony9050::a},
    {"NEX-F3", Sony9050::a},
    {"NEX-VG20E", Sony9050::a},
    {"NEX-VG30E", Sony9050::a},
    {"NEX-VG900", Sony9050::a},
    {"ILCA-68", Sony9050::a},
    {"ILCA-77M2", Sony9050::a},
    {"ILCE-3000", Sony9050::a},
    {"ILCE-3500", Sony9050::a},
    {"ILCE-5000", Sony9050::a, 0x4C},
    {"ILCE-5100", Sony9050::a, 0x4C},
    {"ILCE-6000", Sony9050::a, 0x4C},
    {"ILCE-7", Sony9050::a, 0x4C},
    {"ILCE-7R", Sony9050::a, 0x4C, 0, 0, Caveat::SonyWrapsAt65536},
    {"ILCE-7S", Sony9050::a, 0x4C},
    {"ILCE-7M2", Sony9050::a, 0x4C},
    {"ILCE-QX1", Sony9050::a, 0x4C},
    // 9050b
    {"ILCE-6100", Sony9050::b},
    {"ILCE-6100A", Sony9050::b},
    {"ILCE-6300", Sony9050::b},
    {"ILCE-6400", Sony9050::b},
    {"ILCE-6400A", Sony9050::b},
    {"ILCE-6500", Sony9050::b},
    {"ILCE-6600", Sony9050::b},
    {"ILCE-7C", Sony9050::b},
    {"ILCE-7M3", Sony9050::b},
    {"ILCE-7RM2", Sony9050::b},
    {"ILCE-7RM3", Sony9050::b},
    {"ILCE-7RM3A", Sony9050::b},
    {"ILCE-7RM4", Sony9050::b},
    {"ILCE-7RM4A", Sony9050::b},
    {"ILCE-7SM2", Sony9050::b},
    {"ILCE-9", Sony9050::b},
    {"ILCE-9M2", Sony9050::b},
    {"ILCA-99M2", Sony9050::b},
    {"ZV-E10", Sony9050::b, 0x50, 0x19F}, // both seen equal to the count in a ZV-E10 raw
    // 9050c
    {"ILCE-1", Sony9050::c, 0x50},
    {"ILCE-7M4", Sony9050::c, 0x50},
    {"ILCE-7RM5", Sony9050::c, 0x50},
    {"ILCE-7SM3", Sony9050::c, 0x50},
    {"ILME-FX3", Sony9050::c, 0x50},
    // Said to be 9050c only because their names start like the FX3's: not until a real file shows it.
    {"ILME-FX30", Sony9050::unknown},
    {"ILME-FX3A", Sony9050::unknown},
    // 9050d
    {"ILCE-6700", Sony9050::d},
    {"ILCE-7CM2", Sony9050::d},
    {"ILCE-7CR", Sony9050::d},
    {"ILME-FX2", Sony9050::d},
    {"ILCE-1M2", Sony9050::dIfZeroed},
    {"ILCE-7M5", Sony9050::dIfZeroed},
    // The 9050d generation, but no count place documented for it.
    {"ILCE-9M3", Sony9050::unknown},
    // Named in no layout; read at 0x32 only by a rule that takes every body it does not exclude.
    {"ILX-LR1", Sony9050::unknown},
    // Electronic shutter only: the 9050d field counts mechanical releases, so nothing to read.
    {"ZV-E1", Sony9050::none},
    {"ZV-E10M2", Sony9050::none},
    // Compacts named without "DSC-" (those with it are all compacts, below).
    {"ZV-1", Sony9050::none},
    {"ZV-1A", Sony9050::none},
    {"ZV-1F", Sony9050::none},
    {"ZV-1M2", Sony9050::none},
    // DSLRs with no count at all; the ones that keep it in tag 0x0020 are in sony_0020.cpp.
    {"DSLR-A100", Sony9050::none},
    {"DSLR-A200", Sony9050::none},
    {"DSLR-A300", Sony9050::none},
    {"DSLR-A350", Sony9050::none},
    {"DSLR-A700", Sony9050::none},
};

constexpr std::uint16_t kBlockTag = 0x9050;
// ShutterCount is 24 bits; a count in the millions means a block not laid out as expected.
constexpr std::uint32_t kMostPlausible = 3'000'000;

// The cipher stores a byte p < 249 as p^3 mod 249; cubing is a permutation there, and
// 3 * 55 = 165 = 1 (mod 82), so c^55 mod 249 undoes it. Bytes 249 to 255 are stored as they are.
constexpr std::array<std::uint8_t, 256> makeDecipherTable()
{
    std::array<std::uint8_t, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        if (c >= 249) {
            table[c] = static_cast<std::uint8_t>(c);
            continue;
        }
        unsigned result = 1, base = c, exp = 55;
        while (exp) {
            if (exp & 1) result = result * base % 249;
            base = base * base % 249;
            exp >>= 1;
        }
        table[c] = static_cast<std::uint8_t>(result);
    }
    return table;
}
constexpr auto kDecipher = makeDecipherTable();

const SonyModel* findModel(std::string_view model)
{
    for (const auto& m : kModels)
        if (m.model == model) return &m;
    return nullptr;
}

// The low 24 bits of the little-endian int32u at `at` of the deciphered block.
std::optional<std::uint32_t> counterAt(std::span<const std::uint8_t> block, std::size_t at)
{
    if (at > block.size() || 4 > block.size() - at) return {};
    std::uint32_t value = 0;
    for (int i = 0; i < 3; ++i) value |= std::uint32_t{kDecipher[block[at + i]]} << (8 * i);
    return value;
}

} // namespace

void readSonyNote(const NoteContext& context, PhotoReading& reading)
{
    FileView& file = context.walker.file();
    const bool in0020 = keepsCountIn0020(reading.model);
    const SonyModel* model = in0020 ? nullptr : findModel(reading.model);
    if (!in0020 && !model) {
        // Compacts (RX100, RX1R, HX...) carry the 0x9050 block with no count in it.
        const bool compact = reading.model.rfind("DSC-", 0) == 0;
        return setNoCount(reading, compact ? NoCount::NotRecorded : NoCount::UnknownModel);
    }
    if (model && model->layout == Sony9050::none) return setNoCount(reading, NoCount::NotRecorded);
    if (model && model->layout == Sony9050::unknown) return setNoCount(reading, NoCount::UnknownModel);

    const Block& note = context.note.block;
    const auto head = file.getUpTo(note.begin, std::min<std::uint64_t>(12, note.length()));
    if (head.empty()) return setNoCount(reading, NoCount::Damaged);
    std::uint64_t ifdPos = note.begin;
    if (startsWith(head, "SONY DSC \0\0\0"))
        ifdPos += 12;
    else if (startsWith(head, "SONY") || startsWith(head, "VHAB"))
        return setNoCount(reading, NoCount::UnknownModel); // camcorder, phone and badged notes: not examined
    const auto ifd = context.walker.read(note, static_cast<std::int64_t>(ifdPos) - note.base, kNoteDepth);
    if (!ifd) return setNoCount(reading, NoCount::Damaged);
    // Whatever 0x9050 block these bodies write, their count is not in it.
    if (in0020) return readSony0020(file, *ifd, reading);

    const IfdEntry* entry = ifd->find(kBlockTag);
    if (!entry || entry->type != 7) return setNoCount(reading, NoCount::NotUsable);
    const auto block = entryBytes(file, *entry, 4096);
    if (block.empty()) return setNoCount(reading, NoCount::Damaged);

    Sony9050 layout = model->layout;
    if (layout == Sony9050::dIfZeroed) {
        if (block.size() < 5 || std::any_of(block.begin(), block.begin() + 5, [](auto b) { return b != 0; }))
            return setNoCount(reading, NoCount::UnknownModel);
        layout = Sony9050::d;
    }
    const std::size_t at = layout == Sony9050::a ? 0x32 : layout == Sony9050::d ? 0x0A : 0x3A;
    const auto count = counterAt(block, at);
    if (!count || *count == 0 || *count > kMostPlausible) return setNoCount(reading, NoCount::NotUsable);

    // A block shifted from its usual place (seen in an ILCE-6000 JPEG of a RAW+JPEG pair) still
    // decodes to plausible numbers; only the neighbouring counters give it away.
    if (model->count2 && !flashFired(context)) {
        const auto count2 = counterAt(block, model->count2);
        if (!count2 || (*count2 != 0 && *count2 != *count)) return setNoCount(reading, NoCount::NotUsable);
    }
    if (model->count3) {
        const auto count3 = counterAt(block, model->count3);
        if (!count3 || (*count3 != 0 && *count3 + model->count3Lag != *count))
            return setNoCount(reading, NoCount::NotUsable);
    }

    reading.count = count;
    reading.kind = layout == Sony9050::d ? CountKind::MechanicalReleases : CountKind::AllReleases;
    reading.source = "Sony maker note 0x9050 at offset " + hexText(static_cast<unsigned>(at));
    reading.message = caveatText(model->caveat);
}
