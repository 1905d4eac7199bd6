//+------------------------------------------------------------------+
//| BarsightScanner.mqh: the body of BarsightScanner, shared by the   |
//| MetaTrader 4 and 5 indicators. The program declares the inputs    |
//| (Symbols, Timeframes, ScanBars, Periods, MaxRows, RowsPerSlice)   |
//| and includes BarsightPlugin.mqh and BarsightSignals.mqh first.    |
//| Timeframes are PERIOD_ values of the program's language (minutes  |
//| in MQL4, codes in MQL5), cast where a built-in wants the enum.    |
//|                                                                   |
//| OnCalculate only lays the rows out and starts a pass; the timer   |
//| then scans RowsPerSlice rows at a time, so no call holds the      |
//| terminal's thread for long (the GUI thread in MetaTrader 4, the   |
//| symbol's shared thread in MetaTrader 5) however long the list. A  |
//| row keeps its result until its symbol and timeframe close a new   |
//| bar: an unchanged row costs one iTime, no engine call.            |
//|                                                                   |
//| MetaTrader 5 also declares VolumeSource: each row takes the       |
//| volume BarsightVSA and the volume pane take (real volume where    |
//| the symbol has any, tick volume otherwise), chosen once per row's |
//| history and said in the row's tooltip.                            |
//+------------------------------------------------------------------+

// Each row's engine is fed as a chart feeds it (BarsightFeedPolicy.mqh).
#include <BarsightFeedPolicy.mqh>

#define SCAN_PREFIX      "BarsightScan;"
#define SCAN_MAX_BARS    5000  // closed bars a row analyses at most (ScanBars 0 or more)
#define SCAN_RETRY       5     // seconds between rescans of the rows without data
#define SCAN_SLICE_MS    100   // milliseconds between the slices of a pass
// A row's columns: MetaTrader 4 shows 63 characters of a label, so the
// symbol is cut to fit and the columns add up to 63 at most.
#define SCAN_SYMBOL_WIDTH 11
#define SCAN_TF_WIDTH     5
#define SCAN_SIGNAL_WIDTH 22
#define SCAN_AGO_WIDTH    5
#define SCAN_ROW_LIMIT    63

string   RowSymbols[];     // each row's symbol and timeframe, for a click
int      RowTimeframes[];
bool     RowMissing[];     // the row found no data yet (the terminal may still be loading it)
datetime RowClosed[];      // the newest closed bar the row's result is of (0: none yet)
int      RowVolume[];      // the volume the row's engine takes: -1 not chosen yet, 0 tick, 1 real
int      ScanNext = 0;     // the next row of the running pass (the row count: no pass runs)
datetime ScannedBarTime = 0;

// `text` padded with spaces to `width` characters; a longer text is cut
// to width - 1 and ends in "~", so a column is never wider and the next
// column stays apart.
string ScanPad(string text, int width)
  {
   if(StringLen(text) >= width)
      return(StringSubstr(text, 0, width - 2) + "~ ");
   string padded = text;
   while(StringLen(padded) < width)
      padded = padded + " ";
   return(padded);
  }

// A signal's name and code in at most width - 2 characters (two spaces keep
// the next column apart): a long name is cut and ends in "~", the code
// always shown whole.
string ScanSignalText(int code, int width)
  {
   if(code == 0)
      return("-");
   string tail = " (" + IntegerToString(code) + ")";
   string name = BarsightSignalName(code);
   if(StringLen(name) + StringLen(tail) > width - 2)
      name = StringSubstr(name, 0, width - 3 - StringLen(tail)) + "~";
   return(name + tail);
  }

// The symbols to scan: the Symbols list, or the Market Watch.
int ScanSymbols(string &names[])
  {
   ArrayResize(names, 0);
   if(StringLen(BarsightTrimmed(Symbols)) == 0)
     {
      int total = SymbolsTotal(true);
      ArrayResize(names, total);
      for(int k = 0; k < total; k++)
         names[k] = SymbolName(k, true);
      return(total);
     }
   string parts[];
   int count = StringSplit(Symbols, ',', parts);
   for(int k = 0; k < count; k++)
     {
      string name = BarsightTrimmed(parts[k]);
      if(StringLen(name) == 0)
         continue;
      // A symbol typed in need not be in the Market Watch: the terminal
      // serves its bars only once it is.
      SymbolSelect(name, true);
      int size = ArraySize(names);
      ArrayResize(names, size + 1);
      names[size] = name;
     }
   return(ArraySize(names));
  }

