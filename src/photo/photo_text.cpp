#include "photo/photo_text.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "photo/shutter_ratings.h"

std::string noCountText(NoCount why)
{
    switch (why) {
    case NoCount::NotPhoto:
        return "This is not a photo file we can read (we read JPEG, HEIF and camera raw files).";
    case NoCount::CutShort:
        return "The file ends before its camera data: it was cut short, perhaps while copying.";
    case NoCount::Damaged:
        return "The camera data in this file is damaged or laid out in a way we do not read.";
    case NoCount::NoExif:
        return "This photo carries no camera data at all: it was probably re-saved by software that "
               "removes it.";
    case NoCount::MakerNoteMissing:
        return "The camera's own data (its maker note) is missing from this photo: software that re-saved "
               "it dropped it.";
    case NoCount::NotRecorded:
        return "This camera model does not record its shutter count in its photos.";
    case NoCount::NotUsable:
        return "This photo has a shutter count field, but the value in it cannot be trusted (empty, or at "
               "odds with the camera's other counters).";
    case NoCount::UnknownModel:
        return "Where this camera model keeps its shutter count in a photo is not known yet, so we show no "
               "number rather than a guess.";
    }
    return {};
}

std::string caveatText(Caveat caveat)
{
    switch (caveat) {
    case Caveat::None: return {};
    case Caveat::FujifilmFirmwareReset:
        return "Fujifilm cameras may restart this count at 0 when new firmware is installed, so the real "
               "number of shots can be higher.";
    case Caveat::FujifilmRedeveloped:
        return "This file was developed again in the camera from a raw file, so the count is the one the "
               "camera had when the original photo was taken, not its count today.";
    case Caveat::CanonMayBeInvalid:
        return "On this model the field is known to be right only on some bodies: compare with a second "
               "photo taken later.";
    case Caveat::CanonSettingsFileChange:
        return "On this model the value has been seen to change when a camera settings file was loaded.";
    case Caveat::SonyWrapsAt65536:
        return "This model's counter starts again at 0 after 65,535, so the real number can be higher by a "
               "multiple of 65,536.";
    }
    return {};
}

void setNoCount(PhotoReading& reading, NoCount why)
{
    reading.count.reset();
    reading.mechanical.reset();
    reading.kind = CountKind::AllReleases;
    reading.source.clear();
    reading.message = noCountText(why);
    reading.next = nextStepFor(why, reading.make);
}

NextStep nextStepFor(NoCount why, std::string_view make)
{
    // Canon and Fujifilm bodies keep the count in the camera, where USB reaches it.
    const bool overUsb = startsWithNoCase(make, "CANON") || startsWithNoCase(make, "FUJIFILM");
    switch (why) {
    case NoCount::NotPhoto:
    case NoCount::NoExif:
    case NoCount::MakerNoteMissing: return NextStep::PhotoFromCard;
    case NoCount::CutShort: return NextStep::CompleteFile;
    case NoCount::Damaged: return NextStep::AnotherPhoto;
    case NoCount::NotRecorded: return overUsb ? NextStep::ReadOverUsb : NextStep::NoWayKnown;
    case NoCount::NotUsable: return overUsb ? NextStep::ReadOverUsb : NextStep::AnotherPhoto;
    case NoCount::UnknownModel: return overUsb ? NextStep::ReadOverUsb : NextStep::ModelNotKnownYet;
    }
    return NextStep::None;
}

std::string nextStepText(NextStep next, JsonFor audience)
{
    switch (next) {
    case NextStep::None: return {};
    case NextStep::PhotoFromCard: return "Try a photo straight from the camera's card.";
    case NextStep::AnotherPhoto: return "Try another photo straight from the camera's card.";
    case NextStep::CompleteFile: return "Try the complete file.";
    case NextStep::ReadOverUsb:
        return audience == JsonFor::Page
                   ? "The camera keeps its count itself: read it over USB with Tallybrook for Windows, or on a Mac, "
                     "Linux, a Chromebook or Android, read it over USB from this page in Chrome or Edge."
                   : "The camera keeps its count itself: read it over USB with Tallybrook for Windows, or on a Mac, "
                     "Linux, a Chromebook or Android, from tallybrook.app in Chrome or Edge.";
    case NextStep::NoWayKnown:
        return "No way is known to read this camera's shutter count, neither from its photos nor over USB.";
    case NextStep::ModelNotKnownYet:
        return "No other way to read it is known: a later version may know where this model keeps it.";
    }
    return {};
}

