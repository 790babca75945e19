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

// The main window's menu bar, navigator and file handling.
inline constexpr char kMenuFile[] = "文件(&F)";
inline constexpr char kMenuLoad[] = "载入(&O)…";
inline constexpr char kMenuSave[] = "保存(&S)…";
inline constexpr char kMenuExport[] = "导出(&E)";
inline constexpr char kMenuRecent[] = "最近打开的文件(&R)";
inline constexpr char kMenuNoRecent[] = "（无）";
inline constexpr char kMenuQuit[] = "退出(&X)";
inline constexpr char kMenuCapture[] = "采集(&C)";
inline constexpr char kMenuPort[] = "串口 %1：%2";
inline constexpr char kMenuNoPort[] = "（未找到串口）";
inline constexpr char kMenuView[] = "视图(&V)";
inline constexpr char kMenuZoomIn[] = "放大(&I)";
inline constexpr char kMenuZoomOut[] = "缩少(&O)";
inline constexpr char kMenuHome[] = "到开头(&B)";
inline constexpr char kMenuEnd[] = "到结尾(&E)";
inline constexpr char kMenuPrevFrame[] = "上一帧(&P)";
inline constexpr char kMenuNextFrame[] = "下一帧(&N)";
inline constexpr char kMenuNavigator[] = "总览与帧列表(&L)";
inline constexpr char kMenuZoomToFrame[] = "缩放到帧(&Z)";
inline constexpr char kMenuAnnotateFrames[] = "在波形上标注帧(&A)";
inline constexpr char kMenuHelp[] = "帮助(&H)";
inline constexpr char kMenuAbout[] = "关于本程序(&A)";
inline constexpr char kMenuHelpPage[] = "使用说明(&H)";
inline constexpr char kExportVcd[] = "VCD 波形及 GTKWave 视图(&V)…";
inline constexpr char kExportSr[] = "sigrok 会话 .sr(&S)…";
inline constexpr char kExportMode2[] = "LIRC mode2，显示通道(&M)…";
inline constexpr char kExportCsv[] = "边沿 CSV(&C)…";
inline constexpr char kExportLircd[] = "LIRC 遥控器配置 lircd.conf，显示通道(&L)…";
inline constexpr char kExportPronto[] = "Pronto 码，显示通道(&P)…";
inline constexpr char kExportC[] = "C 数组，显示通道(&A)…";
inline constexpr char kExportDialogTitle[] = "导出";
// The remote library: key names of the frame list, lircd.conf files imported.
inline constexpr char kMenuImportRemotes[] = "导入遥控器定义(&I)…";
inline constexpr char kImportRemotesTitle[] = "导入遥控器定义";
inline constexpr char kAllFilesFilter[] = "所有文件 (*)";
inline constexpr char kImportRemotesError[] = "未能导入遥控器定义，没有添加任何遥控器：\n%1";
inline constexpr char kRemoteKeyNotSaved[] = "按键名称未能保存到遥控器库：\n%1";
inline constexpr char kRemoteKeyNameRefused[] =
    "LIRC 无法读回这个按键名称，没有保存（名称最长 100 字节，不能含空格或控制字符，"
    "也不能是 include）：\n%1";
inline constexpr char kRemoteLibraryUnreadable[] =
    "无法读取遥控器库，本次运行不会改写它，按键名称也不会保存：\n%1";
