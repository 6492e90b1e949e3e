// Small owners for handles and heap blocks, so that an early return never
// leaks. Never copyable; Detach() is for deliberate hand-overs only.
#pragma once

#include <windows.h>
#include <objbase.h>

class KeyGuard {
public:
    explicit KeyGuard(HKEY h = NULL) : h_(h) {}
    ~KeyGuard() { if (h_) RegCloseKey(h_); }
    HKEY* Out() { return &h_; }
    HKEY Get() const { return h_; }
    HKEY Detach() { HKEY h = h_; h_ = NULL; return h; }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
private:
    HKEY h_;
};

// Treats both NULL and INVALID_HANDLE_VALUE as empty; callers still test for
// the one their call fails with.
class HandleGuard {
public:
    explicit HandleGuard(HANDLE h = NULL) : h_(h) {}
    ~HandleGuard() { Close(); }
    HANDLE Get() const { return h_; }
    HANDLE Detach() { HANDLE h = h_; h_ = NULL; return h; }
    void Reset(HANDLE h) { Close(); h_ = h; }
    void Close()
    {
        if (h_ != NULL && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = NULL;
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
private:
    HANDLE h_;
};

class HeapGuard {
public:
    explicit HeapGuard(void* p = NULL) : p_(p) {}
    ~HeapGuard() { if (p_) HeapFree(GetProcessHeap(), 0, p_); }
    void* Get() const { return p_; }
    void Reset(void* p)
    {
        if (p_ && p_ != p)
            HeapFree(GetProcessHeap(), 0, p_);
        p_ = p;
    }
    void* Detach() { void* p = p_; p_ = NULL; return p; }
    HeapGuard(const HeapGuard&) = delete;
    HeapGuard& operator=(const HeapGuard&) = delete;
private:
    void* p_;
};

class LibraryGuard {
public:
    explicit LibraryGuard(HMODULE h = NULL) : h_(h) {}
    ~LibraryGuard() { if (h_) FreeLibrary(h_); }
    HMODULE Get() const { return h_; }
    LibraryGuard(const LibraryGuard&) = delete;
    LibraryGuard& operator=(const LibraryGuard&) = delete;
private:
    HMODULE h_;
};

// An item identifier list from the shell, released with the task allocator.
template <typename T>
class TaskMemGuard {
public:
    explicit TaskMemGuard(T* p = NULL) : p_(p) {}
    ~TaskMemGuard() { if (p_) CoTaskMemFree(p_); }
    T** Out() { return &p_; }
    T* Get() const { return p_; }
    TaskMemGuard(const TaskMemGuard&) = delete;
    TaskMemGuard& operator=(const TaskMemGuard&) = delete;
private:
    T* p_;
};
