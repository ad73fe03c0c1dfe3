// The script control's member call: bind by name through the type information, then Invoke.
#include "encoding/member_call.h"

#include <oaidl.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace {

// DISPPARAMS wants its arguments side by side in one array; they are cleared together when the
// call ends, which frees the BSTRs they own.
class ArgumentArray {
 public:
  explicit ArgumentArray(std::size_t n) : slots_(n) {
    for (auto& v : slots_) VariantInit(&v);
  }
  ArgumentArray(const ArgumentArray&) = delete;
  ArgumentArray& operator=(const ArgumentArray&) = delete;
  ~ArgumentArray() {
    for (auto& v : slots_) VariantClear(&v);
  }
  VARIANT* data() { return slots_.data(); }
  VARIANT& operator[](std::size_t i) { return slots_[i]; }

 private:
  std::vector<VARIANT> slots_;
};

// ITypeComp::Bind lends the description together with the type information that owns it; the
// description goes back to that owner before the owner is released.
DISPID bindMember(ITypeInfo* typeInfo, const wchar_t* name, WORD invokeKind) {
  ComPtr<ITypeComp> typeComp;
  if (FAILED(typeInfo->GetTypeComp(typeComp.put()))) return DISPID_UNKNOWN;

  // The name's hash must be computed for the type library's own locale and system.
  ComPtr<ITypeLib> library;
  UINT index = 0;
  LCID libraryLocale = LOCALE_NEUTRAL;
  SYSKIND librarySystem = SYS_WIN32;
  if (SUCCEEDED(typeInfo->GetContainingTypeLib(library.put(), &index))) {
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
      libraryLocale = attributes->lcid;
      librarySystem = attributes->syskind;
      library->ReleaseTLibAttr(attributes);
    }
  }

  std::wstring mutableName(name);  // Bind takes a non-const string
  ComPtr<ITypeInfo> owner;
  DESCKIND kind = DESCKIND_NONE;
  BINDPTR bound{};
  HRESULT hr = typeComp->Bind(mutableName.data(), LHashValOfNameSys(librarySystem, libraryLocale, name), invokeKind,
                              owner.put(), &kind, &bound);
  if (FAILED(hr)) return DISPID_UNKNOWN;

  DISPID id = DISPID_UNKNOWN;
  switch (kind) {
    case DESCKIND_FUNCDESC:
      id = bound.lpfuncdesc->memid;
      owner->ReleaseFuncDesc(bound.lpfuncdesc);
      break;
    case DESCKIND_VARDESC:
      // A plain data member only binds for a property write.
      if (invokeKind == INVOKE_PROPERTYPUT) id = bound.lpvardesc->memid;
      owner->ReleaseVarDesc(bound.lpvardesc);
      break;
    case DESCKIND_TYPECOMP:
      bound.lptcomp->Release();
      break;
    default:
      break;
  }
  return id;
}

}  // namespace

UniqueBstr toBstr(const Text& text) {
  if (text.empty()) return UniqueBstr(SysAllocString(L""));
  const int n = static_cast<int>(text.length());
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.c_str(), n, nullptr, 0);
  if (wideLength <= 0) return UniqueBstr();
  UniqueBstr wide(SysAllocStringLen(nullptr, static_cast<UINT>(wideLength)));
  if (!wide || MultiByteToWideChar(CP_ACP, 0, text.c_str(), n, wide.get(), wideLength) != wideLength)
    return UniqueBstr();
  return wide;
}

Text fromWide(const wchar_t* wide, int length) {
  if (!wide || length <= 0) return Text();
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return Text();
  std::string narrow(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, wide, length, narrow.data(), n, nullptr, nullptr) != n) return Text();
  return Text(std::move(narrow));
}

Text callMember(const ScriptControl& cell, const wchar_t* name, CallKind kind, std::initializer_list<Text> args) {
  if (!cell) return Text();

  // Asked for afresh on every call, with the binding below: the control is never trusted to keep
  // an interface or a DISPID valid from one call to the next.
  ComPtr<IDispatch> dispatch;
  if (FAILED(cell->QueryInterface(IID_IDispatch, dispatch.putVoid()))) return Text();

  const LCID locale = GetUserDefaultLCID();
  ComPtr<ITypeInfo> typeInfo;
  if (FAILED(dispatch->GetTypeInfo(0, locale, typeInfo.put())) || !typeInfo) return Text();

  const bool put = kind == CallKind::propertyPut;
  const DISPID member = bindMember(typeInfo.get(), name, put ? INVOKE_PROPERTYPUT : INVOKE_FUNC);
  if (member == DISPID_UNKNOWN) return Text();

  // DISPPARAMS holds the arguments last first.
  ArgumentArray argv(args.size());
  std::size_t slot = args.size();
  for (const Text& arg : args) {
    VARIANT& v = argv[--slot];
    UniqueBstr value = toBstr(arg);
    if (!value) return Text();
    v.vt = VT_BSTR;
    v.bstrVal = value.release();
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = argv.data();
  params.cArgs = static_cast<UINT>(args.size());
  if (put) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }

  UniqueVariant result;
  const HRESULT hr = dispatch->Invoke(member, IID_NULL, locale, put ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD, &params,
                                      result.get(), nullptr, nullptr);
  if (FAILED(hr) || kind != CallKind::methodReturningText) return Text();

  if (FAILED(VariantChangeType(result.get(), result.get(), 0, VT_BSTR))) return Text();
  const BSTR text = (*result).bstrVal;
  return fromWide(text, static_cast<int>(SysStringLen(text)));
}
