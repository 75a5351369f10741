#pragma once

// The TAPI 1.4 line functions the line device uses, with TAPI's types,
// constants, error codes and messages. Behind them runs our own telephony
// service provider (TapiProvider.h), which simulates voice modems and the
// far end of each call. As in TAPI 1.4, the callback given to
// lineInitialize is called from the thread's event queue, never from
// inside a line function.

#include <cstdint>

class Environment;

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using HLINEAPP = DWORD;
using HLINE = DWORD;
using HCALL = DWORD;

using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance,
                              DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

constexpr DWORD TAPI_VERSION_1_4 = 0x00010004;

// Error codes (negative LONG results and LINE_REPLY results).
constexpr LONG lineErr(DWORD code)
{
    return LONG(0x80000000u | code);
}
constexpr LONG LINEERR_ALLOCATED = lineErr(0x01);
constexpr LONG LINEERR_BADDEVICEID = lineErr(0x02);
constexpr LONG LINEERR_BEARERMODEUNAVAIL = lineErr(0x03);
constexpr LONG LINEERR_CALLUNAVAIL = lineErr(0x05);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = lineErr(0x0C);
constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = lineErr(0x0D);
constexpr LONG LINEERR_INIFILECORRUPT = lineErr(0x0E);
constexpr LONG LINEERR_INUSE = lineErr(0x0F);
constexpr LONG LINEERR_INVALADDRESS = lineErr(0x10);
constexpr LONG LINEERR_INVALADDRESSID = lineErr(0x11);
constexpr LONG LINEERR_INVALADDRESSMODE = lineErr(0x12);
constexpr LONG LINEERR_INVALAPPHANDLE = lineErr(0x14);
constexpr LONG LINEERR_INVALAPPNAME = lineErr(0x15);
constexpr LONG LINEERR_INVALBEARERMODE = lineErr(0x16);
constexpr LONG LINEERR_INVALCALLHANDLE = lineErr(0x18);
constexpr LONG LINEERR_INVALCALLPARAMS = lineErr(0x19);
constexpr LONG LINEERR_INVALCALLPRIVILEGE = lineErr(0x1A);
constexpr LONG LINEERR_INVALCALLSELECT = lineErr(0x1B);
constexpr LONG LINEERR_INVALCALLSTATE = lineErr(0x1C);
constexpr LONG LINEERR_INVALCOUNTRYCODE = lineErr(0x22);
constexpr LONG LINEERR_INVALDEVICECLASS = lineErr(0x23);
constexpr LONG LINEERR_INVALDIGITMODE = lineErr(0x27);
constexpr LONG LINEERR_INVALLINEHANDLE = lineErr(0x2B);
constexpr LONG LINEERR_INVALLINESTATE = lineErr(0x2C);
constexpr LONG LINEERR_INVALMEDIAMODE = lineErr(0x2F);
constexpr LONG LINEERR_INVALPARAM = lineErr(0x32);
constexpr LONG LINEERR_INVALPOINTER = lineErr(0x35);
constexpr LONG LINEERR_NODEVICE = lineErr(0x42);
constexpr LONG LINEERR_NODRIVER = lineErr(0x43);
constexpr LONG LINEERR_NOMEM = lineErr(0x44);
constexpr LONG LINEERR_NOTOWNER = lineErr(0x46);
constexpr LONG LINEERR_OPERATIONFAILED = lineErr(0x48);
constexpr LONG LINEERR_OPERATIONUNAVAIL = lineErr(0x49);
constexpr LONG LINEERR_RESOURCEUNAVAIL = lineErr(0x4B);
constexpr LONG LINEERR_STRUCTURETOOSMALL = lineErr(0x4D);
constexpr LONG LINEERR_UNINITIALIZED = lineErr(0x50);
constexpr LONG LINEERR_REINIT = lineErr(0x52);

