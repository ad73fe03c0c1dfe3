// The program's own texts. The source is UTF-8; the compiler stores them as code page 936 bytes.
#pragma once

namespace texts {
inline constexpr char windowTitle[] = "Porvanta";
inline constexpr char nameCaption[] = "Wifi名称：";
inline constexpr char passwordCaption[] = "WiFi密码：";
inline constexpr char generateButton[] = "生成";
inline constexpr char saveButton[] = "保存";

inline constexpr char noticeCaption[] = "信息：";
inline constexpr char noNetworkName[] = "未输入WiFi名称";
inline constexpr char noPassword[] = "未输入WiFi密码";
inline constexpr char notGenerated[] = "二维码还未生成，保存失败";
inline constexpr char noFolder[] = "还未选择路径，保存失败";
inline constexpr char writeFailed[] = "文件写入失败，保存失败";
inline constexpr char saved[] = "保存成功！";
inline constexpr char windowFailed[] = "主窗口加载失败";

inline constexpr char fileSuffix[] = "\\WiFi二维码.jpg";
}  // namespace texts
