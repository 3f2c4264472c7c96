// tallybrook_sim.dll: the simulated portable-device service as an in-process COM server, so
// the real Tallybrook.exe meets it through CoCreateInstance with nothing changed. Its
// scenario comes from the file named by TALLYBROOK_SIM_SCENARIO; without that variable the
// classes answer "not registered", as on a machine without the service.

#include "device/wpd_api.h"

#include <olectl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "scenario_file.h"
#include "service.h"
#include "service_state.h"
#include "sim/cameras/camera_factory.h"

namespace {

HINSTANCE gModule = nullptr;
constexpr wchar_t kDllName[] = L"tallybrook_sim.dll";

struct ServerClass {
    const CLSID* clsid;
    const wchar_t* name;
};
const ServerClass kClasses[] = {
    {&CLSID_PortableDeviceManager, L"Tallybrook simulated PortableDeviceManager"},
    {&CLSID_PortableDeviceFTM, L"Tallybrook simulated PortableDeviceFTM"},
    {&CLSID_PortableDeviceValues, L"Tallybrook simulated PortableDeviceValues"},
    {&CLSID_PortableDevicePropVariantCollection, L"Tallybrook simulated PortableDevicePropVariantCollection"},
};

std::wstring environment(const wchar_t* name)
{
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    return n > 0 && n < std::size(buffer) ? std::wstring(buffer, n) : std::wstring();
}

void appendLog(const std::wstring& path, const std::string& line)
{
    if (path.empty())
        return;
    if (FILE* f = _wfopen(path.c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

// Loaded once per load of the DLL: S_OK with the scenario current, or the answer every
// DllGetClassObject gives.
HRESULT gLoadResult = E_FAIL;
std::once_flag gLoadOnce;

void loadScenario()
{
    const std::wstring path = environment(L"TALLYBROOK_SIM_SCENARIO");
    const std::wstring log = environment(L"TALLYBROOK_SIM_LOG");
    if (path.empty()) {
        gLoadResult = REGDB_E_CLASSNOTREG;
        return;
    }
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const sim::CameraMaker maker = [](std::string_view line, std::string* why) { return sim::makeCamera(line, why); };
    auto scenario = file ? sim::parseScenario(text.str(), maker, &error) : std::nullopt;
    if (!file)
        error = "cannot read the file";
    if (!scenario) {
        const std::string message = "tallybrook_sim: scenario file: " + error;
        std::fprintf(stderr, "%s\n", message.c_str());
        appendLog(log, message);
        gLoadResult = E_UNEXPECTED;
        return;
    }
    appendLog(log, "scenario loaded: " + std::to_string(scenario->devices.size()) + " device(s), " +
                       std::to_string(scenario->faults.size()) + " fault(s)");
    sim::setScenario(std::move(*scenario));
    if (!log.empty()) {
        sim::currentState()->setRecordListener([log](const sim::Record& r) { appendLog(log, sim::describe(r)); });
        // Whenever the program has let go of every object, the blocks the service handed out
        // must be back too: the log says how many are not.
        if (sim::watchTaskAllocator()) {
            const std::uint64_t mark = sim::allocationMark();
            sim::accounting::setAllReleasedListener([log, mark] {
                std::size_t out = 0;
                for (const auto& b : sim::liveBlocksSince(mark))
                    out += b.what.empty() ? 0 : 1;
                appendLog(log, "all objects released; handed-out blocks not freed: " + std::to_string(out));
            });
        }
    }
    gLoadResult = S_OK;
}

std::wstring clsidKey(const CLSID& clsid)
{
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return std::wstring(L"CLSID\\") + text;
}

// The file an InprocServer32 key names, or empty.
std::wstring registeredServer(const std::wstring& key)
{
    wchar_t value[MAX_PATH * 2] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return value;
}

// Only a registration of this simulation may be replaced or removed: on a Windows machine
// the same class ids belong to the real service.
bool isOurs(const std::wstring& server)
{
    const auto slash = server.find_last_of(L"\\/");
    const std::wstring file = slash == std::wstring::npos ? server : server.substr(slash + 1);
    return CompareStringOrdinal(file.c_str(), -1, kDllName, -1, TRUE) == CSTR_EQUAL;
}

bool setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = sim::classFactory(clsid);
    if (!factory)
        return CLASS_E_CLASSNOTAVAILABLE;
    std::call_once(gLoadOnce, loadScenario);
    if (FAILED(gLoadResult))
        return gLoadResult;
    return factory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return sim::liveObjects() == 0 && sim::serverLocks() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH)
        return SELFREG_E_CLASS;
    for (const auto& c : kClasses) {
        const std::wstring key = clsidKey(*c.clsid);
        const std::wstring existing = registeredServer(key);
        if (!existing.empty() && !isOurs(existing))
            return SELFREG_E_CLASS;
    }
    for (const auto& c : kClasses) {
        const std::wstring key = clsidKey(*c.clsid);
        const std::wstring server = key + L"\\InprocServer32";
        if (!setValue(HKEY_CLASSES_ROOT, key, nullptr, c.name) || !setValue(HKEY_CLASSES_ROOT, server, nullptr, path) ||
            !setValue(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both"))
            return SELFREG_E_CLASS;
    }
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    HRESULT result = S_OK;
    for (const auto& c : kClasses) {
        const std::wstring key = clsidKey(*c.clsid);
        const std::wstring existing = registeredServer(key);
        if (existing.empty() || !isOurs(existing))
            continue;
        if (RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()) != ERROR_SUCCESS)
            result = SELFREG_E_CLASS;
    }
    return result;
}
