#pragma once
// A C++20 coroutine that runs when awaited and hands its result to the one who awaited it.
// The camera readers are written once as Tasks: in Tallybrook.exe every camera exchange
// finishes before it returns, so a Task runs to its end inside start(); in the page an
// exchange waits on a WebUSB promise, the Task suspends, and the page resumes it from that
// promise's callback. No JSPI and no Asyncify: the waiting lives in the coroutine frames.

#if __has_include(<coroutine>)
#include <coroutine>
namespace coro = std;
#else
// Debian 12's Emscripten ships the coroutine library under its pre-standard name only.
#include <experimental/coroutine>
namespace coro = std::experimental;
#endif
#include <exception>
#include <optional>
#include <utility>

namespace task_detail {

struct PromiseBase {
    coro::coroutine_handle<> continuation;  // who awaits this task; empty for the outermost one
    bool awaiterSuspended = false;          // the awaiter did not get the result at once: resume it
#if defined(__cpp_exceptions)
    std::exception_ptr failure;  // only running out of memory throws; it travels to the awaiter
    void unhandled_exception() noexcept { failure = std::current_exception(); }
    void rethrowIfFailed()
    {
        if (failure)
            std::rethrow_exception(failure);
    }
#else
    void unhandled_exception() noexcept { std::terminate(); }
    void rethrowIfFailed() noexcept {}
#endif

    coro::suspend_always initial_suspend() noexcept { return {}; }

    // At its end a Task resumes whoever awaited it, unless that one is still inside
    // Task::await_suspend and will go on by itself. (Not symmetric transfer: that needs tail
    // calls, which WebAssembly has only as an extension.)
    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        void await_suspend(coro::coroutine_handle<Promise> done) noexcept
        {
            PromiseBase& promise = done.promise();
            if (promise.awaiterSuspended && promise.continuation) {
                coro::coroutine_handle<> awaiter = promise.continuation;
                awaiter.resume();  // may destroy this frame: touch nothing after
            }
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
};

template <typename T>
struct Promise : PromiseBase {
    std::optional<T> value;
    void return_value(T v) { value = std::move(v); }
    T take()
    {
        rethrowIfFailed();
        return std::move(*value);
    }
};

template <>
struct Promise<void> : PromiseBase {
    void return_void() noexcept {}
    void take() { rethrowIfFailed(); }
};

}  // namespace task_detail

template <typename T = void>
class [[nodiscard]] Task {
public:
    struct promise_type : task_detail::Promise<T> {
        Task get_return_object() noexcept { return Task(coro::coroutine_handle<promise_type>::from_promise(*this)); }
    };

    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { destroy(); }

    // co_await task: runs it; when it ends before its first real wait the awaiter goes on at
    // once, otherwise the task resumes the awaiter when it ends.
    bool await_ready() const noexcept { return !handle_ || handle_.done(); }
    bool await_suspend(coro::coroutine_handle<> awaiting)
    {
        handle_.promise().continuation = awaiting;
        handle_.resume();
        if (handle_.done())
            return false;
        handle_.promise().awaiterSuspended = true;
        return true;
    }
    T await_resume() { return handle_.promise().take(); }

    // For the outermost Task: start it; it runs until its first real wait or its end.
    void start() { handle_.resume(); }
    bool done() const noexcept { return handle_ && handle_.done(); }
    // Once done(): the result (moved out; call once).
    T result() { return handle_.promise().take(); }

private:
    explicit Task(coro::coroutine_handle<promise_type> handle) noexcept : handle_(handle) {}
    void destroy() noexcept
    {
        if (handle_)
            handle_.destroy();
        handle_ = {};
    }

    coro::coroutine_handle<promise_type> handle_;
};

// Runs a Task whose every wait finishes at once (the portable-device route) and gives its result.
template <typename T>
T runToEnd(Task<T> task)
{
    task.start();
    // Every exchange on this route completes before it returns; a task still waiting here
    // would be a runner that suspends, which this route never has.
    if (!task.done())
        std::terminate();
    return task.result();
}
