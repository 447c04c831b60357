// The platform's printer interface records, constants and entry points,
// declared for builds without the platform's headers, beside the engine's
// declarations they build on. Widths follow the platform's 32-bit layout
// (pointers and handles widen on 64-bit hosts); text is UTF-16 throughout,
// as in the platform's Unicode build.
#pragma once

#include "engine/host_winddi.h"

typedef int32_t INT;
typedef uint32_t UINT;
typedef LONG* PLONG;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WCHAR* LPTSTR;
typedef DEVMODEW* PDEVMODE;

#define DRV_UI_DECLARE_HANDLE(name) \
  struct name##__ {                 \
    int unused;                     \
  };                                \
  typedef struct name##__* name
DRV_UI_DECLARE_HANDLE(HWND);
DRV_UI_DECLARE_HANDLE(HINSTANCE);
DRV_UI_DECLARE_HANDLE(HICON);
#undef DRV_UI_DECLARE_HANDLE

typedef struct _POINT {
  LONG x;
  LONG y;
} POINT;

// The spooler's headers of the two property sheet calls and of the print
// query.
typedef struct _DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPTSTR pszPrinterName;
  PDEVMODE pdmIn;
  PDEVMODE pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;

typedef struct _DEVICEPROPERTYHEADER {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPTSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;

typedef struct _DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

// The common property sheet's records.
typedef struct _OPTPARAM {
  WORD cbSize;
  BYTE Flags;
  BYTE Style;
  LPTSTR pData;
  ULONG_PTR IconID;
  LPARAM lParam;
  ULONG_PTR dwReserved[2];
} OPTPARAM, *POPTPARAM;

typedef struct _OPTTYPE {
  WORD cbSize;
  BYTE Type;
  BYTE Flags;
  WORD Count;
  WORD BegCtrlID;
  POPTPARAM pOptParam;
  WORD Style;
  WORD wReserved[3];
  ULONG_PTR dwReserved[3];
} OPTTYPE, *POPTTYPE;

// Item extensions this driver never fills.
typedef struct _EXTPUSH EXTPUSH, *PEXTPUSH;
typedef struct _EXTCHKBOX EXTCHKBOX, *PEXTCHKBOX;
typedef struct _OIEXT OIEXT, *POIEXT;

typedef struct _OPTITEM {
  WORD cbSize;
  BYTE Level;
  BYTE DlgPageIdx;
  DWORD Flags;
  ULONG_PTR UserData;
  LPTSTR pName;
  union {
    LONG Sel;
    LPTSTR pSel;
  };
  union {
    PEXTCHKBOX pExtChkBox;
    PEXTPUSH pExtPush;
  };
  POPTTYPE pOptType;
  DWORD HelpIndex;
  BYTE DMPubID;
  BYTE UserItemID;
  WORD wReserved;
  POIEXT pOIExt;
  ULONG_PTR dwReserved[3];
} OPTITEM, *POPTITEM;

typedef struct _CPSUICBPARAM {
  WORD cbSize;
  WORD Reason;
  HWND hDlg;
  POPTITEM pOptItem;
  WORD cOptItem;
  WORD Flags;
  POPTITEM pCurItem;
  union {
    LONG OldSel;
    LPTSTR pOldSel;
  };
  ULONG_PTR UserData;
  ULONG_PTR Result;
} CPSUICBPARAM, *PCPSUICBPARAM;

typedef LONG(APIENTRY* _CPSUICALLBACK)(PCPSUICBPARAM pCPSUICBParam);

typedef struct _DLGPAGE DLGPAGE, *PDLGPAGE;

typedef struct _COMPROPSHEETUI {
  WORD cbSize;
  WORD Flags;
  HINSTANCE hInstCaller;
  LPTSTR pCallerName;
  ULONG_PTR UserData;
  LPTSTR pHelpFile;
  _CPSUICALLBACK pfnCallBack;
  POPTITEM pOptItem;
  PDLGPAGE pDlgPage;
  WORD cOptItem;
  WORD cDlgPage;
  ULONG_PTR IconID;
  LPTSTR pOptItemName;
  WORD CallerVersion;
  WORD OptItemVersion;
  ULONG_PTR dwReserved[4];
} COMPROPSHEETUI, *PCOMPROPSHEETUI;

typedef struct _SETRESULT_INFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hSetResult;
  LRESULT Result;
} SETRESULT_INFO, *PSETRESULT_INFO;

