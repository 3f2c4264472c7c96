#include "photo/photo_text.h"

#include <cctype>
#include <cstdio>
#include <string_view>

std::string noCountText(NoCount why)
{
    switch (why) {
    case NoCount::NotPhoto:
        return "This is not a photo file we can read (we read JPEG, HEIF and camera raw files).";
    case NoCount::CutShort:
        return "The file ends before its camera data: it was cut short, perhaps while copying. Try the "
               "complete file.";
    case NoCount::Damaged:
        return "The camera data in this file is damaged or laid out in a way we do not read.";
    case NoCount::NoExif:
        return "This photo carries no camera data at all: it was probably re-saved by software that "
               "removes it. Try a photo straight from the camera.";
    case NoCount::MakerNoteMissing:
        return "The camera's own data (its maker note) is missing from this photo: software that re-saved "
               "it dropped it. Try a photo straight from the camera.";
    case NoCount::NotRecorded:
        return "This camera model does not record its shutter count in its photos.";
    case NoCount::NotUsable:
        return "This photo has a shutter count field, but the value in it cannot be trusted (empty, or at "
               "odds with the camera's other counters). Try another photo straight from the camera.";
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

std::string jsonNumberOrNull(const std::optional<std::uint32_t>& n) { return n ? std::to_string(*n) : "null"; }

} // namespace

std::string photoReadingJson(const PhotoReading& reading, std::string_view file)
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
    json += ",\"message\":" + jsonTextOrNull(reading.message);
    json += "}";
    return json;
}

std::string photoCountLine(const PhotoReading& reading)
{
    if (!reading.count) return "no count: " + reading.message;
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
    if (!reading.message.empty()) line += ". " + reading.message;
    return line;
}