// Line messages (dwMessage of the callback).
constexpr DWORD LINE_ADDRESSSTATE = 0;
constexpr DWORD LINE_CALLINFO = 1;
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_CLOSE = 3;
constexpr DWORD LINE_DEVSPECIFIC = 4;
constexpr DWORD LINE_DEVSPECIFICFEATURE = 5;
constexpr DWORD LINE_GATHERDIGITS = 6;
constexpr DWORD LINE_GENERATE = 7;
constexpr DWORD LINE_LINEDEVSTATE = 8;
constexpr DWORD LINE_MONITORDIGITS = 9;
constexpr DWORD LINE_MONITORMEDIA = 10;
constexpr DWORD LINE_MONITORTONE = 11;
constexpr DWORD LINE_REPLY = 12;
constexpr DWORD LINE_REQUEST = 13;
constexpr DWORD LINE_CREATE = 19;

// Call states.
constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
constexpr DWORD LINECALLSTATE_SPECIALINFO = 0x00000080;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
constexpr DWORD LINECALLSTATE_ONHOLD = 0x00000400;
constexpr DWORD LINECALLSTATE_CONFERENCED = 0x00000800;
constexpr DWORD LINECALLSTATE_ONHOLDPENDCONF = 0x00001000;
constexpr DWORD LINECALLSTATE_ONHOLDPENDTRANSFER = 0x00002000;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

constexpr DWORD LINEDIALTONEMODE_NORMAL = 0x00000001;
constexpr DWORD LINEBUSYMODE_STATION = 0x00000001;
constexpr DWORD LINEBUSYMODE_UNKNOWN = 0x00000004;

// Disconnect modes (dwParam2 of LINE_CALLSTATE DISCONNECTED).
constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
constexpr DWORD LINEDISCONNECTMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEDISCONNECTMODE_REJECT = 0x00000004;
constexpr DWORD LINEDISCONNECTMODE_PICKUP = 0x00000008;
constexpr DWORD LINEDISCONNECTMODE_FORWARDED = 0x00000010;
constexpr DWORD LINEDISCONNECTMODE_BUSY = 0x00000020;
constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x00000040;
constexpr DWORD LINEDISCONNECTMODE_BADADDRESS = 0x00000080;
constexpr DWORD LINEDISCONNECTMODE_UNREACHABLE = 0x00000100;
constexpr DWORD LINEDISCONNECTMODE_CONGESTION = 0x00000200;
constexpr DWORD LINEDISCONNECTMODE_INCOMPATIBLE = 0x00000400;
constexpr DWORD LINEDISCONNECTMODE_UNAVAIL = 0x00000800;
constexpr DWORD LINEDISCONNECTMODE_NODIALTONE = 0x00001000;
constexpr DWORD LINEDISCONNECTMODE_NUMBERCHANGED = 0x00002000;
constexpr DWORD LINEDISCONNECTMODE_OUTOFORDER = 0x00004000;
constexpr DWORD LINEDISCONNECTMODE_TEMPFAILURE = 0x00008000;
constexpr DWORD LINEDISCONNECTMODE_QOSUNAVAIL = 0x00010000;
constexpr DWORD LINEDISCONNECTMODE_BLOCKED = 0x00020000;
constexpr DWORD LINEDISCONNECTMODE_DONOTDISTURB = 0x00040000;
constexpr DWORD LINEDISCONNECTMODE_CANCELLED = 0x00080000;

// Media modes.
constexpr DWORD LINEMEDIAMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
constexpr DWORD LINEMEDIAMODE_AUTOMATEDVOICE = 0x00000008;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINEMEDIAMODE_G3FAX = 0x00000020;

// Line features.
constexpr DWORD LINEFEATURE_DEVSPECIFIC = 0x00000001;
constexpr DWORD LINEFEATURE_DEVSPECIFICFEAT = 0x00000002;
constexpr DWORD LINEFEATURE_FORWARD = 0x00000004;
constexpr DWORD LINEFEATURE_MAKECALL = 0x00000008;

constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;

constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
constexpr DWORD LINECALLPARAMFLAGS_IDLE = 0x00000002;
constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;

constexpr DWORD LINEDIGITMODE_PULSE = 0x00000001;
constexpr DWORD LINEDIGITMODE_DTMF = 0x00000002;
constexpr DWORD LINEDIGITMODE_DTMFEND = 0x00000004;

constexpr DWORD LINECALLSELECT_LINE = 0x00000001;
constexpr DWORD LINECALLSELECT_ADDRESS = 0x00000002;
constexpr DWORD LINECALLSELECT_CALL = 0x00000004;

