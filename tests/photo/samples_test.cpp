// Every real camera file gives its table's answer: in process, and through the photo-count tool
// the way a person runs it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "photo/photo_reader.h"
#include "samples.h"

namespace {

class SampleTest : public testing::TestWithParam<Sample> {};

std::string countText(const PhotoReading& r) { return r.count ? std::to_string(*r.count) : "none"; }

// The value of "key" in one line of photo-count's JSON: a number, null, true/false or a string
// (the samples' texts hold no escaped quotes).
std::string jsonField(const std::string& line, const std::string& key)
{
    const auto at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return "<missing>";
    auto pos = at + key.size() + 3;
    if (line[pos] == '"') {
        const auto end = line.find('"', pos + 1);
        return line.substr(pos + 1, end - pos - 1);
    }
    const auto end = line.find_first_of(",}", pos);
    return line.substr(pos, end - pos);
}

struct ToolRun {
    std::string out;
    int status = -1;
};

// photo-count with `arguments`, stopped after ten seconds if it has not ended by then.
ToolRun runTool(const std::string& arguments)
{
    ToolRun run;
    FILE* out = popen(("timeout 10 " + std::string(TB_PHOTO_COUNT) + " " + arguments).c_str(), "r");
    if (!out) return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, out)) run.out += buffer;
    const int status = pclose(out);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool validUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b < 0x80 ? 0 : b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : -1;
        if (extra < 0 || extra >= static_cast<int>(text.size() - i)) return false;
        std::uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += 1 + extra;
    }
    return true;
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

} // namespace

TEST_P(SampleTest, GivesItsTableAnswer)
{
    const Sample& s = GetParam();
    const auto bytes = loadFile(samplePath(s.file));
    ASSERT_FALSE(bytes.empty());
    const PhotoReading r = readPhoto(bytes);
    EXPECT_EQ(countText(r), s.count) << r.message;
    EXPECT_EQ(r.make, s.make);
    EXPECT_EQ(r.model, s.model);
    // A count says where it came from; no count says why.
    EXPECT_EQ(r.count.has_value(), !r.source.empty());
    if (!r.count) EXPECT_FALSE(r.message.empty());
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTest, testing::ValuesIn(loadSamples()),
                         sampleTestName);

TEST(PhotoCountTool, EverySampleThroughTheCommand)
{
    const auto samples = loadSamples();
    ASSERT_EQ(samples.size(), 30u);
    std::string command = std::string(TB_PHOTO_COUNT) + " --json";
    for (const auto& s : samples) command += " '" + samplePath(s.file) + "'";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::map<std::string, std::string> lines;
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, out)) {
        std::string line(buffer);
        lines[jsonField(line, "file")] = line;
    }
    EXPECT_EQ(pclose(out), 0);
    for (const auto& s : samples) {
        SCOPED_TRACE(s.file);
        const auto it = lines.find(samplePath(s.file));
        ASSERT_NE(it, lines.end());
        const std::string& line = it->second;
        EXPECT_EQ(jsonField(line, "count"), s.count == "none" ? "null" : s.count);
        EXPECT_EQ(jsonField(line, "ok"), s.count == "none" ? "false" : "true");
        EXPECT_EQ(jsonField(line, "make"), s.make);
        EXPECT_EQ(jsonField(line, "model"), s.model);
    }
}

