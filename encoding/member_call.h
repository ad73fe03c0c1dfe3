// Calling a member of the script control by name through IDispatch, bound afresh on every call.
#pragma once

#include <initializer_list>

#include "core/text.h"
#include "encoding/script_control.h"

enum class CallKind {
  propertyPut,          // DISPATCH_PROPERTYPUT with the one argument as the new value
  method,               // DISPATCH_METHOD, result discarded
  methodReturningText,  // DISPATCH_METHOD, result changed to text
};

// Binds name (case-insensitively, as the kind says) through the control's type information and
// invokes it with the texts as BSTR arguments, in order. Yields the result for
// methodReturningText; the empty Text otherwise, and whenever the call fails.
Text callMember(const ScriptControl& cell, const wchar_t* name, CallKind kind, std::initializer_list<Text> args);

// CP_ACP text to UTF-16 and back, no flags. A null BSTR when the text does not convert.
UniqueBstr toBstr(const Text& text);
Text fromWide(const wchar_t* wide, int length);
