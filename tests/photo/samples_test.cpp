// Every real camera file gives its table's answer: in process, and through the photo-count tool
// the way a person runs it.

#include <gtest/gtest.h>

#include <cstdio>
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
