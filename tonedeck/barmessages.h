// Messages and command ids used between the bar panel and the bar dialog. The messages
// that cross libraries live in platform/message.h; these stay inside the bar program.
#pragma once

#include "platform/message.h"

// Asked of the bar by the panel when it builds: wParam a task command id; the answer is
// nonzero while that command's drawer is open.
inline constexpr UINT WM_BAR_ISDRAWEROPEN = WM_USER + 1110;

// Audio controls of the panel → bar. The bar answers 0 to all of them. The value sent, if
// any, is in lParam.
inline constexpr UINT WM_BAR_BALANCELEFT = WM_USER + 1070;   // lParam: current balance
inline constexpr UINT WM_BAR_BALANCERIGHT = WM_USER + 1075;  // lParam: current balance
inline constexpr UINT WM_BAR_VOLUMEDOWN = WM_USER + 1080;    // lParam: current volume
inline constexpr UINT WM_BAR_VOLUMEUP = WM_USER + 1085;      // lParam: current volume
inline constexpr UINT WM_BAR_BASSDOWN = WM_USER + 1090;
inline constexpr UINT WM_BAR_BASSUP = WM_USER + 1095;
inline constexpr UINT WM_BAR_TREBLEDOWN = WM_USER + 1100;
inline constexpr UINT WM_BAR_TREBLEUP = WM_USER + 1105;
inline constexpr UINT WM_BAR_SRSCENTERUP = WM_USER + 1115;
inline constexpr UINT WM_BAR_SRSCENTERDOWN = WM_USER + 1120;
inline constexpr UINT WM_BAR_SRSSPACEDOWN = WM_USER + 1125;
inline constexpr UINT WM_BAR_SRSSPACEUP = WM_USER + 1130;
inline constexpr UINT WM_BAR_SRSMODESWITCH = WM_USER + 1135;  // lParam: current mode

// Every message the panel's audio controls send, WM_BAR_TOGGLEMUTE included; the bar
// hands each of them to CBarPanel::HandleAudioMessage.
inline constexpr UINT kBarAudioMessages[] = {
    WM_BAR_TOGGLEMUTE, WM_BAR_BALANCELEFT,   WM_BAR_BALANCERIGHT,  WM_BAR_VOLUMEDOWN,
    WM_BAR_VOLUMEUP,   WM_BAR_BASSDOWN,      WM_BAR_BASSUP,        WM_BAR_TREBLEDOWN,
    WM_BAR_TREBLEUP,   WM_BAR_SRSCENTERUP,   WM_BAR_SRSCENTERDOWN, WM_BAR_SRSSPACEDOWN,
    WM_BAR_SRSSPACEUP, WM_BAR_SRSMODESWITCH,
};

// Task button commands, posted to the bar as WM_COMMAND (wParam the id).
inline constexpr int ID_SEND_VOICEGRAM = 32819;
inline constexpr int ID_VOICEGRAM_BOX = 1017;
inline constexpr int ID_CREATE_ECHOMEMO = 1018;
inline constexpr int ID_ECHOMEMOS_MANAGER = 1020;
inline constexpr int ID_RECORDER = 1016;
inline constexpr int ID_SONOSCOUT = 1019;
inline constexpr int ID_EXTRA_BUTTON = 1022;  // no drawer behind it

// The panel's control id as a child of the bar.
inline constexpr int IDC_BAR_PANEL = 100;
