// IUnknown, IClassFactory and the counted reference ComPtr<T>.
#pragma once

#include <atomic>
#include <tuple>
#include <utility>

#include "platform/com/guid.h"

// Every interface carries its identifier as `kIID`; ComPtr and ComObject use it.
struct IUnknown {
    static constexpr IID kIID = MakeGuid("00000000-0000-0000-C000-000000000046");
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;  // objects end through Release, never through delete
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    static constexpr IID kIID = MakeGuid("00000001-0000-0000-C000-000000000046");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

  protected:
    ~IClassFactory() = default;
};

constexpr IID IID_IUnknown = IUnknown::kIID;
constexpr IID IID_IClassFactory = IClassFactory::kIID;

// A counted interface reference: releases what it holds when replaced or destroyed.
template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference of `p` (AddRef).
    explicit ComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) {
        if (this != &other)
            ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases the held reference and hands out the slot for an output argument.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    T** GetAddressOf() { return &p_; }
    void** AsOut() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    // Takes over a reference without AddRef; gives one away without Release.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    T* Detach() { return std::exchange(p_, nullptr); }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // QueryInterface for U; the result is empty on failure.
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!p_) {
            out->Reset();
            return E_POINTER;
        }
        return p_->QueryInterface(U::kIID, out->AsOut());
    }

  private:
    T* p_ = nullptr;
};

// Base of the system's own COM objects: a thread-safe reference count and QueryInterface over
// the listed interfaces (IUnknown answers with the first one). The object deletes itself when
// the count reaches zero; create it with `new` and hand out references through ComPtr.
template <class... Interfaces>
class ComObject : public Interfaces... {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid == IUnknown::kIID) {
            *object = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        } else {
            ((riid == Interfaces::kIID ? (void)(*object = static_cast<Interfaces*>(this))
                                       : (void)0),
             ...);
        }
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

  protected:
    virtual ~ComObject() = default;

  private:
    using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<ULONG> refs_{0};
};

// new T(args...) wrapped in a ComPtr holding the first reference.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}
