//+------------------------------------------------------------------+
//| BarsightTextCalls.mqh: texts to the Barsight libraries, always   |
//| terminated, in MQL4 and MQL5 alike. Included by                  |
//| BarsightPlugin.mqh after the libraries' imports.                 |
//+------------------------------------------------------------------+

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
