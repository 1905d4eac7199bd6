//+------------------------------------------------------------------+
//| BarsightPlugin.mqh: the Barsight client services for MetaTrader 4 |
//| Put BarsightPlugin.dll, BarsightPlugin.dll.config and             |
//| Spreadcore.dll in MQL4\Libraries, and tick "Allow DLL imports":   |
//| the terminal refuses a program whose DLLs it cannot load.         |
//+------------------------------------------------------------------+
#property strict

// The library's text record: a character count and a pointer to 8-bit
// text that belongs to the library (copy it before the next call).
struct BarsightText
  {
   int               length;
   int               text;
  };

// Volume colour classes of CalcVolumeColor (BARSIGHT_VOLUME_LOW ...), and
// the same rule in MQL: BarsightVolumeColor().
#include <BarsightVolumeColor.mqh>

// BarsightDllsAllowed(program): whether DLL calls are allowed, said once if not.
#include <BarsightDllCheck.mqh>

// The signals: their codes (BARSIGHT_<NAME>, positive strength, negative
// weakness), names, labels, glyphs and colours.
#include <BarsightSignalTable.mqh>

// GetFromQueue: the event type of a tooltip being shown.
#define BARSIGHT_TOOLTIP_SHOWN   -521

// Every client export of BarsightPlugin.dll, with the types of its stdcall
// signature on 32-bit MetaTrader: int and pointers 4 bytes, double 8.
#import "BarsightPlugin.dll"
int  SignFilter(int sign);
int  CalcVolumeColor(double vol0, double vol1, double vol2, double close0, double close1);
int  TS_GetID();
int  TS_CreateTable(int handle);
int  TS_SetVSAValue(int handle, int barnumber, int value);
int  TS_SetConfValue(int handle, int barnumber, int value);
int  TS_GetVSAValue(int handle, int barnumber);
int  TS_GetConfValue(int handle, int barnumber);
void TS_MessageBox(uchar &mes[]);
int  IncRefCount();
int  DecRefCount();
int  GetRefCount();
int  GetUniqueID();
int  GetCurrentTimeUTC();
int  GetCurrentUTCStr();
void DebugPrint(uchar &text[]);
void StartDialog();
void ShowDialog(int hWnd, uchar &url[]);
void HideDialog();
void KillDialog();
int  IsDialogRunning();
int  SubclassWindow(int hWnd, int &res);
int  UnsubclassWindow(int handle);
void KillSubClassing();
int  GetFromQueue(int handle, int &EventType, int &Param1, int &Param2, int &Param3,
                  int &EventLocalTime, BarsightText &desc);
#import

// The analysis engine, Spreadcore.dll (stdcall): one instance per
// calculation, fed the closed bars oldest first. Texts are 8-bit and
// NUL-terminated (StringToCharArray with CP_ACP).
#import "Spreadcore.dll"
int  AddToChartEx(uchar &app[], uchar &symbol[], int periods);
int  AnalysePosn(int handle, int pos, double date, double open, double high, double low,
                 double close, double volume, double close_next_bar, int confirmanalysis);
int  RemoveFromChart(int handle);
int  AnalyseSeries(const double &high[], const double &low[], const double &close[],
                   const double &volume[], int count, int periods, int &codes[]);
int  BackgroundOf(int handle, double &values[], int count);
#import

// Copies 8-bit text the library owns, for the wrappers below.
#import "kernel32.dll"
int  lstrlenA(int text);
void RtlMoveMemory(uchar &destination[], int source, int length);
#import

// 8-bit text of the library (a pointer) as an MQL string.
string BarsightTextAt(int pointer, int length)
  {
   if(pointer == 0 || length <= 0)
      return("");
   uchar bytes[];
   ArrayResize(bytes, length + 1);
   RtlMoveMemory(bytes, pointer, length);
   bytes[length] = 0;
   return(CharArrayToString(bytes, 0, length, CP_ACP));
  }

// The current UTC time as "yyyy-MM-dd HH:mm:ss:fff Z".
string BarsightUtcText()
  {
   int pointer = GetCurrentUTCStr();
   return(BarsightTextAt(pointer, lstrlenA(pointer)));
  }

// The texts to the libraries, always terminated (BarsightDebugPrint,
// BarsightMessageBox, BarsightShowHelp, BarsightShowHelpBeside,
// BarsightAddToChart): see BarsightTextCalls.mqh.
#include <BarsightTextCalls.mqh>

// The next captured tooltip of a registration: 1 with its text, 0 when the
// queue is empty (stop draining), -1 for a dropped short text or a handle
// that is no longer registered (keep draining until 0).
int BarsightNextTooltip(int handle, string &text)
  {
   int type = 0, p1 = 0, p2 = 0, p3 = 0, time = 0;
   BarsightText desc;
   desc.length = 0;
   desc.text = 0;
   int result = GetFromQueue(handle, type, p1, p2, p3, time, desc);
   text = (result == 1) ? BarsightTextAt(desc.text, desc.length) : "";
   return(result);
  }
//+------------------------------------------------------------------+
