#include "accounting.h"

#include <windows.h>
#include <objbase.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>

namespace sim {
namespace {

std::array<std::atomic<long>, kObjectKinds> gLive{};
std::array<std::atomic<long>, kObjectKinds> gCreated{};
std::atomic<std::uint64_t> gCurrentMark{0};
std::function<void()> gAllReleased;

struct Block {
    std::uint64_t number;
    std::size_t size;
    const char* what;
};

// The spy sees every CoTaskMemAlloc/Realloc/Free of the process. Its own bookkeeping uses
// the C++ heap only, never the task allocator, so it cannot recurse.
class MallocSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IMallocSpy))) {
            *ppv = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives for the whole process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cb) override
    {
        pendingSize_ = cb;
        return cb;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* p) override
    {
        if (p)
            add(p, pendingSize_);
        return p;
    }
    void* STDMETHODCALLTYPE PreFree(void* p, BOOL) override
    {
        remove(p);
        return p;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T cb, void** newRequest, BOOL) override
    {
        *newRequest = p;
        pendingOld_ = p;
        pendingSize_ = cb;
        return cb;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override
    {
        // A failed reallocation keeps the old block; a size of 0 frees it.
        if (p || pendingSize_ == 0)
            remove(pendingOld_);
        if (p)
            add(p, pendingSize_);
        return p;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cb, BOOL) override { return cb; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    std::uint64_t mark()
    {
        std::lock_guard lock(mutex_);
        return next_;
    }
    void label(const void* p, const char* what)
    {
        std::lock_guard lock(mutex_);
        if (auto it = live_.find(p); it != live_.end())
            it->second.what = what;
    }
    std::vector<LiveBlock> since(std::uint64_t mark)
    {
        std::lock_guard lock(mutex_);
        std::map<std::uint64_t, LiveBlock> ordered;
        for (const auto& [p, b] : live_)
            if (b.number >= mark)
                ordered[b.number] = LiveBlock{b.number, b.size, b.what ? b.what : ""};
        std::vector<LiveBlock> out;
        for (auto& [n, b] : ordered)
            out.push_back(std::move(b));
        return out;
    }

private:
    void add(const void* p, std::size_t size)
    {
        std::lock_guard lock(mutex_);
        live_[p] = Block{next_++, size, nullptr};
    }
    void remove(const void* p)
    {
        std::lock_guard lock(mutex_);
        live_.erase(p);
    }

    // Pre and Post calls of one allocation come from the same thread.
    static thread_local std::size_t pendingSize_;
    static thread_local void* pendingOld_;
    std::mutex mutex_;
    std::map<const void*, Block> live_;
    std::uint64_t next_ = 1;
};

thread_local std::size_t MallocSpy::pendingSize_ = 0;
thread_local void* MallocSpy::pendingOld_ = nullptr;

MallocSpy& spy()
{
    static MallocSpy* instance = new MallocSpy;  // never destroyed: blocks may be freed at exit
    return *instance;
}

std::atomic<bool> gSpyActive{false};

}  // namespace

std::string_view objectKindName(ObjectKind kind)
{
    constexpr std::string_view names[kObjectKinds] = {"manager", "device", "values", "collection", "results"};
    return names[static_cast<int>(kind)];
}

long liveObjects(ObjectKind kind) { return gLive[static_cast<int>(kind)].load(); }

long liveObjects()
{
    long n = 0;
    for (const auto& v : gLive)
        n += v.load();
    return n;
}

long createdObjects(ObjectKind kind) { return gCreated[static_cast<int>(kind)].load(); }

bool watchTaskAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (SUCCEEDED(CoRegisterMallocSpy(&spy()))) {
            gCurrentMark = spy().mark();
            gSpyActive = true;
        }
    });
    return gSpyActive;
}

std::uint64_t allocationMark() { return gSpyActive ? spy().mark() : 0; }

std::vector<LiveBlock> liveBlocksSince(std::uint64_t mark)
{
    return gSpyActive ? spy().since(mark) : std::vector<LiveBlock>{};
}

std::string outstanding(std::uint64_t mark)
{
    std::string text;
    for (int k = 0; k < kObjectKinds; ++k)
        if (long n = gLive[k].load(); n != 0)
            text += std::to_string(n) + " live " + std::string(objectKindName(static_cast<ObjectKind>(k))) + " object(s); ";
    for (const auto& b : liveBlocksSince(mark))
        text += "task-allocator block #" + std::to_string(b.number) + " of " + std::to_string(b.size) + " bytes" +
                (b.what.empty() ? std::string() : " from " + b.what) + " not freed; ";
    return text;
}

std::string outstanding() { return outstanding(gCurrentMark.load()); }

namespace accounting {

void objectCreated(ObjectKind kind)
{
    ++gLive[static_cast<int>(kind)];
    ++gCreated[static_cast<int>(kind)];
}

void objectDestroyed(ObjectKind kind)
{
    --gLive[static_cast<int>(kind)];
    if (gAllReleased && liveObjects() == 0)
        gAllReleased();
}

void label(const void* block, const char* what)
{
    if (gSpyActive && block)
        spy().label(block, what);
}

void setCurrentMark(std::uint64_t mark) { gCurrentMark = mark; }

void setAllReleasedListener(std::function<void()> listener) { gAllReleased = std::move(listener); }

}  // namespace accounting
}  // namespace sim
