// The window's settings in "Account.ini" as plain values: what the window
// reads at start, and each group of keys it writes, one call per moment of
// writing. Every call opens the file anew (see Profile.h); `path` is normally
// GetSettingsPath().
//
// Sections and keys:
//   [MAC]       MAC1..MAC6 begin MAC, MAC7..MAC12 end MAC (decimal octets),
//               MACNUM available address count, LOCK lock state
//   [TYPE]      DEVICETYPE device type index (0 "IPC", 1 "DVR", 2 "NVR")
//   [DEVICENET] HOSENAME device address (spelled so), PORT, USER, PSW
//               (the password, in plain text)
// Integers are written with "%d".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "korvo/appcore/MacAddress.h"

namespace korvo {

inline constexpr char kSectionMac[] = "MAC";
inline constexpr char kSectionType[] = "TYPE";
inline constexpr char kSectionDeviceNet[] = "DEVICENET";

// Everything the window reads at start. A missing file or key gives the
// value in the comment.
struct AccountSettings {
    MacAddress macBegin;         // MAC1..MAC6, low 8 bits of each (0)
    MacAddress macEnd;           // MAC7..MAC12, low 8 bits of each (0)
    int deviceType = 0;          // DEVICETYPE (0); may lie outside 0..2: then no type is selected
    std::string macCount = "0";  // MACNUM as its "%d" text, so 4294967295 reads as "-1" ("0")
    uint32_t deviceIp = 0;       // HOSENAME through ParseIpv4 (0.0.0.0)
    std::string port;            // PORT, at most 49 characters ("")
    std::string user;            // USER, at most 49 characters ("")
    std::string password;        // PSW, at most 49 characters ("")
    int lock = 0;                // LOCK: 0 locked, anything else unlocked (0)
};

// Reads every value of AccountSettings. Never fails: what cannot be read
// gives its default. Writes nothing; the window stores the lock state back
// itself (StoreLockState), which also creates the file on a first start.
AccountSettings LoadAccountSettings(const std::string& path);

// What the window stores when it closes, in one replacement of the file:
// HOSENAME ("%d.%d.%d.%d"), PORT, USER, PSW as given, then MAC7..MAC12 from
// `macEnd`. False, with a reason in *error when not null, if nothing could
// be stored (see WriteProfileTexts).
bool StoreSettingsAtClose(const std::string& path, uint32_t deviceIp, std::string_view port,
                          std::string_view user, std::string_view password, const MacAddress& macEnd,
                          std::string* error = nullptr);

// MAC1..MAC6 from `begin`, in one replacement: a crash cannot leave a begin
// MAC stored half advanced. A false result means the new begin is NOT stored
// and the next start would hand the same address out again: tell the operator.
bool StoreBeginMac(const std::string& path, const MacAddress& begin, std::string* error = nullptr);

// MAC1..MAC6 and MACNUM in one replacement, for a MAC write that also lowers
// the count. `macCount` is stored as given (see DecrementMacCount).
bool StoreBeginMacAndCount(const std::string& path, const MacAddress& begin, std::string_view macCount,
                           std::string* error = nullptr);

// DEVICETYPE, written at every change of the selection.
bool StoreDeviceType(const std::string& path, int deviceType, std::string* error = nullptr);

// LOCK: 0 locks the range, anything else unlocks it.
bool StoreLockState(const std::string& path, int lock, std::string* error = nullptr);

// The count text after one more address is used: the text read as a decimal
// integer (as ParseDecimalInt32 reads it, so "" and "abc" are 0), minus one,
// as "%d" text. The smallest 32-bit value wraps to the largest.
std::string DecrementMacCount(std::string_view macCount);

}  // namespace korvo
