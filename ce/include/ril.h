#pragma once

// Radio Interface Layer (ril.dll) as the device exposes it: the calls, structures, flags and
// callbacks the system uses, with their documented names and values.

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef HANDLE HRIL;

// Result codes passed to the result callback.
#define RIL_RESULT_OK 0x00000001
#define RIL_RESULT_NOCARRIER 0x00000002
#define RIL_RESULT_ERROR 0x00000003
#define RIL_RESULT_NODIALTONE 0x00000004
#define RIL_RESULT_BUSY 0x00000005
#define RIL_RESULT_NOANSWER 0x00000006
#define RIL_RESULT_CALLABORTED 0x00000007

// Notification classes.
#define RIL_NCLASS_FUNCRESULT 0x00000000
#define RIL_NCLASS_CALLCTRL 0x00010000
#define RIL_NCLASS_MESSAGE 0x00020000
#define RIL_NCLASS_NETWORK 0x00040000
#define RIL_NCLASS_SUPSERVICE 0x00080000
#define RIL_NCLASS_PHONEBOOK 0x00100000
#define RIL_NCLASS_SIMTOOLKIT 0x00200000
#define RIL_NCLASS_MISC 0x00400000
#define RIL_NCLASS_RADIOSTATE 0x00800000
#define RIL_NCLASS_DEVSPECIFIC 0x80000000
#define RIL_NCLASS_ALL 0x00ff0000

// Unsolicited notifications.
#define RIL_NOTIFY_RADIOEQUIPMENTSTATECHANGED (0x00000001 | RIL_NCLASS_RADIOSTATE)
#define RIL_NOTIFY_SIGNALQUALITY (0x00000005 | RIL_NCLASS_MISC)

// Operator name formats.
#define RIL_OPFORMAT_LONG 0x00000001
#define RIL_OPFORMAT_SHORT 0x00000002
#define RIL_OPFORMAT_NUM 0x00000003

#define MAXLENGTH_OPERATOR_LONG 32
#define MAXLENGTH_OPERATOR_SHORT 16
#define MAXLENGTH_OPERATOR_NUMERIC 16
#define MAXLENGTH_OPERATOR_COUNTRY_CODE 8
#define MAXLENGTH_BCCH 48
#define MAXLENGTH_NMR 16

// RILOPERATORNAMES dwParams.
#define RIL_PARAM_ON_LONGNAME 0x00000001
#define RIL_PARAM_ON_SHORTNAME 0x00000002
#define RIL_PARAM_ON_NUMNAME 0x00000004
#define RIL_PARAM_ON_COUNTRY_CODE 0x00000008
#define RIL_PARAM_ON_ALL 0x0000000f

typedef struct riloperatornames_tag {
    DWORD cbSize;
    DWORD dwParams;
    char szLongName[MAXLENGTH_OPERATOR_LONG];
    char szShortName[MAXLENGTH_OPERATOR_SHORT];
    char szNumName[MAXLENGTH_OPERATOR_NUMERIC];
    char szCountryCode[MAXLENGTH_OPERATOR_COUNTRY_CODE];
} RILOPERATORNAMES, *LPRILOPERATORNAMES;

// RILEQUIPMENTSTATE dwParams and dwEqState.
#define RIL_PARAM_EQUIPMENTSTATE_EQSTATE 0x00000001
#define RIL_PARAM_EQUIPMENTSTATE_READYSTATE 0x00000002
#define RIL_PARAM_EQUIPMENTSTATE_RADIOSUPPORT 0x00000004
#define RIL_PARAM_EQUIPMENTSTATE_ALL 0x00000007

#define RIL_EQSTATE_UNKNOWN 0x00000000
#define RIL_EQSTATE_MINIMUM 0x00000001
#define RIL_EQSTATE_FULL 0x00000002
#define RIL_EQSTATE_DISABLETX 0x00000003
#define RIL_EQSTATE_DISABLERX 0x00000004
#define RIL_EQSTATE_DISABLETXANDRX 0x00000005

typedef struct rilequipmentstate_tag {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwEqState;
    DWORD dwReadyState;
    DWORD dwRadioSupport;
} RILEQUIPMENTSTATE, *LPRILEQUIPMENTSTATE;

// RILSIGNALQUALITY dwParams.
#define RIL_PARAM_SQ_SIGNALSTRENGTH 0x00000001
#define RIL_PARAM_SQ_MINSIGNALSTRENGTH 0x00000002
#define RIL_PARAM_SQ_MAXSIGNALSTRENGTH 0x00000004
#define RIL_PARAM_SQ_BITERRORRATE 0x00000008
#define RIL_PARAM_SQ_LOWSIGNALSTRENGTH 0x00000010
#define RIL_PARAM_SQ_HIGHSIGNALSTRENGTH 0x00000020
#define RIL_PARAM_SQ_ALL 0x0000003f