TEST(PhotoCountTool, AFileThatCannotBeOpenedFailsTheRun)
{
    const std::string command =
        std::string(TB_PHOTO_COUNT) + " '" + samplePath("nikon_d70_jpeg.jpg") + "' /nonexistent/photo.jpg '" +
        TB_PHOTO_SAMPLES_DIR + "'";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
    const int status = pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(text.find("nikon_d70_jpeg.jpg: 526 shutter actuations (NIKON D70)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("/nonexistent/photo.jpg: no count: Cannot open this file: No such file or directory.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("samples: no count: Cannot open this file: it is a folder.\n"), std::string::npos) << text;
}

// Names as a shell or a card reader may make them: one line per file whatever the name holds,
// and the JSON valid UTF-8 (bytes that are not UTF-8, control characters and the backslash are
// written as \xNN and \\ on the text line, and in the JSON of a name that is not UTF-8).
TEST(PhotoCountTool, OddFileNamesStayOneValidLineEach)
{
    const ScratchFolder folder("photo-count-names");
    struct Case {
        std::string name, text, json; // as created, on the text line, in the JSON's "file" string
    };
    const std::vector<Case> cases = {
        {"plain.jpg", "plain.jpg", "plain.jpg"},
        {"caf\xC3\xA9.jpg", "caf\xC3\xA9.jpg", "caf\xC3\xA9.jpg"},       // UTF-8: as it is
        {"latin1-caf\xE9.jpg", "latin1-caf\\xE9.jpg", "latin1-caf\\\\xE9.jpg"}, // not UTF-8
        {"cut-\xE2\x82.jpg", "cut-\\xE2\\x82.jpg", "cut-\\\\xE2\\\\x82.jpg"}, // a character cut short
        {"line\nbreak.jpg", "line\\x0Abreak.jpg", "line\\u000abreak.jpg"},
        {"tab\tand\x7F.jpg", "tab\\x09and\\x7F.jpg", "tab\\u0009and\x7F.jpg"},
        {"nel\xC2\x85.jpg", "nel\\xC2\\x85.jpg", "nel\xC2\x85.jpg"},           // a C1 control
        {"back\\slash.jpg", "back\\\\slash.jpg", "back\\\\slash.jpg"},
    };
    const auto photo = loadFile(samplePath("nikon_d70_jpeg.jpg"));
    std::string arguments;
    for (const auto& c : cases) {
        const std::string path = folder.path() + "/" + c.name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << c.text;
        std::fwrite(photo.data(), 1, photo.size(), f);
        std::fclose(f);
        arguments += " '" + path + "'";
    }
    const std::string prefix = folder.path() + "/";
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "text");
        const ToolRun run = runTool((json ? "--json" : "") + arguments);
        EXPECT_EQ(run.status, 0);
        std::vector<std::string> lines;
        for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(run.out.substr(at, end - at));
        ASSERT_EQ(lines.size(), cases.size()) << run.out;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].text);
            EXPECT_TRUE(validUtf8(lines[i])) << lines[i];
            const std::string expected = json ? "{\"file\":\"" + prefix + cases[i].json + "\",\"ok\":true,"
                                              : prefix + cases[i].text + ": 526 shutter actuations (NIKON D70)";
            EXPECT_EQ(lines[i].substr(0, expected.size()), expected);
        }
    }
}

// A pipe, a device or a socket is no photo file: opening a pipe would wait for a writer for ever.
TEST(PhotoCountTool, WhatIsNotAFileIsRefusedAtOnce)
{
    const ScratchFolder folder("photo-count-kinds");
    const std::string pipe = folder.path() + "/pipe.jpg";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const ToolRun run = runTool("'" + pipe + "' /dev/null '" + samplePath("nikon_d70_jpeg.jpg") + "'");
    EXPECT_EQ(run.status, 1) << "1 when a file could not be read; -1 when the tool was stopped";
    EXPECT_NE(run.out.find(pipe + ": no count: Cannot open this file: it is a pipe, not a file.\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("/dev/null: no count: Cannot open this file: it is a device, not a file.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("nikon_d70_jpeg.jpg: 526 shutter actuations (NIKON D70)\n"), std::string::npos) << run.out;
}

// The README's example of a text line is one the tool prints: the file's name, ": ", then the
// reading's line (which may go on past the example, when the tool says more).
TEST(PhotoCountTool, ReadmeExampleIsALineTheToolPrints)
{
    std::ifstream readme(std::string(TB_PHOTO_SAMPLES_DIR) + "/../../../README.md");
    ASSERT_TRUE(readme) << "README.md";
    std::string example;
    for (std::string line; std::getline(readme, line);)
        if (line.rfind("bash scripts/photo-count DSC_0001.JPG ", 0) == 0) example = line;
    ASSERT_FALSE(example.empty()) << "no example of photo-count DSC_0001.JPG in the README";
    const auto open = example.find("# \"");
    ASSERT_NE(open, std::string::npos) << example;
    std::string shown = example.substr(open + 3, example.rfind('"') - open - 3);
    const std::string elided = "\u2026"; // the example may stop short of the whole line with "…"
    if (shown.size() >= elided.size() && shown.compare(shown.size() - elided.size(), elided.size(), elided) == 0)
        shown.resize(shown.size() - elided.size());
    PhotoReading r;
    r.count = 12345;
    r.mechanical = 3487;
    r.make = "NIKON CORPORATION";
    r.model = "NIKON D850";
    r.source = "Nikon maker note 0x00A7";
    const std::string printed = "DSC_0001.JPG: " + photoCountLine(r);
    EXPECT_EQ(printed.rfind(shown, 0), 0u) << "README shows: " << shown << "\nthe tool prints: " << printed;
}
