// One owning wrapper for every kind of Win32 handle: move-only, closed exactly once, null when empty.
// Each handle kind gets one alias naming the function that closes it.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle, auto Close>
class unique_handle {
  public:
    unique_handle() = default;
    explicit unique_handle(Handle handle) : handle_(handle) {}
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : handle_(other.release()) {}
    unique_handle& operator=(unique_handle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_handle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // For APIs that return the handle through an out-parameter.
    Handle* put() {
        reset();
        return &handle_;
    }

    Handle release() { return std::exchange(handle_, nullptr); }

    void reset(Handle handle = nullptr) {
        if (Handle old = std::exchange(handle_, handle)) {
            Close(old);
        }
    }

  private:
    Handle handle_ = nullptr;
};

using unique_hkey = unique_handle<HKEY, &RegCloseKey>;
