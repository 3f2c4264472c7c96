#pragma once
// The read job: one worker thread per reading, talking to the window only by posted messages.

#include "reading/reading.h"

#include <windows.h>

#include <functional>

// lParam: a heap std::wstring holding one log line; the window appends it, then deletes it.
inline constexpr UINT WM_LOG_LINE = WM_APP + 1;
// lParam: a heap Reading, the job's last message; the window keeps a copy, then deletes it.
inline constexpr UINT WM_READING_DONE = WM_APP + 2;

// What the job runs; readCamera in the program, a stand-in in tests.
using ReadFunction = std::function<Reading(const LogSink&)>;

// Starts the job on a new, detached thread and returns at once. Exactly one WM_READING_DONE
// reaches mainWindow for every call, after all of the job's WM_LOG_LINE messages.
void startRead(HWND mainWindow);
void startRead(HWND mainWindow, ReadFunction read);

// The job's body on the calling thread: apartment, read, post. For tests.
void runReadJob(HWND mainWindow, const ReadFunction& read) noexcept;

// The Reading posted when the job ran out of memory.
inline constexpr wchar_t kOutOfMemoryMessage[] =
    L"The reading stopped because the computer ran out of memory. Close other programs and try again.";
// The Reading posted when no thread could be started for the job.
inline constexpr wchar_t kNoThreadMessage[] =
    L"The reading couldn't start because the computer is short of resources. Close other programs and try again.";
