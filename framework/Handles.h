// Move-only owners for Win32 handles, so no path can skip the matching close call.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

namespace detail {
inline void CloseKernelHandle(HANDLE handle) noexcept {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}
inline void CloseWindowHandle(HWND window) noexcept { DestroyWindow(window); }
inline void CloseIconHandle(HICON icon) noexcept { DestroyIcon(icon); }
inline void CloseMenuHandle(HMENU menu) noexcept { DestroyMenu(menu); }
inline void CloseBitmapHandle(HBITMAP bitmap) noexcept { DeleteObject(bitmap); }
}  // namespace detail

// Owns one handle and releases it with Close. No implicit conversion back to the raw value:
// get() and release() are explicit, copying is deleted.
template <class Handle, void (*Close)(Handle) noexcept>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  Handle release() noexcept { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (old != nullptr) Close(old);
  }

 private:
  Handle handle_ = nullptr;
};

// Kernel objects: events, mutexes, processes, threads, snapshots.
using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle>;
// A window; must be reset on the thread that created it.
using UniqueWindow = UniqueResource<HWND, detail::CloseWindowHandle>;
// An icon made for us (never a shared icon from LR_SHARED or a system LoadIcon).
using UniqueIcon = UniqueResource<HICON, detail::CloseIconHandle>;
using UniqueMenu = UniqueResource<HMENU, detail::CloseMenuHandle>;
using UniqueBitmap = UniqueResource<HBITMAP, detail::CloseBitmapHandle>;

// The two handles CreateProcess hands back, each closed on its own.
struct ProcessHandles {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD processId = 0;
  DWORD threadId = 0;

  static ProcessHandles Adopt(const PROCESS_INFORMATION& info) {
    ProcessHandles handles;
    handles.process.reset(info.hProcess);
    handles.thread.reset(info.hThread);
    handles.processId = info.dwProcessId;
    handles.threadId = info.dwThreadId;
    return handles;
  }
};

}  // namespace framework
