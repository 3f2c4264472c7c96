#pragma once
// The shutter count from a photo file: a resumable reader that asks for the ranges of the file it
// needs (headers, directories, the maker note), so neither a 100 MB raw nor a browser's File has to
// be read whole. Platform-free; the same sources build natively and for the result site.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class CountKind { AllReleases, MechanicalReleases, Images };

// Without a count, what a person can do instead (the texts are in photo_text).
enum class NextStep {
    None,
    PhotoFromCard,    // the file was not one, or lost its camera data: a photo straight from the card
    AnotherPhoto,     // this photo's data is damaged or unusable: another one from the card
    CompleteFile,     // the file was cut short
    ReadOverUsb,      // Canon and Fujifilm keep the count in the camera, readable over USB
    NoWayKnown,       // no way to read this camera's count from a photo or over USB is known
    ModelNotKnownYet, // a brand with per-model layouts, this model's not known yet
};

struct PhotoReading {
    std::optional<std::uint32_t> count;      // set only when a usable count was found
    CountKind kind = CountKind::AllReleases; // what `count` counts
    std::optional<std::uint32_t> mechanical; // mechanical count stored beside the total (Nikon 0x0037)
    std::string make, model;                 // printable text from the file; may be empty
    std::string serial;                      // Exif BodySerialNumber (0xA431); may be empty
    std::string taken;                       // Exif DateTimeOriginal, "YYYY:MM:DD HH:MM:SS"; may be empty
    std::string source;                      // where the count came from, e.g. "Nikon maker note 0x00A7"
    std::string message;                     // without a count: why, in words a person understands;
                                             // with a count: a caveat (Fujifilm firmware reset) or empty
    NextStep next = NextStep::None;          // without a count: what to do instead

    bool operator==(const PhotoReading&) const = default;
};

struct ByteRange { std::uint64_t offset = 0; std::uint32_t length = 0; };

class RangeCache;

// Resumable: the caller says the file's size; the reader either has its answer (done()) or wants
// one range of the file; the caller reads that range and supplies it; repeat. Ranges already
// supplied are kept until the answer, so nothing is read twice.
class PhotoReader {
public:
    explicit PhotoReader(std::uint64_t fileSize);
    ~PhotoReader();
    PhotoReader(const PhotoReader&) = delete;
    PhotoReader& operator=(const PhotoReader&) = delete;

    bool done() const noexcept;
    ByteRange wanted() const noexcept;               // meaningful while !done()
    void supply(std::span<const std::uint8_t> bytes); // the bytes of wanted() from its offset; fewer
                                                      // than asked means the file ended (or a read failed)
    const PhotoReading& reading() const noexcept;    // final once done()
    std::uint64_t bytesSupplied() const noexcept;

private:
    void advance();

    std::unique_ptr<RangeCache> cache_;
    bool done_ = false;
    ByteRange wanted_;
    PhotoReading reading_;
    unsigned requests_ = 0;
};

// The same loop over a file already in memory.
PhotoReading readPhoto(std::span<const std::uint8_t> file);

// Who reads the JSON: photo-count's users, or the result site, which gets the texts for its own
// page and the members its per-camera summary needs.
enum class JsonFor { Tool, Page };

// One JSON object (one line): keys file (omitted when `file` is empty), ok, count, mechanical, kind,
// make, model, source, message, rated, rated_by; null where absent. kind is "releases", "mechanical"
// or "images"; message ends with the next step when there is no count; rated is the maker's rated
// actuations for the model (shutter_ratings.h) and rated_by who published it. For the page also
// serial, taken and rating (the sentences shown beside a count, an array).
std::string photoReadingJson(const PhotoReading& reading, std::string_view file = {}, JsonFor audience = JsonFor::Tool);
// "12,345 shutter actuations (NIKON D850; 3,487 mechanical); Nikon rates it for 200,000 …" or
// "no count: " + message and the next step in a few words.
std::string photoCountLine(const PhotoReading& reading);
