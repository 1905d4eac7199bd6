//+------------------------------------------------------------------+
//| BarsightScanner.mqh: the body of BarsightScanner, shared by the   |
//| MetaTrader 4 and 5 indicators. The program declares the inputs    |
//| (Symbols, Timeframes, ScanBars, Periods, MaxRows) and includes    |
//| BarsightPlugin.mqh and BarsightSignals.mqh before this file.      |
//| Timeframes are PERIOD_ values of the program's language (minutes  |
//| in MQL4, codes in MQL5), cast where a built-in wants the enum.    |
//+------------------------------------------------------------------+

#define SCAN_PREFIX      "BarsightScan;"
#define SCAN_APPLICATION "metastock"
#define SCAN_WARMUP      15
#define SCAN_FLOOR       0.0001

string   RowSymbols[];     // each row's symbol and timeframe, for a click
int      RowTimeframes[];
datetime ScannedBarTime = 0;

// `text` padded with spaces to `width` characters.
string ScanPad(string text, int width)
  {
   string padded = text;
   while(StringLen(padded) < width)
      padded = padded + " ";
   return(padded);
  }

string ScanSignalText(int code)
  {
   if(code == 0)
      return("-");
   return(BarsightSignalName(code) + " (" + IntegerToString(code) + ")");
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
         Print("BarsightScanner: '", parts[k], "' is no timeframe (M1, M5, M15, M30, H1, H4, D1, W1, MN1)");
         continue;
        }
      int size = ArraySize(timeframes);
      ArrayResize(timeframes, size + 1);
      timeframes[size] = value;
     }
   return(ArraySize(timeframes));
  }

// Feeds the newest ScanBars closed bars of one symbol and timeframe to a
// fresh engine instance, oldest first, as BarsightVSA does. False when the
// terminal has too few bars of it or the engine refuses.
bool ScanOne(string symbol, int timeframe, int &confirmed, int &ago, int &provisional)
  {
   confirmed = 0;
   ago = -1;
   provisional = 0;
   int bars = iBars(symbol, (ENUM_TIMEFRAMES)timeframe);
   if(bars < 3)
      return(false);
   int fed = bars - 1;                          // every bar but the forming one
   if(ScanBars > 0 && fed > ScanBars)
      fed = ScanBars;
   uchar application[], name[];
   StringToCharArray(SCAN_APPLICATION, application, 0, -1, CP_ACP);
   StringToCharArray(symbol, name, 0, -1, CP_ACP);
   int instance = AddToChartEx(application, name, Periods);
   if(instance <= 0)
      return(false);
   for(int number = 0; number < fed; number++)
     {
      int shift = fed - number;
      double volume = (double)iVolume(symbol, (ENUM_TIMEFRAMES)timeframe, shift);
      if(volume < SCAN_FLOOR)
         volume = 1.0;
      double close = iClose(symbol, (ENUM_TIMEFRAMES)timeframe, shift);
      double next = (shift > 1) ? iClose(symbol, (ENUM_TIMEFRAMES)timeframe, shift - 1) : -1.0;
      int raw = AnalysePosn(instance, number - 1, number + 2.0, close, iHigh(symbol, (ENUM_TIMEFRAMES)timeframe, shift),
                            iLow(symbol, (ENUM_TIMEFRAMES)timeframe, shift), close, volume, next, 0);
      int code = (number > SCAN_WARMUP) ? SignFilter(raw) : 0;
      if(shift == 1)
         provisional = code;
      else if(code != 0)
        {
         confirmed = code;                      // bars arrive oldest first: the newest stays
         ago = shift;
        }
     }
   RemoveFromChart(instance);
   return(true);
  }

void ScanLabel(string name, int y, string text, color shade, string tip)
  {
   if(!ObjectCreate(0, name, OBJ_LABEL, 0, 0, 0))
      return;
   ObjectSetInteger(0, name, OBJPROP_CORNER, CORNER_LEFT_UPPER);
   ObjectSetInteger(0, name, OBJPROP_ANCHOR, ANCHOR_LEFT_UPPER);
   ObjectSetInteger(0, name, OBJPROP_XDISTANCE, 8);
   ObjectSetInteger(0, name, OBJPROP_YDISTANCE, y);
   ObjectSetString(0, name, OBJPROP_FONT, "Courier New");
   ObjectSetInteger(0, name, OBJPROP_FONTSIZE, 9);
   ObjectSetString(0, name, OBJPROP_TEXT, text);
   ObjectSetInteger(0, name, OBJPROP_COLOR, shade);
   ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
   ObjectSetString(0, name, OBJPROP_TOOLTIP, tip);
  }

void ScanAll()
  {
   ObjectsDeleteAll(0, SCAN_PREFIX);
   string names[];
   int timeframes[];
   int symbols = ScanSymbols(names);
   int count = ScanTimeframes(timeframes);
   ArrayResize(RowSymbols, 0);
   ArrayResize(RowTimeframes, 0);
   ScanLabel(SCAN_PREFIX + "header", 20, ScanPad("Symbol", 12) + ScanPad("TF", 5) + ScanPad("Confirmed", 22) +
             ScanPad("Ago", 5) + "Provisional", clrSilver, "\n");
   int row = 0;
   for(int s = 0; s < symbols && row < MaxRows; s++)
      for(int t = 0; t < count && row < MaxRows; t++)
        {
         int confirmed, ago, provisional;
         string text = ScanPad(names[s], 12) + ScanPad(BarsightTimeframeText(timeframes[t]), 5);
         color shade = clrSilver;
         if(ScanOne(names[s], timeframes[t], confirmed, ago, provisional))
           {
            text = text + ScanPad(ScanSignalText(confirmed), 22) + ScanPad(ago > 0 ? IntegerToString(ago) : "-", 5) +
                   ScanSignalText(provisional);
            if(confirmed != 0)
               shade = BarsightSignalColor(confirmed);
           }
         else
            text = text + "no data";
         ArrayResize(RowSymbols, row + 1);
         ArrayResize(RowTimeframes, row + 1);
         RowSymbols[row] = names[s];
         RowTimeframes[row] = timeframes[t];
         ScanLabel(SCAN_PREFIX + "row;" + IntegerToString(row), 36 + 15 * row, text, shade,
                   "Click to open " + names[s] + " " + BarsightTimeframeText(timeframes[t]));
         row++;
        }
  }

int OnInit()
  {
   if(Periods < 1 || Periods > 10000 || ScanBars < 0 || MaxRows < 1)
     {
      Print("BarsightScanner: Periods must be 1 to 10000, ScanBars 0 or more, MaxRows 1 or more");
      return(INIT_PARAMETERS_INCORRECT);
     }
   ScannedBarTime = 0;
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
   ScanAll();
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
   ObjectsDeleteAll(0, SCAN_PREFIX);
  }
//+------------------------------------------------------------------+
