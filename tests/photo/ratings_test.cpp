// The makers' shutter ratings beside a count, and the next step beside an answer without one:
// through the reader and photo-count's texts, the table against its source, and the generator
// refusing rows that do not hold together.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "fixture.h"
#include "photo/photo_c_api.h"
#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "photo/shutter_ratings.h"
#include "samples.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;

// A Nikon JPEG with a type-3 note holding the count (0x00A7) and, when given, the mechanical
// count (0x0037); `exifExtra` adds Exif entries.
Bytes nikonPhoto(std::string_view model, std::uint32_t count, std::optional<std::uint32_t> mechanical,
                 std::vector<Entry> exifExtra = {})
{
    auto note = [&](std::uint32_t) {
        std::vector<Entry> entries;
        if (mechanical) entries.push_back(longs(0x0037, {*mechanical}, LE));
        entries.push_back(longs(0x00A7, {count}, LE));
        Bytes inner = {'I', 'I', 42, 0, 8, 0, 0, 0};
        return cat(cat(text("Nikon"), Bytes{2, 0x10, 0, 0}), cat(inner, ifd(entries, 8, LE)));
    };
    return jpeg(tiff(LE, "NIKON CORPORATION", model, note, std::move(exifExtra)));
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

std::string run(const std::string& command, int* status = nullptr)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int rc = pclose(pipe);
    if (status) *status = rc;
    return out;
}

} // namespace

