#pragma once
// Accounting of what the simulated service hands out: live COM objects per class, and live
// task-allocator blocks seen through an IMallocSpy, so a test can end with "everything that
// was handed out came back".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class ObjectKind {
    Manager,     // CLSID_PortableDeviceManager
    Device,      // CLSID_PortableDeviceFTM
    Values,      // CLSID_PortableDeviceValues, made by a client
    Collection,  // CLSID_PortableDevicePropVariantCollection, made by a client or by the service
    Results,     // values sets SendCommand hands back
};
inline constexpr int kObjectKinds = 5;
std::string_view objectKindName(ObjectKind kind);

long liveObjects(ObjectKind kind);
long liveObjects();                    // of every kind
long createdObjects(ObjectKind kind);  // since the process started

// Registers the process's malloc spy (CoRegisterMallocSpy) once; later calls only report
// whether it is active. Until then no block is tracked.
bool watchTaskAllocator();

// Every block the task allocator hands out gets the next number of one sequence; a mark is
// the current number, so "since mark" means "allocated after the mark was taken".
std::uint64_t allocationMark();

struct LiveBlock {
    std::uint64_t number = 0;
    std::size_t size = 0;
    std::string what;  // how the service handed it out ("GetStringValue", ...); empty for other blocks
};
std::vector<LiveBlock> liveBlocksSince(std::uint64_t mark);

// What is still out: live objects of any kind and task-allocator blocks allocated since the
// mark and not freed, as text; empty when everything came back.
std::string outstanding(std::uint64_t mark);
// The same since the mark the current Registration took when it was made (or since the
// spy was registered, without one).
std::string outstanding();

namespace accounting {
// Hooks for the service's own classes.
void objectCreated(ObjectKind kind);
void objectDestroyed(ObjectKind kind);
// Names a live block the service is handing out, for the failure message.
void label(const void* block, const char* what);
void setCurrentMark(std::uint64_t mark);
// Called on the releasing thread each time the last live object of the service goes (the
// server DLL logs then what is still out). Set once, before any object exists.
void setAllReleasedListener(std::function<void()> listener);
}  // namespace accounting

}  // namespace sim
