// The script-control cell and URL encoding through the control's JavaScript, with an in-process twin.
#pragma once

#include <unknwn.h>

#include "core/text.h"
#include "platform/handles.h"

// The script-control cell: one reference, null while none is held. The program state owns the cell.
using ScriptControl = ComPtr<IUnknown>;

// The script urlEncode adds to the control before every encoding; only urlencode_1 is run.
inline constexpr char urlEncodeScript[] =
    "function urlencode (str) {\r\n"
    "    str = (str + '').toString();\r\n"
    "    return encodeURIComponent(str).replace(/!/g, '%21').replace(/'/g, '%27')"
    ".replace(/\\(/g, '%28').\r\n"
    "    replace(/\\)/g, '%29').replace(/\\*/g, '%2A').replace(/%20/g, '+');\r\n"
    "}\r\n"
    "function urlencode_1 (str) {\r\n"
    "    return encodeURIComponent(str);\r\n"
    "}";

// Creates the control and sets its language to JavaScript. Silent on failure: the cell stays as it
// was when the control cannot be made, and is empty if it was empty.
void setUpScriptControl(ScriptControl& cell);

// The text percent-encoded as encodeURIComponent does it: through the control when it answers,
// otherwise in-process. The empty text yields the empty Text.
Text urlEncode(const ScriptControl& cell, const Text& text);

// Releases the control if the cell holds one; the cell itself stays with its owner.
void releaseScriptControl(ScriptControl& cell);

// The two ways urlEncode has, on their own (tests compare them). urlEncodeByScript yields the
// empty Text when the control is missing or any call to it fails.
Text urlEncodeByScript(const ScriptControl& cell, const Text& text);
Text urlEncodeInProcess(const Text& text);