// The timeframes to scan (PERIOD_ values): the Timeframes list, or this chart's.
int ScanTimeframes(int &timeframes[])
  {
   ArrayResize(timeframes, 0);
   if(StringLen(BarsightTrimmed(Timeframes)) == 0)
     {
      ArrayResize(timeframes, 1);
      timeframes[0] = Period();
      return(1);
     }
   string parts[];
   int count = StringSplit(Timeframes, ',', parts);
   for(int k = 0; k < count; k++)
     {
      int value = BarsightTimeframe(parts[k]);
      if(value < 0)
        {
         Print("BarsightScanner: '", parts[k], "' is no timeframe (", BarsightTimeframeList(), ")");
         continue;
        }
      int size = ArraySize(timeframes);
      ArrayResize(timeframes, size + 1);
      timeframes[size] = value;
     }
   return(ArraySize(timeframes));
  }

// Which volume a row's engine takes, chosen once per row's history as
// BarsightVSA chooses it for its chart: tick volume, or in MetaTrader 5
// with VolumeSource 1 the real (exchange) volume when the symbol has any
// in the bars copied. A symbol without any takes tick volume, said once.
int ScanChooseVolume(string symbol, const MqlRates &rates[], int copied)
  {
#ifdef __MQL5__
   if(VolumeSource != 1)
      return(0);
   for(int k = 0; k < copied; k++)
      if(rates[k].real_volume > 0)
         return(1);
   Print("BarsightScanner: ", symbol, " has no real volume: its signals take tick volume");
#endif
   return(0);
  }

// Analyses the newest ScanBars closed bars of one symbol and timeframe in
// one engine call (AnalyseSeries: the whole series at once, oldest first,
// as a chart feeds them: the newest closed bar with its next close not yet
// known), from one CopyRates. False when the terminal has too few bars of
// it (or is still loading them) or the engine refuses. `closed` is the
// open time of the newest closed bar analysed; `source` the row's volume
// (-1: not chosen yet, chosen here).
bool ScanOne(string symbol, int timeframe, int &confirmed, int &ago, int &provisional, datetime &closed,
             int &source)
  {
   confirmed = 0;
   ago = -1;
   provisional = 0;
   closed = 0;
   int wanted = (ScanBars > 0 && ScanBars < SCAN_MAX_BARS) ? ScanBars : SCAN_MAX_BARS;
   MqlRates rates[];
   ArraySetAsSeries(rates, true);                 // rates[0] is the forming bar
   int copied = CopyRates(symbol, (ENUM_TIMEFRAMES)timeframe, 0, wanted + 1, rates);
   if(copied < 3)
      return(false);
   int fed = copied - 1;                          // every bar but the forming one
   if(source < 0)
      source = ScanChooseVolume(symbol, rates, copied);
   double highs[], lows[], closes[], volumes[];
   int codes[];
   if(ArrayResize(highs, fed) != fed || ArrayResize(lows, fed) != fed || ArrayResize(closes, fed) != fed ||
      ArrayResize(volumes, fed) != fed || ArrayResize(codes, fed) != fed)
      return(false);
   for(int number = 0; number < fed; number++)    // oldest first
     {
      int shift = fed - number;
      highs[number] = rates[shift].high;
      lows[number] = rates[shift].low;
      closes[number] = rates[shift].close;
      double volume = (double)(source == 1 ? rates[shift].real_volume : rates[shift].tick_volume);
      volumes[number] = (volume < BARSIGHT_VOLUME_FLOOR) ? BARSIGHT_FLOORED_VOLUME : volume;
     }
   if(AnalyseSeries(highs, lows, closes, volumes, fed, Periods, codes) != fed)
      return(false);
   closed = rates[1].time;
   for(int number = 0; number < fed; number++)
     {
      int shift = fed - number;
      int code = (number > BARSIGHT_WARM_UP_LIMIT) ? SignFilter(codes[number]) : 0;
      if(shift == 1)
         provisional = code;
      else if(code != 0)
        {
         confirmed = code;                      // oldest first: the newest stays
         ago = shift;
        }
     }
   return(true);
  }

