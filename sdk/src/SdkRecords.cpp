#include "korvo/sdk/SdkRecords.h"

#include "korvo/appcore/Ipv4.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace korvo::sdk {
namespace {

// Copies `text` into a field of `size` bytes, cut so that a terminator fits.
void PutText(char* field, size_t size, std::string_view text) {
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, size - length);
}

template <class Record>
Record MakeRecord(const LoginValues& values, TQ_NET_EventCallback callback) {
    Record record;
    std::memset(&record, 0, sizeof record);
    PutText(record.szAddress, sizeof record.szAddress, korvo::FormatIpv4(values.deviceIp));
    record.nPort = ParsePortText(values.port);
    record.nTransport = 1;
    PutText(record.szUser, sizeof record.szUser, values.user);
    PutText(record.szPassword, sizeof record.szPassword, values.password);
    record.byReserved204 = 0;
    record.byReserved206 = 1;
    record.byDeviceKind = values.deviceType == 1 ? 1 : 0;
    record.byReserved208 = 0;
    record.pUserData = values.userData;
    record.pfnEvent = callback;
    return record;
}

}  // namespace

std::optional<int> MessageForSdkEvent(uint32_t event) {
    switch (event) {
    case TQ_NET_EVENT_LOGIN_OK: return WM_SDK_LOGIN_OK;
    case TQ_NET_EVENT_LOGIN_FAILED: return WM_SDK_LOGIN_FAILED;
    case TQ_NET_EVENT_PREVIEW_STARTED: return WM_SDK_PREVIEW_STARTED;
    case TQ_NET_EVENT_PREVIEW_LOST: return WM_SDK_PREVIEW_LOST;
    case TQ_NET_EVENT_RESERVED_502: return WM_SDK_EVENT_502;
    default: return std::nullopt;
    }
}

TQ_NET_LoginInfo MakeLoginInfo(const LoginValues& values, TQ_NET_EventCallback callback) {
    return MakeRecord<TQ_NET_LoginInfo>(values, callback);
}

TQ_NET_ClientInfo MakeClientInfo(const LoginValues& values) { return MakeRecord<TQ_NET_ClientInfo>(values, nullptr); }

int32_t ParsePortText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

void PutMacText(TQ_NET_NetParam& param, const MacAddress& mac) {
    PutText(param.szMac, sizeof param.szMac, MacToLowerHex(mac));
}

void PutSerialText(TQ_NET_P2PInfo& info, std::string_view sn) { PutText(info.szSerial, sizeof info.szSerial, sn); }

ProvisioningRecords ReadRecordsWithNewValues(TQ_HANDLE login, const MacAddress& mac, std::string_view sn) {
    ProvisioningRecords records;
    std::memset(&records, 0, sizeof records);
    TQ_NET_GetP2P(login, &records.p2p);
    TQ_NET_GetNetParam(login, 0, &records.net);
    PutMacText(records.net, mac);
    PutSerialText(records.p2p, sn);
    return records;
}

TQ_NET_PtzCommand MakeCalibrationCommand() {
    TQ_NET_PtzCommand command{};
    command.byChannel = 0;
    command.byCommand[0] = TQ_NET_PTZ_LENS_CALIBRATION & 0xFF;
    command.byCommand[1] = TQ_NET_PTZ_LENS_CALIBRATION >> 8;
    return command;
}

bool IsMechanicalModel(uint8_t modelCode) {
    return std::find(kMechanicalModelCodes.begin(), kMechanicalModelCodes.end(), modelCode) !=
           kMechanicalModelCodes.end();
}

}  // namespace korvo::sdk
