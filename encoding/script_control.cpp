// Making and releasing the script control, and urlEncode with its in-process fallback.
#include "encoding/script_control.h"

#include <ole2.h>

#include <string>

#include "core/percent.h"
#include "encoding/member_call.h"

static_assert(CLSCTX_ALL == 0x17);

void setUpScriptControl(ScriptControl& cell) {
  UniqueBstr progId = toBstr("MSScriptControl.ScriptControl");
  CLSID classId{};
  if (!progId || FAILED(CLSIDFromProgID(progId.get(), &classId))) return;

  ScriptControl created;
  HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_ALL, IID_IUnknown, created.putVoid());
  if (hr == E_INVALIDARG) {
    // Where remote activation is unavailable CLSCTX_ALL is refused as an invalid argument; the
    // local contexts alone may still succeed.
    constexpr DWORD localContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
    static_assert(localContexts == 0x7);
    hr = CoCreateInstance(classId, nullptr, localContexts, IID_IUnknown, created.putVoid());
  }
  if (FAILED(hr) || !created) return;
  // A control that will not run is of no use; `created` releases it on the way out.
  if (FAILED(OleRun(created.get()))) return;

  cell.reset();
  cell = std::move(created);
  callMember(cell, L"Language", CallKind::propertyPut, {"JavaScript"});
}

void releaseScriptControl(ScriptControl& cell) {
  cell.reset();
}

Text urlEncodeByScript(const ScriptControl& cell, const Text& text) {
  // Added on every encoding, never at start-up: the control may have lost its code since.
  callMember(cell, L"AddCode", CallKind::method, {urlEncodeScript});
  // The text travels as an argument value, never inside script text.
  return callMember(cell, L"run", CallKind::methodReturningText, {"urlencode_1", text});
}

Text urlEncodeInProcess(const Text& text) {
  UniqueBstr wide = toBstr(text);
  if (!wide) return Text();
  const int wideLength = static_cast<int>(SysStringLen(wide.get()));
  if (wideLength == 0) return Text();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.get(), wideLength, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return Text();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide.get(), wideLength, utf8.data(), n, nullptr, nullptr) != n) return Text();
  return Text(percentEncodeUtf8(utf8));
}

Text urlEncode(const ScriptControl& cell, const Text& text) {
  Text encoded = urlEncodeByScript(cell, text);
  // An empty answer for a non-empty name is a failure, never an encoding: without this the
  // program went on to make a QR code for an empty network name.
  if (encoded.empty()) encoded = urlEncodeInProcess(text);
  return encoded;
}