typedef struct rilsignalquality_tag {
    DWORD cbSize;
    DWORD dwParams;
    int nSignalStrength;
    int nMinSignalStrength;
    int nMaxSignalStrength;
    DWORD dwBitErrorRate;
    int nLowSignalStrength;
    int nHighSignalStrength;
} RILSIGNALQUALITY, *LPRILSIGNALQUALITY;

// RILCELLTOWERINFO dwParams.
#define RIL_PARAM_CTI_MOBILECOUNTRYCODE 0x00000001
#define RIL_PARAM_CTI_MOBILENETWORKCODE 0x00000002
#define RIL_PARAM_CTI_LOCATIONAREACODE 0x00000004
#define RIL_PARAM_CTI_CELLID 0x00000008
#define RIL_PARAM_CTI_BASESTATIONID 0x00000010
#define RIL_PARAM_CTI_BROADCASTCONTROLCHANNEL 0x00000020
#define RIL_PARAM_CTI_RXLEVEL 0x00000040
#define RIL_PARAM_CTI_RXLEVELFULL 0x00000080
#define RIL_PARAM_CTI_RXLEVELSUB 0x00000100
#define RIL_PARAM_CTI_RXQUALITY 0x00000200
#define RIL_PARAM_CTI_RXQUALITYFULL 0x00000400
#define RIL_PARAM_CTI_RXQUALITYSUB 0x00000800
#define RIL_PARAM_CTI_IDLETIMESLOT 0x00001000
#define RIL_PARAM_CTI_TIMINGADVANCE 0x00002000
#define RIL_PARAM_CTI_GPRSCELLID 0x00004000
#define RIL_PARAM_CTI_GPRSBASESTATIONID 0x00008000
#define RIL_PARAM_CTI_NUMBCCH 0x00010000
#define RIL_PARAM_CTI_NMR 0x00020000
#define RIL_PARAM_CTI_BCCH 0x00040000
#define RIL_PARAM_CTI_ALL 0x0007ffff

typedef struct rilcelltowerinfo_tag {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwMobileCountryCode;
    DWORD dwMobileNetworkCode;
    DWORD dwLocationAreaCode;
    DWORD dwCellID;
    DWORD dwBaseStationID;
    DWORD dwBroadcastControlChannel;
    DWORD dwRxLevel;
    DWORD dwRxLevelFull;
    DWORD dwRxLevelSub;
    DWORD dwRxQuality;
    DWORD dwRxQualityFull;
    DWORD dwRxQualitySub;
    DWORD dwIdleTimeSlot;
    DWORD dwTimingAdvance;
    DWORD dwGPRSCellID;
    DWORD dwGPRSBaseStationID;
    DWORD dwNumBCCH;
    BYTE rgbBCCH[MAXLENGTH_BCCH];
    BYTE rgbNMR[MAXLENGTH_NMR];
} RILCELLTOWERINFO, *LPRILCELLTOWERINFO;

// Result of an asynchronous command: hrCmdID is the id the command call returned.
typedef void(CALLBACK* RILRESULTCALLBACK)(DWORD dwCode, HRESULT hrCmdID, const void* lpData,
                                          DWORD cbData, DWORD dwParam);
// Unsolicited notification of one of the registered classes.
typedef void(CALLBACK* RILNOTIFYCALLBACK)(DWORD dwCode, const void* lpData, DWORD cbData,
                                          DWORD dwParam);

// Each command returns a positive command id, or a negative HRESULT when it was not sent.
HRESULT WINAPI RIL_Initialize(DWORD dwIndex, RILRESULTCALLBACK pfnResult,
                              RILNOTIFYCALLBACK pfnNotify, DWORD dwNotificationClasses,
                              DWORD dwParam, HRIL* lphRil);
HRESULT WINAPI RIL_Deinitialize(HRIL hRil);
HRESULT WINAPI RIL_DevSpecific(HRIL hRil, const BYTE* lpbParams, DWORD dwSize);
HRESULT WINAPI RIL_GetCurrentOperator(HRIL hRil, DWORD dwFormat);
HRESULT WINAPI RIL_GetEquipmentState(HRIL hRil);
HRESULT WINAPI RIL_GetSignalQuality(HRIL hRil);
HRESULT WINAPI RIL_GetCellTowerInfo(HRIL hRil);

#ifdef __cplusplus
}
#endif
