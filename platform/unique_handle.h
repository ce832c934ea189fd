#pragma once
// One move-only owner for every handle kind. Traits give the handle type, its invalid value and
// how to close it; owners declared in opening order close in the reverse order.
#include <utility>

namespace platform {

template <typename Traits>
class UniqueHandle {
public:
    using Api = typename Traits::Api;
    using Handle = typename Traits::Handle;

    explicit UniqueHandle(Api& api, Handle handle = Traits::Invalid()) : api_(&api), handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : api_(other.api_), handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            api_ = other.api_;
            handle_ = other.release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    Handle release() { return std::exchange(handle_, Traits::Invalid()); }

    void reset(Handle handle = Traits::Invalid()) {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(*api_, old);
    }

private:
    Api* api_;
    Handle handle_;
};

}  // namespace platform