typedef LONG_PTR(APIENTRY* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT Function,
                                            LPARAM lParam1, LPARAM lParam2);

typedef struct _PROPSHEETUI_INFO {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  PFNCOMPROPSHEET pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
} PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;

typedef struct _PROPSHEETUI_INFO_HEADER {
  WORD cbSize;
  WORD Flags;
  LPTSTR pTitle;
  HWND hWndParent;
  HINSTANCE hInst;
  union {
    HICON hIcon;
    ULONG_PTR IconID;
  };
} PROPSHEETUI_INFO_HEADER, *PPROPSHEETUI_INFO_HEADER;

// Device mode requests of the document sheet.
#define DM_UPDATE 1
#define DM_COPY 2
#define DM_PROMPT 4
#define DM_MODIFY 8
#define DM_IN_BUFFER DM_MODIFY
#define DM_IN_PROMPT DM_PROMPT
#define DM_OUT_BUFFER DM_COPY
#define DM_OUT_DEFAULT DM_UPDATE
#define DM_ADVANCED 0x10
#define DM_NOPERMISSION 0x20
#define DM_USER_DEFAULT 0x40
#define DPS_NOPERMISSION 0x0001

#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

#define DM_COLLATE 0x00008000
#define DM_FORMNAME 0x00010000
#define DM_LOGPIXELS 0x00020000
#define DM_BITSPERPEL 0x00040000
#define DM_PELSWIDTH 0x00080000
#define DM_PELSHEIGHT 0x00100000
#define DM_DISPLAYFLAGS 0x00200000
#define DM_DISPLAYFREQUENCY 0x00400000
#define DM_ICMMETHOD 0x00800000
#define DM_ICMINTENT 0x01000000
#define DM_MEDIATYPE 0x02000000
#define DM_DITHERTYPE 0x04000000
#define DM_PANNINGWIDTH 0x08000000
#define DM_PANNINGHEIGHT 0x10000000

// Device capabilities.
#define DC_FIELDS 1
#define DC_PAPERS 2
#define DC_PAPERSIZE 3
#define DC_MINEXTENT 4
#define DC_MAXEXTENT 5
#define DC_BINS 6
#define DC_DUPLEX 7
#define DC_SIZE 8
#define DC_EXTRA 9
#define DC_VERSION 10
#define DC_DRIVER 11
#define DC_BINNAMES 12
#define DC_ENUMRESOLUTIONS 13
#define DC_FILEDEPENDENCIES 14
#define DC_TRUETYPE 15
#define DC_PAPERNAMES 16
#define DC_ORIENTATION 17
#define DC_COPIES 18
#define DC_COLLATE 22
#define DC_PERSONALITY 25
#define DC_PRINTERMEM 28
#define DC_MEDIAREADY 29
#define DC_STAPLE 30
#define DC_COLORDEVICE 32
#define DC_NUP 33
#define DC_MEDIATYPENAMES 34
#define DC_MEDIATYPES 35
#define DCTT_BITMAP 0x0000001
#define GDI_ERROR 0xFFFFFFFF

#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_HANDLE 6
#define ERROR_INVALID_LEVEL 124

#define PRINTER_EVENT_ADD_CONNECTION 1
#define PRINTER_EVENT_DELETE_CONNECTION 2
#define PRINTER_EVENT_INITIALIZE 3
#define PRINTER_EVENT_DELETE 4
#define PRINTER_EVENT_CACHE_REFRESH 5
#define PRINTER_EVENT_CACHE_DELETE 6
#define PRINTER_EVENT_ATTRIBUTES_CHANGED 7