TEST(ShutterRating, BesideACountThroughTheReader)
{
    struct Case {
        const char* name;
        const char* model;
        std::uint32_t count;
        std::optional<std::uint32_t> mechanical;
        const char* rated;            // in photo-count's JSON
        const char* ratedBy;
        std::vector<std::string> say; // in the page's sentences, in order
        const char* line;             // in photo-count's text line
        const char* neverSay = nullptr;
    };
    const Case cases[] = {
        {"a row and a mechanical count", "NIKON D850", 8541, 3487, "200000", "\"Nikon\"",
         {"Nikon rates the NIKON D850's shutter for 200,000 actuations.", "The mechanical count, 3,487, is 2% of that.",
          "test figure, not a guarantee or a limit"},
         "; Nikon rates it for 200,000, a test figure, not a limit; mechanical count 2% of it", "may include"},
        {"a row, no mechanical count", "NIKON D300", 241575, std::nullopt, "150000", "\"Nikon\"",
         {"Nikon rates the NIKON D300's shutter for 150,000 actuations.", "may include releases of the electronic shutter",
          "test figure"},
         "; Nikon rates it for 150,000, a test figure, not a limit; the count may include electronic releases", "%"},
        {"a figure the maker gives as a floor", "NIKON D5600", 50000, 49000, "100000", "\"Nikon\"",
         {"for over 100,000 actuations.", "is 49% of that."}, "Nikon rates it for over 100,000"},
        {"no mechanical shutter", "NIKON Z 9", 120000, 0, "null", "null",
         {"The NIKON Z 9 has no mechanical shutter, so there is no shutter rating to set this count against."},
         "; no mechanical shutter, so no rating", "%"},
        {"no row", "NIKON D2Hs", 2, std::nullopt, "null", "null", {}, "2 shutter actuations (NIKON D2Hs)", "rate"},
        {"no figure borrowed from a sibling model", "NIKON Z 7_3", 10, 10, "null", "null", {}, "(NIKON Z 7_3; 10 mechanical)",
         "rate"},
        {"a share past the rating", "NIKON D3100", 230000, 230000, "100000", "\"Nikon\"", {"is 230% of that."}, "mechanical count 230% of it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PhotoReading r = readPhoto(nikonPhoto(c.model, c.count, c.mechanical));
        ASSERT_EQ(r.count, c.count);
        const std::string json = photoReadingJson(r);
        EXPECT_TRUE(contains(json, std::string(",\"rated\":") + c.rated + ",\"rated_by\":" + c.ratedBy + "}")) << json;

        const std::string said = joined(ratingSentences(r.model, mechanicalCount(r)));
        std::size_t at = 0;
        for (const auto& part : c.say) {
            const auto found = said.find(part, at);
            EXPECT_NE(found, std::string::npos) << part << "\n in: " << said;
            at = found == std::string::npos ? at : found;
        }
        if (c.say.empty()) EXPECT_EQ(said, "");
        // The page's JSON carries the same sentences.
        const std::string page = photoReadingJson(r, {}, JsonFor::Page);
        EXPECT_EQ(contains(page, "\"rating\":[]"), c.say.empty()) << page;

        const std::string line = photoCountLine(r);
        EXPECT_TRUE(contains(line, c.line)) << line;
        if (c.neverSay) EXPECT_FALSE(contains(line + said, c.neverSay)) << line << "\n" << said;
    }
}

// photo-count as a person runs it: the two JSON keys, and the rating and the next step in a few
// words on its text lines.
TEST(ShutterRating, ThroughPhotoCount)
{
    struct Case { const char* file; const char* json; const char* line; };
    const Case cases[] = {
        {"nikon_d850_exif.jpg", "\"rated\":200000,\"rated_by\":\"Nikon\"}",
         ": 8,541 shutter actuations (NIKON D850; 3,487 mechanical); Nikon rates it for 200,000, a test figure, not a "
         "limit; mechanical count 2% of it\n"},
        {"nikon_d70_jpeg.jpg", "\"rated\":null,\"rated_by\":null}", ": 526 shutter actuations (NIKON D70)\n"},
        {"canon_eos-1300d_jpeg.jpg", "\"rated\":null,\"rated_by\":null}",
         "in its photos. Next: read the camera over USB (Tallybrook for Windows, or tallybrook.app in Chrome or Edge).\n"},
        {"olympus_e-m10_jpeg.jpg", "over USB.\",\"rated\":null,\"rated_by\":null}", "No way to read it is known.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = "'" + samplePath(c.file) + "'";
        const std::string json = run(std::string(TB_PHOTO_COUNT) + " --json " + path);
        EXPECT_TRUE(contains(json, c.json)) << json;
        const std::string line = run(std::string(TB_PHOTO_COUNT) + " " + path);
        EXPECT_TRUE(contains(line, c.line)) << line;
    }
}

TEST(ShutterRating, NoRatingBesideAnAnswerWithoutACount)
{
    // A D850 whose note holds the "not available" marker: rated stays in the JSON (it is the
    // model's), but nothing is said beside an answer that has no count.
    const PhotoReading r = readPhoto(nikonPhoto("NIKON D850", 0xFFFFF7FF, std::nullopt));
    ASSERT_FALSE(r.count);
    EXPECT_TRUE(contains(photoReadingJson(r, {}, JsonFor::Page), "\"rated\":200000,\"rated_by\":\"Nikon\""));
    EXPECT_TRUE(contains(photoReadingJson(r, {}, JsonFor::Page), "\"rating\":[]"));
    EXPECT_FALSE(contains(photoCountLine(r), "rates"));
}

TEST(ShutterRating, QuotedFiguresNameThePublication)
{
    const auto lines = ratingSentences("ILCE-7M3", std::nullopt);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Sony rates the ILCE-7M3's shutter for 200,000 actuations (as reported by petapixel.com).");
    EXPECT_EQ(ratingShort("ILCE-7M3", 1000).substr(0, 46), "Sony rates it for 200,000 (per petapixel.com),");
    PhotoReading r;
    r.model = "ILCE-7M3";
    r.count = 5;
    EXPECT_TRUE(contains(photoReadingJson(r), "\"rated\":200000,\"rated_by\":\"petapixel.com\""));
}

TEST(ShutterRating, ShareRounding)
{
    struct Case { std::uint32_t mechanical; const char* share; };
    const Case cases[] = {{0, "0%"},         {1, "under 1%"},   {999, "under 1%"},     {1000, "1%"},
                          {199999, "100%"}, {300000, "150%"}, {4294967295u, "2147484%"}};
    for (const Case& c : cases) {
        const auto lines = ratingSentences("NIKON D850", c.mechanical);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_TRUE(contains(lines[1], std::string(", is ") + c.share + " of that.")) << c.mechanical << ": " << lines[1];
    }
}

TEST(ShutterRating, ModelsMatchExactlyAfterTrailingSpacesAndNuls)
{
    using namespace std::string_literals;
    struct Case { std::string model; const char* found; };
    const Case cases[] = {
        {"NIKON D850", "NIKON D850"},     {"NIKON D850   ", "NIKON D850"}, {"NIKON D850\0\0"s, "NIKON D850"},
        {"NIKON D85", nullptr},           {"NIKON D8500", nullptr},        {"nikon d850", nullptr},
        {" NIKON D850", nullptr},         {"NIKON Z 7", "NIKON Z 7"},      {"NIKON Z 7_2", "NIKON Z 7_2"},
        {"Canon EOS-1D X", "Canon EOS-1D X"}, {"Canon EOS-1D X Mark II", nullptr}, {"", nullptr},
    };
    for (const Case& c : cases) {
        const ShutterRating* r = findRating(c.model);
        EXPECT_EQ(r ? std::string(r->model) : "(none)", c.found ? c.found : "(none)") << c.model;
    }
}

// Every row of the table the program was built from is in the program, with its figure and
// source, so a generator that drops or garbles a row is caught.
TEST(ShutterRating, TheCompiledTableIsTheTsv)
{
    std::ifstream in(TB_SHUTTER_RATINGS_TSV);
    ASSERT_TRUE(in) << TB_SHUTTER_RATINGS_TSV;
    std::string line;
    int rows = 0;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        ASSERT_EQ(f.size(), 8u) << line;
        SCOPED_TRACE(f[1]);
        const ShutterRating* r = findRating(f[1]);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->make, f[0]);
        EXPECT_EQ(r->rated, f[3].empty() ? 0u : std::stoul(f[3]));
        EXPECT_EQ(r->quoted, f[5] != "maker");
        if (f[5] == "maker") EXPECT_EQ(r->ratedBy, f[0]);
        else EXPECT_TRUE(contains(f[6], std::string(r->ratedBy) + "/")) << r->ratedBy;
        EXPECT_EQ(r->floor, contains(f[7], "is a floor"));
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

TEST(ShutterRating, TheGeneratorRefusesAMalformedRow)
{
    const std::string header = "make\tmodel\tmarketing_name\trated_actuations\tshutter\tsource_kind\tsource_url\tnote";
    const std::string url = "https://www.example.com/article";
    auto row = [&](std::string model, std::string rated, std::string shutter = "mechanical", std::string kind = "maker",
                   std::string link = "") {
        return "Nikon\t" + model + "\tNikon X\t" + rated + "\t" + shutter + "\t" + kind + "\t" +
               (link.empty() ? url : link) + "\tnote; with [brackets]";
    };
    struct Case { const char* name; std::string rows; const char* why; };
    const std::vector<Case> cases = {
        {"a good table", row("NIKON D1", "100000") + "\n" + row("NIKON Z 99", "", "electronic only (no mechanical shutter)"), nullptr},
        {"letters in the figure", row("NIKON D1", "1OO000"), ":3: rated_actuations '1OO000' is not a whole number"},
        {"a leading zero", row("NIKON D1", "0100000"), "not a whole number"},
        {"a figure past 32 bits", row("NIKON D1", "4294967296"), "beyond what a camera counts"},
        {"a column missing", "Nikon\tNIKON D1\t100000", ":3: 3 columns, not 8"},
        {"a column too many", row("NIKON D1", "100000") + "\textra", "9 columns, not 8"},
        {"no figure for a mechanical shutter", row("NIKON D1", ""), "does not say there is no mechanical shutter"},
        {"a figure for an electronic shutter", row("NIKON D1", "5", "electronic"), "not mechanical"},
        {"an unknown source kind", row("NIKON D1", "5", "mechanical", "forum"), "neither maker nor review-quoting-maker"},
        {"no web address", row("NIKON D1", "5", "mechanical", "maker", "Nikon brochure"), "is not a web address"},
        {"a model twice", row("NIKON D1", "5") + "\n" + row("NIKON D1", "6"), ":4: model 'NIKON D1' has a row already"},
        {"a model with a trailing space", row("NIKON D1 ", "5"), "not a camera's model string"},
        {"a quote in the model", row("NIKON \"D1\"", "5"), "not a camera's model string"},
        {"a wrong header", "make\tmodel\n" + row("NIKON D1", "5"), ":2: the header"},
    };
    const std::string dir = testing::TempDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Named for this process: other builds on the machine may run the same test at once.
        const std::string stem = dir + "/ratings-test-" + std::to_string(getpid());
        const std::string tsv = stem + ".tsv", inc = stem + ".inc";
        std::remove(inc.c_str());
        {
            std::ofstream out(tsv);
            out << "# a comment line\n";
            if (std::string(c.name) != "a wrong header") out << header << "\n";
            out << c.rows << "\n";
        }
        int status = 0;
        // CMake wraps its messages: compared with every run of white space as one space.
        std::string output = run(std::string("'") + TB_CMAKE_COMMAND + "' -DIN='" + tsv + "' -DOUT='" + inc +
                                           "' -P '" + TB_SHUTTER_RATINGS_SCRIPT + "' 2>&1",
                                       &status);
        std::string flat;
        for (char ch : output)
            if (!std::isspace(static_cast<unsigned char>(ch)) || (!flat.empty() && flat.back() != ' '))
                flat.push_back(std::isspace(static_cast<unsigned char>(ch)) ? ' ' : ch);
        output = flat;
        const bool written = std::ifstream(inc).good();
        std::remove(tsv.c_str());
        std::remove(inc.c_str());
        if (!c.why) {
            EXPECT_EQ(status, 0) << output;
            EXPECT_TRUE(written);
        } else {
            EXPECT_NE(status, 0) << output;
            EXPECT_TRUE(contains(output, c.why)) << output;
            EXPECT_FALSE(written);
        }
    }
}

TEST(NextStep, ForEveryKindOfAnswerWithoutACount)
{
    struct Case { NoCount why; const char* make; NextStep next; };
    const Case cases[] = {
        {NoCount::NotRecorded, "Canon", NextStep::ReadOverUsb},
        {NoCount::NotUsable, "Canon", NextStep::ReadOverUsb},
        {NoCount::UnknownModel, "Canon", NextStep::ReadOverUsb},
        {NoCount::NotRecorded, "FUJIFILM", NextStep::ReadOverUsb},
        {NoCount::NotUsable, "FUJIFILM", NextStep::ReadOverUsb},
        {NoCount::NotRecorded, "OLYMPUS IMAGING CORP.", NextStep::NoWayKnown},
        {NoCount::NotRecorded, "OM Digital Solutions", NextStep::NoWayKnown},
        {NoCount::NotRecorded, "Panasonic", NextStep::NoWayKnown},
        {NoCount::NotRecorded, "LEICA CAMERA AG", NextStep::NoWayKnown},
        {NoCount::NotRecorded, "", NextStep::NoWayKnown},
        {NoCount::UnknownModel, "SONY", NextStep::ModelNotKnownYet},
        {NoCount::NotUsable, "NIKON CORPORATION", NextStep::AnotherPhoto},
        {NoCount::MakerNoteMissing, "Canon", NextStep::PhotoFromCard},
        {NoCount::MakerNoteMissing, "NIKON CORPORATION", NextStep::PhotoFromCard},
        {NoCount::NoExif, "", NextStep::PhotoFromCard},
        {NoCount::NotPhoto, "", NextStep::PhotoFromCard},
        {NoCount::Damaged, "SONY", NextStep::AnotherPhoto},
        {NoCount::CutShort, "Canon", NextStep::CompleteFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(noCountText(c.why) + " / " + c.make);
        PhotoReading r;
        r.make = c.make;
        setNoCount(r, c.why);
        EXPECT_EQ(r.next, c.next);
        // Every next step has its sentence for the page and photo-count, and its few words.
        EXPECT_FALSE(nextStepText(r.next, JsonFor::Page).empty());
        EXPECT_FALSE(nextStepText(r.next, JsonFor::Tool).empty());
        EXPECT_TRUE(contains(photoCountLine(r), nextStepShort(r.next))) << photoCountLine(r);
        EXPECT_TRUE(contains(photoReadingJson(r), nextStepText(r.next, JsonFor::Tool) + "\"")) << photoReadingJson(r);
    }
}

TEST(NextStep, SaidInWordsForEachBrand)
{
    struct Case { NextStep next; const char* page; const char* line; };
    const Case cases[] = {
        {NextStep::ReadOverUsb,
         "read it over USB with Tallybrook for Windows, or on a Mac, Linux, a Chromebook or Android, read it over USB "
         "from this page in Chrome or Edge.",
         "Next: read the camera over USB (Tallybrook for Windows, or tallybrook.app in Chrome or Edge)."},
        {NextStep::NoWayKnown, "No way is known to read this camera's shutter count, neither from its photos nor over USB.",
         "No way to read it is known."},
        {NextStep::PhotoFromCard, "Try a photo straight from the camera's card.", "Next: a photo straight from the card."},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(contains(nextStepText(c.next, JsonFor::Page), c.page)) << nextStepText(c.next, JsonFor::Page);
        EXPECT_EQ(nextStepShort(c.next), c.line);
    }
    // photo-count is not the page: it names the page's address instead of "this page".
    EXPECT_FALSE(contains(nextStepText(NextStep::ReadOverUsb, JsonFor::Tool), "this page"));
    EXPECT_TRUE(contains(nextStepText(NextStep::ReadOverUsb, JsonFor::Tool), "tallybrook.app in Chrome or Edge"));
    EXPECT_EQ(nextStepText(NextStep::None, JsonFor::Page), "");
}

// Every real sample without a count leads somewhere, and the Canon and Fujifilm ones to USB.
TEST(NextStep, EverySampleWithoutACount)
{
    for (const Sample& s : loadSamples()) {
        if (s.count != "none") continue;
        SCOPED_TRACE(s.file);
        const PhotoReading r = readPhoto(loadFile(samplePath(s.file)));
        ASSERT_FALSE(r.count);
        EXPECT_NE(r.next, NextStep::None);
        const bool usb = startsWithNoCase(s.make, "Canon") || startsWithNoCase(s.make, "FUJIFILM");
        if (usb && r.message == noCountText(NoCount::NotRecorded)) EXPECT_EQ(r.next, NextStep::ReadOverUsb);
        if (startsWithNoCase(s.make, "OLYMPUS") || startsWithNoCase(s.make, "Panasonic"))
            EXPECT_EQ(r.next, NextStep::NoWayKnown);
        EXPECT_TRUE(contains(photoReadingJson(r, {}, JsonFor::Page), nextStepText(r.next, JsonFor::Page)));
    }
}

TEST(NextStep, ACountHasNone)
{
    const PhotoReading r = readPhoto(nikonPhoto("NIKON D850", 10, std::nullopt));
    ASSERT_TRUE(r.count);
    EXPECT_EQ(r.next, NextStep::None);
    EXPECT_TRUE(contains(photoReadingJson(r), "\"message\":null"));
}

TEST(PageJson, BodySerialAndDateTakenFromExif)
{
    const PhotoReading r = readPhoto(nikonPhoto(
        "NIKON D850", 10, std::nullopt, {ascii(0x9003, "2024:05:06 07:08:09"), ascii(0xA431, "3012345")}));
    EXPECT_EQ(r.serial, "3012345");
    EXPECT_EQ(r.taken, "2024:05:06 07:08:09");
    const std::string page = photoReadingJson(r, {}, JsonFor::Page);
    EXPECT_TRUE(contains(page, "\"serial\":\"3012345\",\"taken\":\"2024:05:06 07:08:09\"")) << page;
    // photo-count's JSON keeps its own keys.
    EXPECT_FALSE(contains(photoReadingJson(r), "serial"));
    const PhotoReading bare = readPhoto(nikonPhoto("NIKON D850", 10, std::nullopt));
    EXPECT_TRUE(contains(photoReadingJson(bare, {}, JsonFor::Page), "\"serial\":null,\"taken\":null"));
}

TEST(RatingExport, TheReadingViewsLookup)
{
    struct Case { std::string model; double mechanical; const char* json; };
    const Case cases[] = {
        {"Canon EOS 5D Mark III", -1,
         "[\"Canon rates the Canon EOS 5D Mark III's shutter for 150,000 actuations (as reported by trustedreviews.com).\","
         "\"This count may include releases of the electronic shutter"},
        {"NIKON D850", 3487, "[\"Nikon rates the NIKON D850's shutter for 200,000 actuations.\",\"The mechanical count, 3,487, is 2% of that.\""},
        {"Canon EOS 80D", -1, "[]"},
        {"Canon EOS 5D Mark III ", -1, "[\"Canon rates"},
    };
    for (const Case& c : cases) {
        char* room = tb_rating_model(static_cast<unsigned>(c.model.size()));
        ASSERT_NE(room, nullptr);
        std::copy(c.model.begin(), c.model.end(), room);
        const std::string json = tb_rating_json(static_cast<unsigned>(c.model.size()), c.mechanical);
        EXPECT_EQ(json.substr(0, std::string(c.json).size()), c.json) << json;
    }
    EXPECT_EQ(tb_rating_model(1025), nullptr);
}

// The page's JSON has the same members whether the reader answered or could not be made.
TEST(PageJson, TheSameMembersWithoutAReader)
{
    auto keys = [](const std::string& json) {
        std::string names;
        for (std::size_t at = json.find("\"", 0); at != std::string::npos;) {
            const auto end = json.find('"', at + 1);
            if (json.compare(end, 2, "\":") == 0) names += json.substr(at + 1, end - at - 1) + ",";
            at = json.find(",\"", end);
            if (at != std::string::npos) ++at;
        }
        return names;
    };
    const std::string none = tb_photo_result_json(nullptr);
    PhotoReading r;
    r.message = "why";
    EXPECT_EQ(keys(none), keys(photoReadingJson(r, {}, JsonFor::Page))) << none;
    EXPECT_EQ(keys(none), "ok,count,mechanical,kind,make,model,source,message,rated,rated_by,serial,taken,rating,");
}
