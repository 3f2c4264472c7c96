// reload_loop SIM_DLL WORKDIR [COUNT]: what loading and freeing the simulated service costs this
// process under Wine, with no reading at all. Twice COUNT times (default 300):
//   load  - LoadLibrary and FreeLibrary of the DLL;
//   com   - a thread that enters the apartment, creates one object of each of the service's
//           classes a reading uses (COM loads the DLL from the registry), releases them and
//           leaves the apartment (COM frees the DLL), as every reading of Tallybrook.exe does.
// Prints the working set added per round of each, after ten rounds of warm-up. The DLL is
// registered for the run and unregistered after.

#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>

#include "device/wpd_api.h"

namespace {

unsigned long long workingSetKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1024;
}

// One object of each class a reading creates, released at once.
DWORD WINAPI createClasses(void*)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = S_OK;
    for (const CLSID& id : {CLSID_PortableDeviceManager, CLSID_PortableDeviceFTM, CLSID_PortableDeviceValues,
                            CLSID_PortableDevicePropVariantCollection}) {
        IUnknown* object = nullptr;
        const HRESULT created =
            CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
        if (object) object->Release();
        if (FAILED(created)) hr = created;
    }
    CoUninitialize();
    return static_cast<DWORD>(hr);
}

bool callExport(const wchar_t* dll, const char* name)
{
    HMODULE module = LoadLibraryW(dll);
    if (!module) return false;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    const bool ok = entry && SUCCEEDED(entry());
    FreeLibrary(module);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: reload_loop SIM_DLL WORKDIR [COUNT]\n");
        return 2;
    }
    const wchar_t* dll = argv[1];
    const unsigned rounds = argc > 3 ? static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10)) : 300;
    if (rounds <= 10) {
        std::fprintf(stderr, "reload_loop: COUNT must be over 10\n");
        return 2;
    }
    const std::wstring scenario = std::wstring(argv[2]) + L"\\reload-scenario.txt";
    std::ofstream(scenario.c_str(), std::ios::binary)
        << "device usb#vid_04a9&pid_3294#1\nname Canon EOS 80D\nmanufacturer Canon Inc.\n"
           "camera canon model=\"Canon EOS 80D\" d1ac=12345\n";
    SetEnvironmentVariableW(L"TALLYBROOK_SIM_SCENARIO", scenario.c_str());
    if (!callExport(dll, "DllRegisterServer")) {
        std::printf("cannot register %ls\n", dll);
        return 2;
    }

    int status = 0;
    for (const char* kind : {"load", "com"}) {
        unsigned long long warm = 0;
        for (unsigned round = 0; round < rounds; ++round) {
            if (kind[0] == 'l') {
                FreeLibrary(LoadLibraryW(dll));
            } else {
                HANDLE thread = CreateThread(nullptr, 0, createClasses, nullptr, 0, nullptr);
                DWORD code = 1;
                WaitForSingleObject(thread, INFINITE);
                GetExitCodeThread(thread, &code);
                CloseHandle(thread);
                if (FAILED(static_cast<HRESULT>(code))) {
                    std::printf("creating the service's objects failed: 0x%08lX\n", code);
                    status = 1;
                    break;
                }
            }
            if (round == 9) warm = workingSetKiB();
        }
        const unsigned long long last = workingSetKiB();
        std::printf("reload %s: working set %llu -> %llu KiB over %u rounds, %+.1f KiB a round\n", kind, warm, last,
                    rounds - 10, (static_cast<double>(last) - static_cast<double>(warm)) / (rounds - 10));
    }
    callExport(dll, "DllUnregisterServer");
    return status;
}
