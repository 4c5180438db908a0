// A dialog template as a table: what the dialog framework of the original
// platform read from a resource script, written here as plain data so that the
// layout of every dialog can be read (and reviewed) in one place.
//
// Positions and sizes are in dialog units; DialogUnits turns them into pixels
// from the dialog font. Texts are UTF-16 literals because the windows show
// Chinese as well as English text.
#pragma once

#include <span>

namespace dlgkit {

enum class ControlKind {
    Label,        // static text
    Edit,         // single-line edit, text shown in clear
    Ipv4Address,  // four octet fields, see Ipv4AddressEdit
    DropDownList, // combo box without an edit part, items in template order
    CheckBox,
    PushButton,
    BlackFrame,   // a rectangle drawn in black, no text
    Icon,         // a picture the dialog sets; no text
};

// Style bits of one control; combine with |.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleHidden = 1u << 0,          // created invisible
    kStyleMultiLine = 1u << 1,       // text wraps inside the control
    kStyleCenterVertically = 1u << 2,
};

inline constexpr int kIdStatic = -1;  // controls nobody refers to

struct ControlTemplate {
    int id;                 // kIdStatic for anonymous frames and labels
    const char* name;       // becomes the widget's object name ("IDC_EDIT_PORT")
    ControlKind kind;
    int x, y, cx, cy;       // dialog units
    const char16_t* text;   // template text; for a DropDownList the items joined by '\n'
    unsigned style = kStyleNone;
};

struct DialogTemplate {
    int id;
    const char* name;       // object name of the dialog ("IDD_KORVO_DIALOG")
    const char16_t* caption;
    int cx, cy;             // client size in dialog units
    int pointSize;          // of the system's sans-serif font
    bool resizable;         // resizable frame with minimise and maximise boxes
    std::span<const ControlTemplate> controls;
};

}  // namespace dlgkit
