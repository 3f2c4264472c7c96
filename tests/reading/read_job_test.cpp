#include "reading/read_job.h"

#include "message_receiver.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Every C++ allocation of this test program is counted, so a test can see that the job gives
// back what it could not hand over.
namespace {
std::atomic<long> liveAllocations{0};
}

void* operator new(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    ++liveAllocations;
    return block;
}
void operator delete(void* block) noexcept
{
    if (block) {
        --liveAllocations;
        std::free(block);
    }
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

Reading threeLinesAndACount(const LogSink& log)
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const bool mta = SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
    log(L"first");
    log(mta ? L"in the multithreaded apartment" : L"not in the multithreaded apartment");
    log(L"third");
    Reading r;
    r.ok = true;
    r.count = 4321;
    r.source = "Canon USB 0xD1AC";
    return r;
}

}  // namespace

TEST(ReadJob, PostsEveryLogLineBeforeItsOneReading)
{
    Receiver receiver;
    startRead(receiver.window(), threeLinesAndACount);
    receiver.pumpUntilDone();
    const std::vector<std::wstring> expected{L"first", L"in the multithreaded apartment", L"third", L"<done>"};
    EXPECT_EQ(receiver.events, expected);
    ASSERT_EQ(receiver.readings.size(), 1u);
    EXPECT_TRUE(receiver.readings[0].ok);
    EXPECT_EQ(receiver.readings[0].count, 4321u);
    EXPECT_EQ(receiver.readings[0].source, "Canon USB 0xD1AC");
}

TEST(ReadJob, OutOfMemoryStillEndsWithOneFailedReading)
{
    Receiver receiver;
    startRead(receiver.window(), [](const LogSink& log) -> Reading {
        log(L"before");
        throw std::bad_alloc();
    });
    receiver.pumpUntilDone();
    const std::vector<std::wstring> expected{L"before", L"<done>"};
    EXPECT_EQ(receiver.events, expected);
    ASSERT_EQ(receiver.readings.size(), 1u);
    EXPECT_FALSE(receiver.readings[0].ok);
    EXPECT_EQ(receiver.readings[0].message,
              L"The reading stopped because the computer ran out of memory. Close other programs and try again.");
}

TEST(ReadJob, WithoutThePortableDeviceServiceOneReadingSaysSo)
{
    // Wine has no portable-device service and this test registers no stand-in.
    Receiver receiver;
    startRead(receiver.window());
    receiver.pumpUntilDone();
    ASSERT_EQ(receiver.readings.size(), 1u);
    EXPECT_FALSE(receiver.readings[0].ok);
    EXPECT_EQ(receiver.readings[0].message,
              L"Windows' portable device service isn't available (0x80040154). This app needs Windows 10 or 11.");
    const std::vector<std::wstring> expected{L"PortableDeviceManager unavailable: 0x80040154", L"<done>"};
    EXPECT_EQ(receiver.events, expected);
}

TEST(ReadJob, WhatCannotBePostedToAClosedWindowIsFreed)
{
    HWND gone = nullptr;
    {
        Receiver receiver;
        gone = receiver.window();
    }
    ASSERT_FALSE(IsWindow(gone));
    const auto read = [](const LogSink& log) {
        log(L"a line long enough to live on the heap, not inside the string object");
        log(L"another line long enough to live on the heap, not inside the string object");
        Reading r;
        r.message = L"a message long enough to live on the heap, not inside the string object";
        return r;
    };
    const long before = liveAllocations.load();
    runReadJob(gone, read);
    EXPECT_EQ(liveAllocations.load(), before);
}
