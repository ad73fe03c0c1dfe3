// Owning wrappers for the platform's handles, COM pointers, BSTRs and VARIANTs: one owner each, move-only.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

// A handle whose invalid value and close function are given by Traits.
template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type h) : h_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::invalid(); }
  Type release() { return std::exchange(h_, Traits::invalid()); }
  void reset(Type h = Traits::invalid()) {
    Type old = std::exchange(h_, h);
    if (old != Traits::invalid()) Traits::close(old);
  }
  // For out-parameters: closes what is held and hands out the slot.
  Type* put() {
    reset();
    return &h_;
  }

 private:
  Type h_ = Traits::invalid();
};

// CreateFile reports failure as INVALID_HANDLE_VALUE, not NULL.
struct FileTraits {
  using Type = HANDLE;
  static Type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Type h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileTraits>;

// Processes, threads, events and file mappings report failure as NULL.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type invalid() { return nullptr; }
  static void close(Type h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct GdiTraits {
  using Type = HGDIOBJ;
  static Type invalid() { return nullptr; }
  static void close(Type h) { DeleteObject(h); }
};
using UniqueGdiObject = UniqueHandle<GdiTraits>;

struct IconTraits {
  using Type = HICON;
  static Type invalid() { return nullptr; }
  static void close(Type h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

struct BstrTraits {
  using Type = BSTR;
  static Type invalid() { return nullptr; }
  static void close(Type b) { SysFreeString(b); }
};
using UniqueBstr = UniqueHandle<BstrTraits>;

// One counted reference to a COM object.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    reset(std::exchange(other.p_, nullptr));
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Takes over a reference the caller already counted.
  void reset(T* p = nullptr) {
    T* old = std::exchange(p_, p);
    if (old) old->Release();
  }
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// A VARIANT that is cleared (its BSTR freed, its interface released) when it goes.
class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&v_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};