void ScanLabel(string name, int y, string text, color shade, string tip)
  {
   if(!ObjectCreate(0, name, OBJ_LABEL, 0, 0, 0))
      return;
   ObjectSetInteger(0, name, OBJPROP_CORNER, CORNER_LEFT_UPPER);
   ObjectSetInteger(0, name, OBJPROP_ANCHOR, ANCHOR_LEFT_UPPER);
   ObjectSetInteger(0, name, OBJPROP_XDISTANCE, BarsightScaled(8));
   ObjectSetInteger(0, name, OBJPROP_YDISTANCE, BarsightScaled(y));
   ObjectSetString(0, name, OBJPROP_FONT, "Courier New");
   ObjectSetInteger(0, name, OBJPROP_FONTSIZE, 9);
   ObjectSetString(0, name, OBJPROP_TEXT, text);
   ObjectSetInteger(0, name, OBJPROP_COLOR, BarsightOnChart(shade, BarsightBackground()));
   ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
   ObjectSetString(0, name, OBJPROP_TOOLTIP, tip);
  }

string ScanRowName(int row)
  {
   return(SCAN_PREFIX + "row;" + IntegerToString(row));
  }

// One row: its text, colour and whether it found data. A row whose symbol
// and timeframe closed no bar since its last result keeps it.
void ScanRow(int row)
  {
   string symbol = RowSymbols[row];
   int timeframe = RowTimeframes[row];
   if(!RowMissing[row] && RowClosed[row] != 0 && iTime(symbol, (ENUM_TIMEFRAMES)timeframe, 1) == RowClosed[row])
      return;
   int confirmed, ago, provisional;
   datetime closed;
   string text = ScanPad(symbol, SCAN_SYMBOL_WIDTH) + ScanPad(BarsightTimeframeText(timeframe), SCAN_TF_WIDTH);
   color shade = BarsightTextColor(TextColor);
   RowMissing[row] = !ScanOne(symbol, timeframe, confirmed, ago, provisional, closed, RowVolume[row]);
   RowClosed[row] = closed;
   if(!RowMissing[row])
     {
      text = text + ScanPad(ScanSignalText(confirmed, SCAN_SIGNAL_WIDTH), SCAN_SIGNAL_WIDTH) +
             ScanPad(ago > 0 ? IntegerToString(ago) : "-", SCAN_AGO_WIDTH) +
             ScanSignalText(provisional, SCAN_ROW_LIMIT + 1 - StringLen(text) - SCAN_SIGNAL_WIDTH - SCAN_AGO_WIDTH);
      if(confirmed != 0)
         shade = BarsightSignalColor(confirmed);
     }
   else
      text = text + "no data";
   if(StringLen(text) > SCAN_ROW_LIMIT)
      text = StringSubstr(text, 0, SCAN_ROW_LIMIT - 1) + "~";
   string name = ScanRowName(row);
   ObjectDelete(0, name);
   ScanLabel(name, 36 + 15 * row, text, shade, "Click to open " + symbol + " " + BarsightTimeframeText(timeframe) +
             ScanVolumeText(RowVolume[row]));
  }

// What a row's tooltip says of its volume: nothing unless VolumeSource asks
// for real volume (MetaTrader 5).
string ScanVolumeText(int source)
  {
#ifdef __MQL5__
   if(VolumeSource == 1 && source >= 0)
      return(source == 1 ? " (volume: real)" : " (volume: tick, no real volume)");
#endif
   return("");
  }

// The rows of the lists as they are now. A row that stays the same symbol
// and timeframe keeps its result and its label; another loses both.
void ScanLayout()
  {
   string names[];
   int timeframes[];
   int symbols = ScanSymbols(names);
   int count = ScanTimeframes(timeframes);
   ObjectDelete(0, SCAN_PREFIX + "header");
   ScanLabel(SCAN_PREFIX + "header", 20, ScanPad("Symbol", SCAN_SYMBOL_WIDTH) + ScanPad("TF", SCAN_TF_WIDTH) +
             ScanPad("Confirmed", SCAN_SIGNAL_WIDTH) + ScanPad("Ago", SCAN_AGO_WIDTH) + "Provisional",
             BarsightTextColor(TextColor), "\n");
   int had = ArraySize(RowSymbols);
   int rows = 0;
   for(int s = 0; s < symbols && rows < MaxRows; s++)
      for(int t = 0; t < count && rows < MaxRows; t++)
        {
         if(rows >= had || RowSymbols[rows] != names[s] || RowTimeframes[rows] != timeframes[t])
           {
            if(rows >= had)
              {
               ArrayResize(RowSymbols, rows + 1);
               ArrayResize(RowTimeframes, rows + 1);
               ArrayResize(RowMissing, rows + 1);
               ArrayResize(RowClosed, rows + 1);
               ArrayResize(RowVolume, rows + 1);
              }
            ObjectDelete(0, ScanRowName(rows));
            RowSymbols[rows] = names[s];
            RowTimeframes[rows] = timeframes[t];
            RowMissing[rows] = true;
            RowClosed[rows] = 0;
            RowVolume[rows] = -1;
           }
         rows++;
        }
   for(int row = rows; row < had; row++)
      ObjectDelete(0, ScanRowName(row));
   ArrayResize(RowSymbols, rows);
   ArrayResize(RowTimeframes, rows);
   ArrayResize(RowMissing, rows);
   ArrayResize(RowClosed, rows);
   ArrayResize(RowVolume, rows);
  }

