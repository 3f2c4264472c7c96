#include "reading/read_job.h"

#include "reading/read_camera.h"

#include <objbase.h>

#include <memory>
#include <thread>

namespace {

// Ownership moves with the message; when the post fails (the window is gone) it stays here
// and the object is freed.
template <typename T>
void postOwned(HWND window, UINT message, std::unique_ptr<T> object) noexcept
{
    if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(object.get())))
        object.release();
}

std::unique_ptr<Reading> failedReading(const wchar_t* message)
{
    auto reading = std::make_unique<Reading>();
    reading->message = message;
    return reading;
}

}  // namespace

void runReadJob(HWND mainWindow, const ReadFunction& read) noexcept
{
    // Made before the read, so a reading that ran out of memory can still be reported and
    // the window never stays busy.
    std::unique_ptr<Reading> outOfMemory;
    try {
        outOfMemory = failedReading(kOutOfMemoryMessage);
    } catch (...) {
        return;  // nothing can be told to the window; there is no memory for it
    }

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_ptr<Reading> reading;
    try {
        const LogSink sink = [mainWindow](const std::wstring& line) {
            postOwned(mainWindow, WM_LOG_LINE, std::make_unique<std::wstring>(line));
        };
        reading = std::make_unique<Reading>(read(sink));
    } catch (...) {
        // Only memory exhaustion can leave readCamera; every service object is released by now.
        reading = std::move(outOfMemory);
    }
    CoUninitialize();
    postOwned(mainWindow, WM_READING_DONE, std::move(reading));
}

void startRead(HWND mainWindow)
{
    startRead(mainWindow, [](const LogSink& sink) { return readCamera(sink); });
}

void startRead(HWND mainWindow, ReadFunction read)
{
    try {
        std::thread(
            [mainWindow, read = std::move(read)] { runReadJob(mainWindow, read); })
            .detach();
    } catch (...) {
        // The window has already gone busy; it leaves that state only through a reading.
        try {
            postOwned(mainWindow, WM_READING_DONE, failedReading(kNoThreadMessage));
        } catch (...) {
        }
    }
}
