//+------------------------------------------------------------------+
//| BarsightPlugin.mqh: the Barsight client services for MetaTrader 5 |
//| (64-bit). Put the x64 BarsightPlugin.dll, its .config and         |
//| Spreadcore.dll in MQL5\Libraries, and tick "Allow DLL imports":   |
//| the terminal refuses a program whose DLLs it cannot load. The     |
//| same exports as the MetaTrader 4 include; every value that        |
//| carries an address is a long here (a pointer is 8 bytes).         |
//+------------------------------------------------------------------+

// The library's text record: a character count and a pointer to 8-bit
// text that belongs to the library (copy it before this thread's next
// call). MQL5 packs structures to 1 byte, as the library's record is: 12
// bytes, the pointer at offset 4.
struct BarsightText
  {
   int               length;
   long              text;
  };

// Volume colour classes of CalcVolumeColor.
#define BARSIGHT_VOLUME_LOW        1   // below both comparison volumes
#define BARSIGHT_VOLUME_DOWN       2   // close below the comparison close
#define BARSIGHT_VOLUME_UP         3   // close above the comparison close
#define BARSIGHT_VOLUME_UNCHANGED  4   // closes equal (or not comparable)

// Signal codes of VSAInd / the Spreadcore engine: positive strength,
// negative weakness.
#define BARSIGHT_NO_SUPPLY          3
#define BARSIGHT_TEST               4
#define BARSIGHT_STOPPING_VOLUME   12
#define BARSIGHT_SHAKEOUT          13
#define BARSIGHT_SELLING_CLIMAX    16
#define BARSIGHT_EFFORT_TO_RISE    19
#define BARSIGHT_NO_DEMAND         -2
#define BARSIGHT_UPTHRUST          -5
#define BARSIGHT_EFFORT_TO_FALL   -10
#define BARSIGHT_BUYING_CLIMAX    -14

// GetFromQueue: the event type of a tooltip being shown.
#define BARSIGHT_TOOLTIP_SHOWN   -521

// Every client export of BarsightPlugin.dll, with the types of its x64
// signature: int 4 bytes, pointers and long 8, double 8. Window handles
// travel as int: a window handle is 32-bit significant, and the library
// widens it by sign extension.
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
long GetCurrentUTCStr();
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
#import

// Copies 8-bit text the library owns, for the wrappers below.
#import "kernel32.dll"
int  lstrlenA(long text);
void RtlMoveMemory(uchar &destination[], long source, long length);
#import

// 8-bit text of the library (a pointer) as an MQL string.
string BarsightTextAt(long pointer, int length)
  {
   if(pointer == 0 || length <= 0)
      return("");
   uchar bytes[];
   ArrayResize(bytes, length + 1);
   RtlMoveMemory(bytes, pointer, length);
   bytes[length] = 0;
   return(CharArrayToString(bytes, 0, length, CP_ACP));
  }

// Texts to the libraries. DebugPrint, TS_MessageBox, ShowDialog and
// AddToChartEx take a uchar array and read it up to its first NUL: the
// library cannot know the array's length, so an array without a NUL is
// read past its end (and can crash the terminal). Call them only through
// the functions below, which take a string and always pass a terminated
// copy of it:
//   BarsightDebugPrint(text)              the text on the debugger output
//   BarsightMessageBox(text)              a message box
//   BarsightShowHelp(page)                the help window, on its own
//   BarsightShowHelpBeside(window, page)  the help window beside a chart
//   BarsightAddToChart(app, symbol, n)    an engine instance (AddToChartEx)
// Each does nothing (or answers 0) when its text cannot be made.

// An MQL string as the NUL-terminated 8-bit (CP_ACP) text the libraries
// read: true when `bytes` holds the text and its NUL; false when it could
// not (an array of fixed size too small for them), and then nothing may be
// passed on.
bool BarsightAnsi(string text, uchar &bytes[])
  {
   int copied = StringToCharArray(text, bytes, 0, -1, CP_ACP);  // -1: the whole text and its NUL
   return(copied >= 1 && copied <= ArraySize(bytes) && bytes[copied - 1] == 0);
  }

// The current UTC time as "yyyy-MM-dd HH:mm:ss:fff Z".
string BarsightUtcText()
  {
   long pointer = GetCurrentUTCStr();
   return(BarsightTextAt(pointer, lstrlenA(pointer)));
  }

void BarsightDebugPrint(string text)
  {
   uchar bytes[];
   if(BarsightAnsi(text, bytes))
      DebugPrint(bytes);
  }

void BarsightMessageBox(string text)
  {
   uchar bytes[];
   if(BarsightAnsi(text, bytes))
      TS_MessageBox(bytes);
  }

// Shows the help page of an indicator, or of a signal ("chart;SOS3"),
// for the chart whose window is `window` (0 when there is none).
void BarsightShowHelpBeside(int window, string page)
  {
   uchar bytes[];
   if(BarsightAnsi(page, bytes))
      ShowDialog(window, bytes);
  }

void BarsightShowHelp(string page)
  {
   BarsightShowHelpBeside(0, page);
  }

// An engine instance for `symbol` over `periods` bars: its handle, or 0
// when the engine (or the texts) refused it.
int BarsightAddToChart(string application, string symbol, int periods)
  {
   uchar app[], name[];
   if(!BarsightAnsi(application, app) || !BarsightAnsi(symbol, name))
      return(0);
   return(AddToChartEx(app, name, periods));
  }

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
