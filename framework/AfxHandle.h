// Owners of the program's handles: each closes what it holds when it ends, and none can be
// copied (a copy would close the same handle twice). Only this file closes handles.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <oleauto.h>
#include <utility>

// A handle with its closing function; Null is the value that holds nothing.
template <class H, class Traits> class CHandleOf {
public:
    CHandleOf() = default;
    explicit CHandleOf(H h) : m_h(h == Traits::Invalid() ? nullptr : h) {}
    ~CHandleOf() { Close(); }
    CHandleOf(const CHandleOf&) = delete;
    CHandleOf& operator=(const CHandleOf&) = delete;
    CHandleOf(CHandleOf&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CHandleOf& operator=(CHandleOf&& o) noexcept {
        if (this != &o) {
            Close();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }

    H Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    // Takes h (an invalid value counts as none), closing what was held.
    void Attach(H h) {
        Close();
        m_h = h == Traits::Invalid() ? nullptr : h;
    }
    // Gives up the handle unclosed (to a thread that may still use it as the program ends).
    H Detach() { return std::exchange(m_h, nullptr); }
    void Close() {
        if (m_h)
            Traits::Close(m_h);
        m_h = nullptr;
    }

private:
    H m_h = nullptr;
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct ChangeNotificationTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindCloseChangeNotification(h); }
};
struct EventSourceTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::DeregisterEventSource(h); }
};
struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { ::DestroyIcon(h); }
};
struct HashAlgorithmTraits {
    static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
    static void Close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
    static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
    static void Close(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
};
struct RegistryKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};

// Events, threads, files.
using CHandle = CHandleOf<HANDLE, KernelHandleTraits>;
// FindFirstChangeNotification's handles.
using CChangeHandle = CHandleOf<HANDLE, ChangeNotificationTraits>;
// FindFirstFile's handles.
using CFindHandle = CHandleOf<HANDLE, FindTraits>;
// An icon loaded with LoadImage without LR_SHARED (a shared icon must never be destroyed).
using CIconHandle = CHandleOf<HICON, IconTraits>;
// RegisterEventSource's handles.
using CEventSourceHandle = CHandleOf<HANDLE, EventSourceTraits>;
// A hash algorithm's provider and one hash of it (BCrypt).
using CHashAlgorithmHandle = CHandleOf<BCRYPT_ALG_HANDLE, HashAlgorithmTraits>;
using CHashHandle = CHandleOf<BCRYPT_HASH_HANDLE, HashTraits>;
// An open registry key (CRegistryKey adds reading on top).
using CKeyHandle = CHandleOf<HKEY, RegistryKeyTraits>;

// An event: auto-reset unless manualReset; null when it could not be made.
inline CHandle MakeEvent(bool manualReset = false) {
    return CHandle(::CreateEventA(nullptr, manualReset, FALSE, nullptr));
}

// COM on the calling thread for the owner's life: every successful CoInitializeEx (S_FALSE
// too, when the thread had it already) is paired with one CoUninitialize.
class CComApartment {
public:
    explicit CComApartment(DWORD model = COINIT_APARTMENTTHREADED) : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
    // S_OK or S_FALSE when COM is there; RPC_E_CHANGED_MODE when the thread already has the
    // other model (COM is there all the same).
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Holds one COM interface and releases it.
template <class I> class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Release(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;

    // For an out-parameter; whatever was held is released first.
    I** Out() {
        Release();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    I* operator->() const { return m_p; }
    I* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Release() {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }

private:
    I* m_p = nullptr;
};

// Memory handed out by a COM method (CoTaskMemAlloc'd), freed at the end.
template <class T> class CCoTaskMem {
public:
    CCoTaskMem() = default;
    explicit CCoTaskMem(T* adopt) : m_p(adopt) {}
    ~CCoTaskMem() { ::CoTaskMemFree(m_p); }
    CCoTaskMem(const CCoTaskMem&) = delete;
    CCoTaskMem& operator=(const CCoTaskMem&) = delete;
    CCoTaskMem(CCoTaskMem&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    T** Out() {
        ::CoTaskMemFree(m_p);
        m_p = nullptr;
        return &m_p;
    }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};
// A text handed out by a COM method.
using CCoTaskText = CCoTaskMem<WCHAR>;

// A BSTR, freed at the end.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const wchar_t* text) : m_p(text ? ::SysAllocString(text) : nullptr) {}
    ~CBstr() { ::SysFreeString(m_p); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR* Out() {
        ::SysFreeString(m_p);
        m_p = nullptr;
        return &m_p;
    }
    BSTR Get() const { return m_p; }

private:
    BSTR m_p = nullptr;
};
