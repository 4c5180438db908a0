// Ids of the program's dialogs, controls, timers, menu entry, string and icon.
// The values are those the program has always used; scripts and tests find
// controls by the names (object names equal the constant names).
#pragma once

#include <QtGlobal>

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_KORVO_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDD_DLG_LOCK = 130;
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

inline constexpr int IDOK = 1;

inline constexpr int IDC_STATIC_IP = 1000;
inline constexpr int IDC_STATIC_PORT = 1001;
inline constexpr int IDC_STATIC_USER = 1002;
inline constexpr int IDC_STATIC_PASSWORD = 1003;
inline constexpr int IDC_IPADDRESS = 1004;
inline constexpr int IDC_EDIT_PORT = 1005;
inline constexpr int IDC_EDIT_USER = 1006;
inline constexpr int IDC_EDIT_PASSWORD = 1007;
inline constexpr int IDC_EDIT_BEGIN_MAC1 = 1008;
inline constexpr int IDC_CHECK_SET_MAC = 1009;
inline constexpr int IDC_BUTTON_SET = 1010;
inline constexpr int IDC_STATIC_RESULT = 1011;
inline constexpr int IDC_STATIC_DEVICE_TYPE = 1012;
inline constexpr int IDC_COMBO_DEVICE_TYPE = 1013;
inline constexpr int IDC_STATIC_MAC_COUNT = 1014;
inline constexpr int IDC_EDIT_BEGIN_MAC2 = 1015;
inline constexpr int IDC_EDIT_BEGIN_MAC3 = 1016;
inline constexpr int IDC_EDIT_BEGIN_MAC4 = 1017;
inline constexpr int IDC_EDIT_BEGIN_MAC5 = 1018;
inline constexpr int IDC_EDIT_BEGIN_MAC6 = 1019;
inline constexpr int IDC_CHECK_SET_SN = 1020;
inline constexpr int IDC_EDIT_SN = 1021;
inline constexpr int IDC_EDIT_MAC_COUNT = 1022;
inline constexpr int IDC_STATIC_BRIEF = 1023;
inline constexpr int IDC_EDIT_END_MAC1 = 1024;
inline constexpr int IDC_EDIT_END_MAC2 = 1025;
inline constexpr int IDC_EDIT_END_MAC3 = 1026;
inline constexpr int IDC_EDIT_END_MAC4 = 1027;
inline constexpr int IDC_EDIT_END_MAC5 = 1028;
inline constexpr int IDC_EDIT_END_MAC6 = 1029;
inline constexpr int IDC_STATIC_BEGIN_MAC = 1030;
inline constexpr int IDC_STATIC_END_MAC = 1031;
inline constexpr int IDC_BUTTON_LOCK = 1032;
inline constexpr int IDC_STATIC_STEP1 = 1033;
inline constexpr int IDC_STATIC_STEP2 = 1034;
inline constexpr int IDC_STATIC_STEP3 = 1035;
inline constexpr int IDC_CHECK_LENS_CALIBRATION = 1036;
inline constexpr int IDC_STATIC_PREVIEW = 1038;
inline constexpr int IDC_STATIC_SN_HINT = 1039;
// The lock dialog reuses 1006, 1007, 1034 and 1035 under its own names.
inline constexpr int IDC_STATIC_LOCK_USER = 1040;
inline constexpr int IDC_STATIC_LOCK_PASSWORD = 1041;
inline constexpr int IDC_BUTTON_LOCK_RANGE = 1034;
inline constexpr int IDC_BUTTON_UNLOCK_RANGE = 1035;

// The octet edits in octet order, begin row then end row.
inline constexpr int kBeginMacIds[6] = {IDC_EDIT_BEGIN_MAC1, IDC_EDIT_BEGIN_MAC2, IDC_EDIT_BEGIN_MAC3,
                                        IDC_EDIT_BEGIN_MAC4, IDC_EDIT_BEGIN_MAC5, IDC_EDIT_BEGIN_MAC6};
inline constexpr int kEndMacIds[6] = {IDC_EDIT_END_MAC1, IDC_EDIT_END_MAC2, IDC_EDIT_END_MAC3,
                                      IDC_EDIT_END_MAC4, IDC_EDIT_END_MAC5, IDC_EDIT_END_MAC6};

// Timers of the main dialog.
inline constexpr int IDT_RESULT = 1;
inline constexpr int IDT_CALIBRATION = 2;