// Captures of other tools (文件 ▸ 导入波形…) and the remote library's window (文件 ▸ 遥控器库…).
inline constexpr char kMenuImportCapture[] = "导入波形(&W)…";
inline constexpr char kImportCaptureTitle[] = "导入波形";
inline constexpr char kImportCaptureError[] = "未能导入波形，第 %1 通道没有改变：\n%2";
inline constexpr char kMenuRemoteLibrary[] = "遥控器库(&B)…";
inline constexpr char kRemoteLibraryTitle[] = "遥控器库";
inline constexpr char kRemoteLibraryColumns[] = "名称\t按键码\t来源";
inline constexpr char kRemoteKeyCount[] = "%1 个按键";
inline constexpr char kRemoteRawCode[] = "原始码（%1 段）";
inline constexpr char kRemoteSourceFile[] = "导入自 %1";
inline constexpr char kRemoteSourceCaptures[] = "在采集中命名";
inline constexpr char kRemoteRename[] = "重命名(&R)…";
inline constexpr char kRemoteDelete[] = "删除(&D)";
inline constexpr char kRemoteClose[] = "关闭";
inline constexpr char kRemoteNewName[] = "新名称：";
inline constexpr char kRemoteDeleteRemote[] = "要从遥控器库中删除遥控器“%1”及其全部按键吗？";
inline constexpr char kRemoteDeleteKey[] = "要从遥控器“%1”中删除按键“%2”吗？";
inline constexpr char kRemoteLibraryNotChanged[] = "遥控器库没有改变：\n%1";
inline constexpr char kRemotesImported[] = "已导入 %1 个遥控器，共 %2 个按键";
// After the count: what of the files the matcher does not honour, one line each with its file
// and line (LIRC's words, as in the files).
inline constexpr char kRemotesImportedWarnings[] = "\n\n以下内容不被支持（按文件和行列出）：\n%1";
inline constexpr char kRemoteAlreadyThere[] =
    "遥控器库中已有按键码相同的遥控器“%1”（%2 个按键）。\n仍要再添加一次“%3”吗？";
inline constexpr char kRemoteFilesFilter[] = "LIRC 遥控器定义 (lircd.conf* *.conf *.lircd)";
inline constexpr char kNavigatorTitle[] = "总览与帧列表";
inline constexpr char kTitleWithFile[] = "%1 - %2";
inline constexpr char kOverwriteQuestion[] = "文件“%1”已存在。\n要替换它吗？";
inline constexpr char kRecentMissing[] = "找不到文件“%1”，已将它从最近打开的文件中移除。";
// The status bar after an export (the format, the file) and an import (the files).
inline constexpr char kExportedStatus[] = "已导出 %1 到 %2";
inline constexpr char kImportedStatus[] = "已导入遥控器定义：%1";
inline constexpr char kExportWriteError[] = "保存文件出错：无法写入“%1”（%2）";
inline constexpr char kViewFileKept[] = "已保留原有的 GTKWave 视图文件“%1”，只写出了 VCD 文件。";
inline constexpr char kExportOverCapture[] =
    "不能导出到“%1”：它是当前载入的采集文件，导出会覆盖它。";
inline constexpr char kExportViewOverCapture[] =
    "不能导出：GTKWave 视图文件“%1”是当前载入的采集文件，导出会覆盖它。";
inline constexpr char kExportViewOverVcd[] =
    "不能导出：GTKWave 视图文件“%1”就是要写出的 VCD 文件。";