// The common property sheet's constants.
#define TVOT_2STATES 0
#define TVOT_3STATES 1
#define TVOT_UDARROW 2
#define TVOT_TRACKBAR 3
#define TVOT_SCROLLBAR 4
#define TVOT_LISTBOX 5
#define TVOT_COMBOBOX 6
#define TVOT_EDITBOX 7
#define TVOT_PUSHBUTTON 8
#define TVOT_CHKBOX 9
#define OPTPF_HIDE 0x01
#define OPTPF_DISABLED 0x02
#define OPTTF_TYPE_DISABLED 0x01
#define OPTIF_COLLAPSE 0x00000001
#define OPTIF_HIDE 0x00000002
#define OPTIF_CALLBACK 0x00000004
#define OPTIF_CHANGED 0x00000008
#define OPTIF_CHANGEONCE 0x00000010
#define OPTIF_DISABLED 0x00000020
#define OPTIF_ECB_CHECKED 0x00000040
#define OPTIF_EXT_HIDE 0x00000080
#define OPTIF_EXT_DISABLED 0x00000100
#define OPTIF_SEL_AS_HICON 0x00000200
#define OPTIF_EXT_IS_EXTPUSH 0x00000400
#define OPTIF_NO_GROUPBOX_NAME 0x00000800
#define OPTIF_OVERLAY_WARNING_ICON 0x00001000
#define OPTIF_OVERLAY_STOP_ICON 0x00002000
#define OPTIF_OVERLAY_NO_ICON 0x00004000
#define OPTIF_INITIAL_TVITEM 0x00008000
#define OPTIF_HAS_POIEXT 0x00010000
#define DMPUB_NONE 0
#define DMPUB_ORIENTATION 1
#define DMPUB_SCALE 2
#define DMPUB_COPIES_COLLATE 3
#define DMPUB_DEFSOURCE 4
#define DMPUB_PRINTQUALITY 5
#define DMPUB_COLOR 6
#define DMPUB_DUPLEX 7
#define DMPUB_TTOPTION 8
#define DMPUB_FORMNAME 9
#define DMPUB_ICMMETHOD 10
#define DMPUB_ICMINTENT 11
#define DMPUB_MEDIATYPE 12
#define DMPUB_DITHERTYPE 13
#define DMPUB_OUTPUTBIN 14
#define DMPUB_QUALITY 15
#define DMPUB_NUP 16
#define DMPUB_PAGEORDER 17
#define DMPUB_USER 100
#define CPSUICB_REASON_SEL_CHANGED 0
#define CPSUICB_REASON_APPLYNOW 6
#define CPSUICB_ACTION_NONE 0
#define CPSUICB_ACTION_ITEMS_APPLIED 4
#define CPSUIF_UPDATE_PERMISSION 0x0001
#define CPSFUNC_ADD_PCOMPROPSHEETUIW 3
#define CPSFUNC_ADD_PCOMPROPSHEETUI CPSFUNC_ADD_PCOMPROPSHEETUIW
#define CPSFUNC_SET_RESULT 9
#define PROPSHEETUI_REASON_INIT 0
#define PROPSHEETUI_REASON_GET_INFO_HEADER 1
#define PROPSHEETUI_REASON_DESTROY 2
#define PROPSHEETUI_REASON_SET_RESULT 3
#define PROPSHEETUI_REASON_GET_ICON 4
#define PROPSHEETUI_INFO_VERSION 0x0100
#define CPSUI_PDLGPAGE_DOCPROP ((PDLGPAGE)1)
#define CPSUI_PDLGPAGE_ADVDOCPROP ((PDLGPAGE)2)
#define CPSUI_PDLGPAGE_PRINTERPROP ((PDLGPAGE)3)
#define CPSUI_CANCEL 0
#define CPSUI_OK 1
#define ERR_CPSUI_GETLASTERROR (-1)
#define ERR_CPSUI_ALLOCMEM_FAILED (-2)
#define ERR_CPSUI_INVALID_PDATA (-3)
#define ERR_CPSUI_INVALID_LPARAM (-4)
#define ERR_CPSUI_NULL_HINST (-5)
#define ERR_CPSUI_NULL_CALLERNAME (-6)
#define ERR_CPSUI_NULL_OPTITEMNAME (-7)
#define ERR_CPSUI_INVALID_PDLGPAGE (-13)
#define ERR_CPSUI_SUBITEM_DIFF_DLGPAGEIDX (-17)
#define ERR_CPSUI_NULL_POPTITEM (-18)
#define ERR_CPSUI_INVALID_OPTITEM_CBSIZE (-19)
#define ERR_CPSUI_INVALID_OPTTYPE_CBSIZE (-20)
#define ERR_CPSUI_INVALID_OPTTYPE_COUNT (-21)
#define ERR_CPSUI_NULL_POPTPARAM (-22)
#define ERR_CPSUI_INVALID_OPTPARAM_CBSIZE (-23)
#define ERR_CPSUI_INVALID_DMPUBID (-29)
#define ERR_CPSUI_INVALID_DMPUB_TVOT (-30)
#define ERR_CPSUI_CREATE_UDARROW_FAILED (-32)
#define ERR_CPSUI_INVALID_TVOT_TYPE (-34)
#define ERR_CPSUI_SUBITEM_DIFF_OPTIF_HIDE (-36)
#define ERR_CPSUI_DMCOPIES_USE_EXTPUSH (-43)
#define ERR_CPSUI_ZERO_OPTITEM (-44)
#define ERR_CPSUI_INTERNAL_ERROR (-10000)
#define PSUIHDRF_NOAPPLYNOW 0x0002
#define PSUIHDRF_PROPTITLE 0x0004
#define IDI_CPSUI_PORTRAIT 64022
#define IDI_CPSUI_LANDSCAPE 64023
#define IDI_CPSUI_COPY 64046
#define IDI_CPSUI_DOCUMENT 64059
#define IDI_CPSUI_PRINTER 64062
#define IDI_CPSUI_GENERIC_OPTION 64072
#define IDI_CPSUI_GENERIC_ITEM 64073
#define IDI_CPSUI_NO 64003
#define IDI_CPSUI_YES 64004
// The sheet's own strings, which name its standard items.
#define IDS_CPSUI_ORIENTATION 64738
#define IDS_CPSUI_SCALING 64739
#define IDS_CPSUI_SOURCE 64741
#define IDS_CPSUI_PRINTQUALITY 64742
#define IDS_CPSUI_RESOLUTION 64743
#define IDS_CPSUI_COLOR_APPERANCE 64744
#define IDS_CPSUI_DUPLEX 64745
#define IDS_CPSUI_TTOPTION 64746
#define IDS_CPSUI_FORMNAME 64747
#define IDS_CPSUI_ICMMETHOD 64749
#define IDS_CPSUI_ICMINTENT 64750
#define IDS_CPSUI_MEDIA 64751
#define IDS_CPSUI_DITHERING 64752
#define IDS_CPSUI_COLOR 64764
#define IDS_CPSUI_GRAYSCALE 64765
#define IDS_CPSUI_COPIES 64831
#define IDS_CPSUI_PAGEORDER 64855
#define IDS_CPSUI_QUALITY_SETTINGS 64858
#define IDS_CPSUI_OUTPUTBIN 64863
#define IDS_CPSUI_NUP 64864