std::string nextStepShort(NextStep next)
{
    switch (next) {
    case NextStep::None: return {};
    case NextStep::PhotoFromCard: return "Next: a photo straight from the card.";
    case NextStep::AnotherPhoto: return "Next: another photo straight from the card.";
    case NextStep::CompleteFile: return "Next: the complete file.";
    case NextStep::ReadOverUsb: return "Next: read the camera over USB (Tallybrook for Windows, or tallybrook.app in Chrome or Edge).";
    case NextStep::NoWayKnown: return "No way to read it is known.";
    case NextStep::ModelNotKnownYet: return "No other way to read it is known yet.";
    }
    return {};
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string hexTag(unsigned tag)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", tag & 0xFFFF);
    return text;
}

std::string hexText(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

namespace {

std::string withCommas(std::uint32_t n)
{
    std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

// "NIKON D850" names itself; "ILCE-1" needs its maker in front: "SONY ILCE-1".
std::string cameraName(const PhotoReading& r)
{
    if (r.model.empty()) return r.make;
    static constexpr std::string_view selfNaming[] = {"NIKON", "Canon", "PENTAX", "FUJIFILM", "SONY", "OLYMPUS",
                                                      "RICOH", "Panasonic"};
    for (auto brand : selfNaming)
        if (startsWithNoCase(r.model, brand)) return r.model;
    const std::string_view make = r.make;
    const auto firstWord = make.substr(0, make.find_first_of(" ,"));
    if (firstWord.empty() || startsWithNoCase(r.model, firstWord)) return r.model;
    return std::string(firstWord) + " " + r.model;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            // A file name may hold a tab or a line break; it comes back out of the JSON unchanged.
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\u00";
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::string jsonTextOrNull(std::string_view text) { return text.empty() ? "null" : jsonString(text); }

// "2%" of the rating; a share that rounds to nothing is not shown as 0%.
std::string shareText(std::uint32_t part, std::uint32_t whole)
{
    const std::uint64_t percent = (static_cast<std::uint64_t>(part) * 100 + whole / 2) / whole;
    if (percent == 0) return part == 0 ? "0%" : "under 1%";
    return std::to_string(percent) + "%";
}

std::string ratedFigure(const ShutterRating& r)
{
    return (r.floor ? "over " : "") + withCommas(r.rated);
}

std::string jsonNumberOrNull(const std::optional<std::uint32_t>& n) { return n ? std::to_string(*n) : "null"; }

} // namespace

std::optional<std::uint32_t> mechanicalCount(const PhotoReading& reading)
{
    if (reading.mechanical) return reading.mechanical;
    if (reading.count && reading.kind == CountKind::MechanicalReleases) return reading.count;
    return std::nullopt;
}

std::vector<std::string> ratingSentences(std::string_view model, std::optional<std::uint32_t> mechanical)
{
    const ShutterRating* r = findRating(model);
    if (!r) return {};
    const std::string camera(r->model);
    if (!r->mechanicalShutter())
        return {"The " + camera + " has no mechanical shutter, so there is no shutter rating to set this count against."};
    std::vector<std::string> lines;
    std::string rated = std::string(r->make) + " rates the " + camera + "'s shutter for " + ratedFigure(*r) +
                        " actuations";
    lines.push_back(rated + (r->quoted ? " (as reported by " + std::string(r->ratedBy) + ")." : "."));
    if (mechanical)
        lines.push_back("The mechanical count, " + withCommas(*mechanical) + ", is " + shareText(*mechanical, r->rated) +
                        " of that.");
    else
        lines.push_back("This count may include releases of the electronic shutter, which the rating does not cover, "
                        "so it is not set against the rating.");
    lines.push_back("A rating is the maker's test figure, not a guarantee or a limit: shutters fail before it and "
                    "last long after it. A shutter replaced in service is new, but the camera's count may not have "
                    "been reset.");
    return lines;
}

std::string ratingShort(std::string_view model, std::optional<std::uint32_t> mechanical)
{
    const ShutterRating* r = findRating(model);
    if (!r) return {};
    if (!r->mechanicalShutter()) return "no mechanical shutter, so no rating";
    std::string text = std::string(r->make) + " rates it for " + ratedFigure(*r);
    if (r->quoted) text += " (per " + std::string(r->ratedBy) + ")";
    text += ", a test figure, not a limit";
    text += mechanical ? "; mechanical count " + shareText(*mechanical, r->rated) + " of it"
                       : "; the count may include electronic releases";
    return text;
}

std::string ratingJson(std::string_view model, std::optional<std::uint32_t> mechanical)
{
    std::string json = "[";
    for (const auto& line : ratingSentences(model, mechanical)) json += (json.size() > 1 ? "," : "") + jsonString(line);
    return json + "]";
}

std::string photoReadingJson(const PhotoReading& reading, std::string_view file, JsonFor audience)
{
    std::string json = "{";
    if (!file.empty()) json += "\"file\":" + jsonString(file) + ",";
    json += "\"ok\":";
    json += reading.count ? "true" : "false";
    json += ",\"count\":" + jsonNumberOrNull(reading.count);
    json += ",\"mechanical\":" + jsonNumberOrNull(reading.mechanical);
    json += ",\"kind\":";
    if (!reading.count) json += "null";
    else if (reading.kind == CountKind::MechanicalReleases) json += "\"mechanical\"";
    else if (reading.kind == CountKind::Images) json += "\"images\"";
    else json += "\"releases\"";
    json += ",\"make\":" + jsonTextOrNull(reading.make);
    json += ",\"model\":" + jsonTextOrNull(reading.model);
    json += ",\"source\":" + jsonTextOrNull(reading.source);
    std::string message = reading.message;
    if (!reading.count && reading.next != NextStep::None) message += " " + nextStepText(reading.next, audience);
    json += ",\"message\":" + jsonTextOrNull(message);
    const ShutterRating* rating = findRating(reading.model);
    const bool rated = rating && rating->mechanicalShutter();
    json += ",\"rated\":" + (rated ? std::to_string(rating->rated) : std::string("null"));
    json += ",\"rated_by\":" + (rated ? jsonString(rating->ratedBy) : std::string("null"));
    if (audience == JsonFor::Page) {
        json += ",\"serial\":" + jsonTextOrNull(reading.serial);
        json += ",\"taken\":" + jsonTextOrNull(reading.taken);
        json += ",\"rating\":" + (reading.count ? ratingJson(reading.model, mechanicalCount(reading)) : "[]");
    }
    json += "}";
    return json;
}

std::string photoCountLine(const PhotoReading& reading)
{
    if (!reading.count) {
        const std::string next = nextStepShort(reading.next);
        return "no count: " + reading.message + (next.empty() ? "" : " " + next);
    }
    const std::uint32_t n = *reading.count;
    std::string line = withCommas(n);
    switch (reading.kind) {
    case CountKind::AllReleases: line += n == 1 ? " shutter actuation" : " shutter actuations"; break;
    case CountKind::MechanicalReleases:
        line += n == 1 ? " mechanical shutter actuation" : " mechanical shutter actuations";
        break;
    case CountKind::Images: line += n == 1 ? " image" : " images"; break;
    }
    std::string detail = cameraName(reading);
    if (reading.mechanical) {
        if (!detail.empty()) detail += "; ";
        detail += withCommas(*reading.mechanical) + " mechanical";
    }
    if (!detail.empty()) line += " (" + detail + ")";
    if (const auto rating = ratingShort(reading.model, mechanicalCount(reading)); !rating.empty()) line += "; " + rating;
    if (!reading.message.empty()) line += ". " + reading.message;
    return line;
}
