#include "KorvoTemplates.h"

#include "Resource.h"

namespace {

using enum dlgkit::ControlKind;
using dlgkit::kIdStatic;
using dlgkit::kStyleCenterVertically;
using dlgkit::kStyleHidden;
using dlgkit::kStyleMultiLine;

// The id and its name, so that every row names its control once.
#define CTL(id) id, #id
#define ANON kIdStatic, "IDC_STATIC"

// x, y, width, height in dialog units; the template texts are the Chinese
// ones the dialog was designed with (most are replaced at start).
const dlgkit::ControlTemplate kKorvoControls[] = {
    {CTL(IDC_STATIC_IP), Label, 19, 8, 63, 12, u"IP地址"},
    {CTL(IDC_STATIC_PORT), Label, 19, 27, 63, 12, u"端口"},
    {CTL(IDC_STATIC_USER), Label, 19, 46, 63, 12, u"用户名"},
    {CTL(IDC_STATIC_PASSWORD), Label, 19, 65, 63, 12, u"密码"},
    {CTL(IDC_IPADDRESS), Ipv4Address, 87, 7, 96, 14, nullptr},
    {CTL(IDC_EDIT_PORT), Edit, 87, 26, 96, 14, nullptr},
    {CTL(IDC_EDIT_USER), Edit, 87, 45, 96, 14, nullptr},
    {CTL(IDC_EDIT_PASSWORD), Edit, 87, 64, 96, 14, nullptr},
    {CTL(IDC_CHECK_SET_MAC), CheckBox, 19, 83, 65, 12, u"设置MAC"},
    {CTL(IDC_STATIC_BEGIN_MAC), Label, 19, 99, 70, 17, u"起始MAC地址："},
    {CTL(IDC_EDIT_BEGIN_MAC1), Edit, 87, 99, 32, 16, nullptr},
    {CTL(IDC_EDIT_BEGIN_MAC2), Edit, 127, 99, 32, 16, nullptr},
    {CTL(IDC_EDIT_BEGIN_MAC3), Edit, 171, 99, 32, 16, nullptr},
    {CTL(IDC_EDIT_BEGIN_MAC4), Edit, 211, 99, 32, 16, nullptr},
    {CTL(IDC_EDIT_BEGIN_MAC5), Edit, 255, 99, 32, 16, nullptr},
    {CTL(IDC_EDIT_BEGIN_MAC6), Edit, 295, 99, 32, 16, nullptr},
    {CTL(IDC_STATIC_END_MAC), Label, 19, 120, 70, 17, u"结束MAC地址："},
    {CTL(IDC_EDIT_END_MAC1), Edit, 87, 120, 32, 16, nullptr},
    {CTL(IDC_EDIT_END_MAC2), Edit, 127, 120, 32, 16, nullptr},
    {CTL(IDC_EDIT_END_MAC3), Edit, 171, 120, 32, 16, nullptr},
    {CTL(IDC_EDIT_END_MAC4), Edit, 211, 120, 32, 16, nullptr},
    {CTL(IDC_EDIT_END_MAC5), Edit, 255, 120, 32, 16, nullptr},
    {CTL(IDC_EDIT_END_MAC6), Edit, 295, 120, 32, 16, nullptr},
    {CTL(IDC_BUTTON_LOCK), PushButton, 346, 100, 34, 35, u"锁定"},
    {ANON, BlackFrame, 14, 82, 380, 57, nullptr},
    {CTL(IDC_CHECK_SET_SN), CheckBox, 18, 151, 65, 12, u"设置SN"},
    {CTL(IDC_EDIT_SN), Edit, 86, 150, 96, 14, nullptr},
    {CTL(IDC_STATIC_SN_HINT), Label, 190, 150, 177, 20, u"请找相关人员索要正确的序列号进行设置"},
    {ANON, BlackFrame, 14, 142, 380, 30, nullptr},
    {CTL(IDC_CHECK_LENS_CALIBRATION), CheckBox, 18, 177, 314, 22,
     u"镜头校正(安霸设备专用,此设置需要几分钟进行校正，设置后请不要关闭软件，等待校正成功)", kStyleMultiLine},
    {ANON, BlackFrame, 14, 175, 380, 28, nullptr},
    {CTL(IDC_STATIC_DEVICE_TYPE), Label, 211, 6, 70, 17, u"设备类型"},
    {CTL(IDC_COMBO_DEVICE_TYPE), DropDownList, 284, 8, 88, 18, u"IPC\nDVR\nNVR"},
    {CTL(IDC_STATIC_MAC_COUNT), Label, 211, 42, 70, 17, u"可用MAC地址数", kStyleHidden},
    {CTL(IDC_EDIT_MAC_COUNT), Edit, 278, 40, 96, 14, nullptr, kStyleHidden},
    {CTL(IDC_STATIC_BRIEF), Label, 16, 202, 328, 9, u"简要说明"},
    {CTL(IDC_STATIC_STEP1), Label, 16, 214, 328, 14, u"1、首先输入MAC地址的范围"},
    {CTL(IDC_STATIC_STEP2), Label, 15, 230, 328, 14, u"2、锁定MAC地址范围，锁定后如果需要解锁需要输入解锁密码"},
    {CTL(IDC_STATIC_STEP3), Label, 15, 248, 328, 21,
     u"3、点击设置按钮，MAC地址会自动写入设备，如果超出范围，会提示“MAC地址使用完，请更新”"},
    {CTL(IDC_BUTTON_SET), PushButton, 130, 270, 63, 17, u"设置"},
    {CTL(IDC_STATIC_RESULT), Label, 203, 270, 172, 17, u"设置成功！", kStyleCenterVertically},
    {ANON, Label, 16, 277, 93, 12, u"Ver.8.1.23.5"},
    {CTL(IDC_STATIC_PREVIEW), BlackFrame, 397, 7, 311, 280, nullptr},
};

const dlgkit::ControlTemplate kAboutControls[] = {
    {CTL(IDR_MAINFRAME), Icon, 14, 14, 21, 20, nullptr},
    {ANON, Label, 42, 14, 114, 8, u"Korvo，1.0 版"},
    {ANON, Label, 42, 26, 114, 8, u"MAC 地址与序列号设置工具"},
    {CTL(IDOK), PushButton, 113, 41, 50, 14, u"确定"},
};

const dlgkit::ControlTemplate kLockControls[] = {
    {CTL(IDC_STATIC_LOCK_USER), Label, 29, 34, 79, 14, u"用户名"},
    {CTL(IDC_STATIC_LOCK_PASSWORD), Label, 29, 64, 79, 14, u"密码"},
    {CTL(IDC_EDIT_USER), Edit, 111, 33, 103, 15, nullptr},
    {CTL(IDC_EDIT_PASSWORD), Edit, 110, 63, 103, 15, nullptr},
    {CTL(IDC_BUTTON_LOCK_RANGE), PushButton, 60, 111, 72, 21, u"锁定"},
    {CTL(IDC_BUTTON_UNLOCK_RANGE), PushButton, 153, 110, 72, 21, u"解锁"},
};

#undef CTL
#undef ANON

}  // namespace

const dlgkit::DialogTemplate kKorvoDialogTemplate = {
    IDD_KORVO_DIALOG, "IDD_KORVO_DIALOG", u"TQ tool for mac and sn", 722, 294, 9, true, kKorvoControls};
const dlgkit::DialogTemplate kAboutBoxTemplate = {
    IDD_ABOUTBOX, "IDD_ABOUTBOX", u"关于 Korvo", 170, 62, 9, false, kAboutControls};
const dlgkit::DialogTemplate kLockDialogTemplate = {
    IDD_DLG_LOCK, "IDD_DLG_LOCK", u"Lock", 316, 183, 8, false, kLockControls};
