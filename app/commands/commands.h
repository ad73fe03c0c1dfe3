// The two commands bound to MainWindow's buttons.
#pragma once

// 按钮1 "生成": builds the Wi-Fi payload, downloads its QR image and shows it.
void generateCommand();
// 按钮2 "保存": writes the shown image into a folder the user picks.
void saveCommand();