// A pass over every row, from the first, in slices on the timer.
void ScanStartPass()
  {
   ScanNext = 0;
   EventSetMillisecondTimer(SCAN_SLICE_MS);
  }

// One slice: the next RowsPerSlice rows of the pass at most. The pass done,
// the timer comes back only for the rows still without data.
void ScanSlice()
  {
   int rows = ArraySize(RowSymbols);
   for(int done = 0; done < RowsPerSlice && ScanNext < rows; done++)
     {
      ScanRow(ScanNext);
      ScanNext++;
     }
   if(ScanNext >= rows)
      ScanRetryIfMissing();
  }

// The terminal loads another symbol's or timeframe's history on the first
// request: a row without data is asked again every few seconds until it
// has it, not only at this chart's next bar (a day away on D1).
void ScanRetryIfMissing()
  {
   for(int row = 0; row < ArraySize(RowMissing); row++)
      if(RowMissing[row])
        {
         EventSetTimer(SCAN_RETRY);
         return;
        }
   EventKillTimer();
  }

void OnTimer()
  {
   if(ScanNext >= ArraySize(RowSymbols))
      ScanStartPass();                          // the retry: rows with data keep their results
   ScanSlice();
  }

int OnInit()
  {
   if(!BarsightDllsAllowed("BarsightScanner"))
      return(INIT_FAILED);
   if(Periods < 1 || Periods > 10000 || ScanBars < 0 || MaxRows < 1 || RowsPerSlice < 1)
     {
      Print("BarsightScanner: Periods must be 1 to 10000, ScanBars 0 or more, MaxRows and RowsPerSlice 1 or more");
      return(INIT_PARAMETERS_INCORRECT);
     }
#ifdef __MQL5__
   if(VolumeSource != 0 && VolumeSource != 1)
     {
      Print("BarsightScanner: VolumeSource must be 0 (tick volume) or 1 (real volume), not ", VolumeSource);
      return(INIT_PARAMETERS_INCORRECT);
     }
#endif
   ScannedBarTime = 0;
   ScanNext = 0;
   return(INIT_SUCCEEDED);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   if(rates_total < 1)
      return(0);
   ArraySetAsSeries(time, true);
   if(prev_calculated > 0 && time[0] == ScannedBarTime)
      return(rates_total);                      // the same forming bar: nothing new closed
   ScannedBarTime = time[0];
   if(prev_calculated == 0)                     // the history reloaded: every row afresh
      for(int row = 0; row < ArraySize(RowClosed); row++)
        {
         RowClosed[row] = 0;
         RowVolume[row] = -1;
        }
   ScanLayout();
   ScanStartPass();
   return(rates_total);
  }

void OnChartEvent(const int id, const long &lparam, const double &dparam, const string &sparam)
  {
   if(id != CHARTEVENT_OBJECT_CLICK || StringFind(sparam, SCAN_PREFIX + "row;") != 0)
      return;
   int row = (int)StringToInteger(StringSubstr(sparam, StringLen(SCAN_PREFIX + "row;")));
   if(row >= 0 && row < ArraySize(RowSymbols))
      ChartOpen(RowSymbols[row], (ENUM_TIMEFRAMES)RowTimeframes[row]);
  }

void OnDeinit(const int reason)
  {
   EventKillTimer();
   ObjectsDeleteAll(0, SCAN_PREFIX);
  }
//+------------------------------------------------------------------+
