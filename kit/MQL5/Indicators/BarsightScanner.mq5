//+------------------------------------------------------------------+
//| BarsightScanner.mq5: which symbols carry a VSA signal. For each   |
//| symbol of the Market Watch (or of the Symbols list) and each      |
//| timeframe, the newest confirmed signal with how many bars ago it  |
//| closed, and the provisional signal of the newest closed bar, as a |
//| table on the chart, refreshed at each new bar of this chart (in   |
//| timer slices; a row without a new bar keeps its result). A        |
//| click on a row opens that symbol's chart. The signals are the     |
//| Spreadcore engine's, asked exactly as BarsightVSA asks it, on the |
//| volume it takes (VolumeSource: real volume where a symbol has it).|
//| Needs Spreadcore.dll and BarsightPlugin.dll in MQL5\Libraries and  |
//| "Allow DLL imports" ticked.                                       |
//+------------------------------------------------------------------+
#property indicator_chart_window
#property indicator_buffers 0
#property indicator_plots   0

#include <BarsightPlugin.mqh>
#include <BarsightSignals.mqh>

input string Symbols    = "";    // Symbols, comma separated (empty: the Market Watch)
input string Timeframes = "";    // Timeframes, e.g. H1,H4,D1 (empty: this chart's)
input int    ScanBars   = 500;   // Closed bars analysed per symbol (0 = the most, 5000)
input int    Periods    = 9;     // Averaging length of the engine's rules
input int    MaxRows    = 100;   // Rows shown at most
input int    RowsPerSlice = 10;  // Rows scanned per timer slice (0.1 s apart)
input color  TextColor  = clrNONE;  // Text of rows without a signal (None: the chart's text colour)
input int    VolumeSource = 0;   // 0 tick volume, 1 real volume (exchange symbols)

#include <BarsightScanner.mqh>
//+------------------------------------------------------------------+
