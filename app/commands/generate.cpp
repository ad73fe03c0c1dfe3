// The generate command: both fields checked, the payload and its request URL composed, the image fetched.
#include "app/commands/commands.h"
#include "app/state.h"
#include "core/texts.h"
#include "core/wifi.h"
#include "platform/download.h"
#include "platform/notice.h"
#include "platform/picture_view.h"

namespace {
// A field percent-encoded like the network name, then escaped for the Wi-Fi format: a password
// sent raw loses everything from a "#" on and has "&", "+" and "%" read by the service.
Text encodeField(HWND field) {
  return escapeEncodedWifiField(urlEncode(*scriptControl, readField(field)));
}
}  // namespace

void generateCommand() {
  if (readField(controls.编辑框1).empty()) {
    showNotice(texts::noNetworkName);
    return;
  }
  if (readField(controls.编辑框2).empty()) {
    showNotice(texts::noPassword);
    return;
  }
  Text name = encodeField(controls.编辑框1);
  qrText = composePayload(encodeField(controls.编辑框2), name);
  qrText = composeRequestUrl(PORVANTA_SERVICE_URL, qrText);
  generatedFlag = 1;
  Bytes image = downloadBytes(qrText);
  setPicture(controls.图片框1, image);
}
