// The save command: the shown QR image written unchanged as "WiFi二维码.jpg" in a folder the user picks.
#include "app/commands/commands.h"
#include "app/state.h"
#include "core/texts.h"
#include "platform/file_write.h"
#include "platform/folder.h"
#include "platform/notice.h"
#include "platform/picture_view.h"

void saveCommand() {
  // Without a decoded image there is no QR code to save: a failed download or an error page
  // would otherwise be written as an empty or broken ".jpg" and reported as saved.
  if (generatedFlag != 1 || !pictureShown(controls.图片框1)) {
    showNotice(texts::notGenerated);
    return;
  }
  chosenFolder = pickFolder(Text());
  if (chosenFolder.empty()) {
    showNotice(texts::noFolder);
    return;
  }
  Text target = concat({chosenFolder, texts::fileSuffix});
  Bytes image = getPicture(controls.图片框1);
  if (!writeBytes(target, image)) {
    showNotice(texts::writeFailed);
    return;
  }
  showNotice(texts::saved);
}