inline constexpr char kHelpTitle[] = "使用说明";
// %1: the infrared families decoded; %2: the export formats (both from their tables).
inline constexpr char kHelpHtml[] =
    "<h3>采集</h3>"
    "<p>在“显示通道”中选择通道（1、2 或 3），在“串口选择”中填写串口号，然后单击“开始采集”"
    "（F5）。采集期间按钮变为“强行停止”，可随时停止并保留已收到的数据。一次采集共 63,488 "
    "字节，即 507,904 个采样点，每个采样 40.1474 µs，约 20.39 秒。</p>"
    "<h3>串口号</h3>"
    "<p>Windows 上串口 N 即 COMN。Linux 上串口 N 是现有的第 N 个串口设备：先是 USB 转串口"
    "（/dev/ttyUSB0 …），再是 /dev/ttyACM0 …，最后是其他串口（/dev/ttyS0 …）。“采集”菜单列出"
    "现有串口及其设备名；命令行参数 --port N=设备 可把任意设备设为串口 N。</p>"
    "<h3>查看与测量</h3>"
    "<p>“放大”“缩少”（Ctrl++、Ctrl+-）改变时间比例，滚动条移动图形，Home / End 到开头、结尾。"
    "鼠标在图形上移动时显示绿色时间线及时间；先后单击两点显示两点间的时间。</p>"
    "<h3>总览与帧列表（F2）</h3>"
    "<p>总览以一条横带显示每个通道的全部采集，红框为图形当前显示的部分；单击或拖动即可跳转。"
    "帧列表列出解码得到的红外遥控帧（%1），单击一行图形即跳到该帧；"
    "“上一帧”“下一帧”（Ctrl+←、Ctrl+→）逐帧浏览；双击一行或“缩放到帧”使整帧显示在图形中。"
    "采集期间帧列表随数据到达而更新。“按键”一列可双击（或按 F2）为按键命名，名称存入遥控器库，"
    "以后的采集中同一按键自动显示该名称；“文件 ▸ 导入遥控器定义…”可读入 LIRC 的 lircd.conf。</p>"
    "<h3>未知帧的分析</h3>"
    "<p>没有解码器认得的脉冲串也列为“Unknown”帧，并推断其编码：脉冲间隔、脉冲宽度或双相"
    "（曼彻斯特）编码，以及引导码、0 和 1 的时长与各位的值；看不出编码的帧沿用相邻帧的编码。"
    "按住 Ctrl 或 Shift 选择几帧，列表下方即指出它们哪几位不同，便于找出地址与命令。</p>"
    "<h3>遥控器库</h3>"
    "<p>遥控器库是程序数据文件夹中的一个 lircd.conf，保存导入的遥控器和您命名的按键；"
    "每一帧都用 LIRC 的方式与库中的遥控器比对，“按键”一列显示“遥控器: 按键”。"
    "清空名称即从库中删除该按键。</p>"
    "<h3>在波形上标注帧</h3>"
    "<p>“查看 ▸ 在波形上标注帧”在图形下方标出每一帧的范围、引导码、各位的值和按键名称。</p>"
    "<h3>波形详图</h3>"
    "<p>导航窗口中的波形详图显示三个通道，从整段 20.39 秒直到单个采样：滚轮以指针处为中心缩放，"
    "拖动平移，“全部显示”显示整段采集，“适合帧”使所选帧充满详图；帧标在各自通道的波形下方。"
    "打开“同步”后，详图与上方的图形保持在同一时间。</p>"
    "<p>导出或导入之后，状态栏显示写出或读入了哪些文件（“已导出 … 到 …”）。</p>"
    "<h3>文件</h3>"
    "<p>.ird 文件依次保存三个通道的缓冲区，每个 63,489 字节，共 190,467 字节，无文件头；"
    "每字节 8 个采样，最早的在第 7 位。可用“载入”、把文件拖到窗口上或在命令行中给出文件名来打开。"
    "“导出”可写出：%2。</p>";

// 文件 ▸ 协议…: the user's own protocols, one "NAME<TAB>IRP" a line.
inline constexpr char kMenuProtocols[] = "协议(&P)…";
inline constexpr char kProtocolsTitle[] = "协议";
inline constexpr char kProtocolsHint[] =
    "每行一个协议：名称、制表符、IRP；以 # 开头的行为注释。保存后立即用于识别帧。";
inline constexpr char kProtocolsSave[] = "保存";
inline constexpr char kProtocolsNoErrors[] = "没有错误，共 %1 个协议";
inline constexpr char kProtocolsErrorAt[] = "第 %1 行第 %2 列：%3";
inline constexpr char kProtocolsRefused[] = "协议中还有错误，未保存：\n%1";
inline constexpr char kProtocolsSaveFailed[] = "未能保存协议文件 %1：\n%2";
inline constexpr char kProtocolsReadFailed[] = "未能读取协议文件 %1：%2";

inline constexpr char kAddAsProtocol[] = "添加为协议(&A)…";
inline constexpr char kAddAsProtocolName[] = "协议名称（不含空格）：";
inline constexpr char kAddAsProtocolBadName[] = "“%1”不能用作协议名称：%2";
inline constexpr char kAddedProtocolStatus[] = "已添加协议 %1：%2";

} // namespace velmoran::texts