// What GetPrinterW answers at levels 2 and 9: the printer and its default
// record, and the user's own default record.
typedef struct _PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  PDEVMODE pDevMode;
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  PVOID pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2W, *PPRINTER_INFO_2W;

typedef struct _PRINTER_INFO_9W {
  PDEVMODE pDevMode;
} PRINTER_INFO_9W, *PPRINTER_INFO_9W;

// The platform's user-mode services the interface code calls; the host
// defines them.
#if !defined(DRV_HOST_DECLS_NESTED)
extern "C" {
#endif
VOID APIENTRY SetLastError(DWORD dwErrCode);
DWORD APIENTRY GetLastError();
BOOL APIENTRY GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                          LPDWORD pcbNeeded);

// The printer interface's entry points, with the spooler's argument lists.
LONG APIENTRY DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG APIENTRY DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
BOOL APIENTRY DrvConvertDevMode(LPTSTR pPrinterName, PDEVMODE pdmIn, PDEVMODE pdmOut,
                                PLONG pcbNeeded, DWORD fMode);
DWORD APIENTRY DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap,
                                     VOID* pvOutput, PDEVMODE pDevMode);
BOOL APIENTRY DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo);
BOOL APIENTRY DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam);
#if !defined(DRV_HOST_DECLS_NESTED)
}
#endif
