// What Tallybrook.exe carries besides code: the icon, the manifest and the version strings,
// read back from the built executable the way Windows reads them.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

#pragma pack(push, 2)
struct IconGroupHeader {
    WORD reserved, type, count;
};
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct LoadedExe {
    HMODULE module = LoadLibraryExW(TB_APP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~LoadedExe()
    {
        if (module) FreeLibrary(module);
    }
    std::vector<std::uint8_t> resource(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceW(module, name, type);
        if (!found) return {};
        const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
        return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module, found));
    }
};

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

TEST(Resources, IconGroupOneHoldsSevenPngImagesOfTheListedSizes)
{
    LoadedExe exe;
    ASSERT_NE(exe.module, nullptr);
    const auto group = exe.resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), sizeof(IconGroupHeader));
    IconGroupHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    ASSERT_EQ(header.count, 7);
    ASSERT_EQ(group.size(), sizeof header + 7 * sizeof(IconGroupEntry));

    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (int i = 0; i < 7; ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.bitCount, 32);
        const auto image = exe.resource(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_GT(image.size(), 24u);
        static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        EXPECT_EQ(std::memcmp(image.data(), signature, 8), 0) << sizes[i];
        // IHDR: width, height, 8 bits per channel, colour type 6 (RGBA).
        EXPECT_EQ(bigEndian32(&image[16]), static_cast<std::uint32_t>(sizes[i]));
        EXPECT_EQ(bigEndian32(&image[20]), static_cast<std::uint32_t>(sizes[i]));
        EXPECT_EQ(image[24], 8);
        EXPECT_EQ(image[25], 6);
    }
    // And the window class gets it.
    HICON icon = LoadIconW(exe.module, MAKEINTRESOURCEW(1));
    EXPECT_NE(icon, nullptr);
}

TEST(Resources, ManifestAsksForCommonControlsSixDpiAwarenessAndAsInvoker)
{
    LoadedExe exe;
    const auto bytes = exe.resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    const std::string manifest(bytes.begin(), bytes.end());
    for (const char* needle : {
             R"(name="Quenby.Tallybrook" version="0.1.0.0")",
             "<description>Tallybrook for Windows</description>",
             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
             R"(level="asInvoker" uiAccess="false")",
             ">true</dpiAware>",
             R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
         })
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

TEST(Resources, VersionStringsNameTheProduct)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(TB_APP_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(TB_APP_EXE, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000001u);

    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } strings[] = {
        {L"FileDescription", L"Tallybrook for Windows"}, {L"FileVersion", L"0.1.0"},
        {L"InternalName", L"Tallybrook"},                {L"ProductName", L"Tallybrook"},
        {L"ProductVersion", L"0.1.0"},                   {L"CompanyName", L"Quenby"},
        {L"OriginalFilename", L"Tallybrook.exe"},
    };
    for (const auto& s : strings) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.key;
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) << s.key;
        EXPECT_STREQ(value, s.value);
    }
}

}  // namespace
