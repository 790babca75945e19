#pragma once

// The user-interface texts, exactly as the program shows them.

#include <QString>

namespace velmoran::texts {

// A text of this file as a QString.
inline QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline constexpr char kTitle[] = "Velmoran(11.0592M版)";
inline constexpr char kStartCapture[] = "开始采集";
inline constexpr char kForceStop[] = "强行停止";
inline constexpr char kPortNotOpen[] = "串口还未开启，请单击开始采集按钮";
inline constexpr char kPortOpened[] = "串口已开启，波特率为115200bps,等待数据中";
inline constexpr char kForceStopped[] = "串口已关闭，数据采集被强行停止";
inline constexpr char kCaptureRunning[] = "数据采集已开始，串口波特率为115200 kbps";
inline constexpr char kCaptureDonePrefix[] = "串口已关闭，数据采集已停止。共采集";
inline constexpr char kCaptureDoneSuffix[] = "秒时长的数据";
inline constexpr char kLineLost[] = "串口连接已断开，数据采集中止，已收到的数据已保留";
inline constexpr char kRateInitial[] = "0Bit/s";
inline constexpr char kRateStopped[] = "0 Bit/s";
inline constexpr char kRateUnit[] = "Bit/s";
inline constexpr char kReceiveOk[] = "Recieve OK!";
inline constexpr char kPercentInitial[] = "0%";
inline constexpr char kRateCaption[] = "数据传输率：";
inline constexpr char kChannelCaption[] = "显示通道：";
inline constexpr char kPortCaption[] = "串口选择：";
inline constexpr char kZoomIn[] = "放大";
inline constexpr char kZoomOut[] = "缩少";
inline constexpr char kLoad[] = "载入";
inline constexpr char kSave[] = "保存";
inline constexpr char kChannelOne[] = "第一通道";
inline constexpr char kChannelTwo[] = "第二通道";
inline constexpr char kChannelThree[] = "第三通道";
inline constexpr char kAbout[] = "关于本程序";
inline constexpr char kClickMe[] = "Click Me!!";
inline constexpr char kOpenFileError[] = "打开文件出错";
inline constexpr char kSaveFileError[] = "保存文件出错";
inline constexpr char kMilliseconds[] = "ms";

} // namespace velmoran::texts