constexpr DWORD LINEDEVSTATE_ALL = 0x01FFFFFF;
constexpr DWORD LINEADDRESSSTATE_ALL = 0x000001FF;

constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;
constexpr DWORD STRINGFORMAT_BINARY = 0x00000004;

struct LINEEXTENSIONID {
    DWORD dwExtensionID0, dwExtensionID1, dwExtensionID2, dwExtensionID3;
};

// Variable-sized structures: the caller sets dwTotalSize to the size of its
// buffer; the variable part (names, strings) follows the fixed part and is
// addressed by offsets from the start of the structure.
struct LINEDEVCAPS {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwProviderInfoSize, dwProviderInfoOffset;
    DWORD dwSwitchInfoSize, dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize, dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes, dwNumAddresses, dwBearerModes, dwMaxRate, dwMediaModes;
    DWORD dwGenerateToneModes, dwGenerateToneMaxNumFreq, dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq, dwMonitorToneMaxNumEntries, dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout, dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize, dwMedCtlMediaMaxListSize, dwMedCtlToneMaxListSize,
        dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags, dwMaxNumActiveCalls, dwAnswerMode, dwRingModes, dwLineStates;
    DWORD dwUUIAcceptSize, dwUUIAnswerSize, dwUUIMakeCallSize, dwUUIDropSize, dwUUISendUserUserInfoSize,
        dwUUICallInfoSize;
    DWORD dwMinDialParams[4], dwMaxDialParams[4], dwDefaultDialParams[4];
    DWORD dwNumTerminals, dwTerminalCapsSize, dwTerminalCapsOffset, dwTerminalTextEntrySize,
        dwTerminalTextSize, dwTerminalTextOffset;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
    DWORD dwLineFeatures;
};

struct LINEDIALPARAMS {
    DWORD dwDialPause, dwDialSpeed, dwDigitDuration, dwWaitForDialtone;
};

struct LINECALLPARAMS {
    DWORD dwTotalSize;
    DWORD dwBearerMode, dwMinRate, dwMaxRate, dwMediaMode;
    DWORD dwCallParamFlags, dwAddressMode, dwAddressID;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigAddressSize, dwOrigAddressOffset;
    DWORD dwDisplayableAddressSize, dwDisplayableAddressOffset;
    DWORD dwCalledPartySize, dwCalledPartyOffset;
    DWORD dwCommentSize, dwCommentOffset;
    DWORD dwUserUserInfoSize, dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize, dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize, dwLowLevelCompOffset;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
};
static_assert(sizeof(LINECALLPARAMS) == 112, "TAPI 1.4 call parameters are 112 bytes");

struct LINECALLSTATUS {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwCallState, dwCallStateMode, dwCallPrivilege, dwCallFeatures;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
};

struct VARSTRING {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwStringFormat, dwStringSize, dwStringOffset;
};

// The Environment takes the place of TAPI's HINSTANCE: it names the state
// folder whose provider file describes the lines, and the clock the
// simulated lines run on.
LONG lineInitialize(HLINEAPP *lphLineApp, const Environment &env, LINECALLBACK lpfnCallback,
                    const char *lpszAppName, DWORD *lpdwNumDevs);
LONG lineShutdown(HLINEAPP hLineApp);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD *lpdwAPIVersion, LINEEXTENSIONID *lpExtensionID);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS *lpLineDevCaps);
// "wave/in" and "wave/out" give the line's wave device identifier as a
// binary DWORD; with dwSelect LINE for the line, CALL for hCall's line.
LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING *lpDeviceID,
               const char *lpszDeviceClass);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE *lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
              const LINECALLPARAMS *lpCallParams);
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
// Asynchronous: returns a positive request identifier whose LINE_REPLY
// follows, or a negative error. *lphCall is written when the reply reports
// success.
LONG lineMakeCall(HLINE hLine, HCALL *lphCall, const char *lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS *lpCallParams);
LONG lineDrop(HCALL hCall, const char *lpsUserUserInfo, DWORD dwSize);
LONG lineDeallocateCall(HCALL hCall);
LONG lineClose(HLINE hLine);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS *lpCallStatus);
LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes);
