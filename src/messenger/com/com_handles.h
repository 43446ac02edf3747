#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <oleauto.h>
#include <string>
#include <utility>

// Owners for the three kinds of COM resource the binding touches. Each is
// released exactly once, on the normal and the error path alike.
namespace messenger::com {

// An interface pointer holding one reference.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    static ComPtr adopt(Interface* pointer) {
        ComPtr owner;
        owner.pointer_ = pointer;
        return owner;
    }
    // Adds a reference of its own.
    static ComPtr share(Interface* pointer) {
        if (pointer) {
            pointer->AddRef();
        }
        return adopt(pointer);
    }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
        if (pointer_) {
            pointer_->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For an out-parameter: releases what is held, then receives the new one.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (pointer_) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

    template <typename Other>
    ComPtr<Other> query(REFIID iid, HRESULT* result = nullptr) const {
        ComPtr<Other> other;
        const HRESULT hr = pointer_ ? pointer_->QueryInterface(iid, other.putVoid()) : E_POINTER;
        if (result) {
            *result = hr;
        }
        return other;
    }

private:
    Interface* pointer_ = nullptr;
};

// A BSTR the binding owns.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::u16string& text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    ~Bstr() { SysFreeString(text_); }

    BSTR get() const { return text_; }
    BSTR* put() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    // Gives up ownership, as when the string goes into a VARIANT.
    BSTR release() { return std::exchange(text_, nullptr); }

private:
    BSTR text_ = nullptr;
};

// A VARIANT the binding owns: cleared (and whatever it holds released) on
// the way out.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    Variant& operator=(Variant&&) = delete;
    ~Variant() { VariantClear(&value_); }

    const VARIANT& get() const { return value_; }
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

// The text of a BSTR; a null BSTR is the empty string, as COM defines it.
std::u16string toU16String(BSTR text);

}  // namespace messenger::com
