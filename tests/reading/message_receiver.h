#pragma once
// A hidden message-only window of the test's own that records what a read job posts to it.

#include "reading/read_job.h"

#include <memory>
#include <string>
#include <vector>

class Receiver {
public:
    Receiver()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Receiver::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TallybrookJobTestReceiver";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                  nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Receiver() { DestroyWindow(window_); }

    HWND window() const { return window_; }

    // Pumps until the first WM_READING_DONE (plus a little more, to catch a second one) or the
    // deadline.
    void pumpUntilDone(DWORD timeoutMs = 10000)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        ULONGLONG settleUntil = 0;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline || (settleUntil && now >= settleUntil))
                return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            if (!readings.empty() && !settleUntil)
                settleUntil = GetTickCount64() + 200;
        }
    }

    // In arrival order: a log line as itself, a reading as "<done>".
    std::vector<std::wstring> events;
    std::vector<Reading> readings;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Receiver*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_LOG_LINE && self) {
            std::unique_ptr<std::wstring> line(reinterpret_cast<std::wstring*>(lParam));
            self->events.push_back(*line);
            return 0;
        }
        if (message == WM_READING_DONE && self) {
            std::unique_ptr<Reading> reading(reinterpret_cast<Reading*>(lParam));
            self->events.push_back(L"<done>");
            self->readings.push_back(*reading);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};
