// The one owner of a system handle, for every program of ours and the tests: it closes what it
// holds when it goes, cannot be copied (two owners would close twice) and can be moved. Kinds of
// handle differ only in their "none" value and the call that closes them.
#pragma once

#include <windows.h>

template <typename T, typename Traits> class Owned {
  public:
    Owned() = default;
    explicit Owned(T value) : m_value(value) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : m_value(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept {
        Reset(other.Release());
        return *this;
    }

    T Get() const { return m_value; }
    explicit operator bool() const { return Traits::Valid(m_value); }
    // Closes what it held and takes value.
    void Reset(T value = Traits::None()) {
        if (Traits::Valid(m_value)) {
            Traits::Close(m_value);
        }
        m_value = value;
    }
    // Gives the value up without closing it.
    T Release() {
        T value = m_value;
        m_value = Traits::None();
        return value;
    }
    // For calls that return a handle through a pointer; closes what it held first.
    T* Receive() {
        Reset();
        return &m_value;
    }

  private:
    T m_value = Traits::None();
};

struct HandleTraits {
    static HANDLE None() { return NULL; }
    // Some calls fail with NULL, CreateFile with INVALID_HANDLE_VALUE: neither is closed.
    static bool Valid(HANDLE value) { return value != NULL && value != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE value) { CloseHandle(value); }
};

struct KeyTraits {
    static HKEY None() { return NULL; }
    static bool Valid(HKEY value) { return value != NULL; }
    static void Close(HKEY value) { RegCloseKey(value); }
};

struct ViewTraits {
    static void* None() { return NULL; }
    static bool Valid(void* value) { return value != NULL; }
    static void Close(void* value) { UnmapViewOfFile(value); }
};

struct FontTraits {
    static HFONT None() { return NULL; }
    static bool Valid(HFONT value) { return value != NULL; }
    static void Close(HFONT value) { DeleteObject(value); }
};

using OwnedHandle = Owned<HANDLE, HandleTraits>;
using OwnedKey = Owned<HKEY, KeyTraits>;
using OwnedView = Owned<void*, ViewTraits>;
using OwnedFont = Owned<HFONT, FontTraits>;
