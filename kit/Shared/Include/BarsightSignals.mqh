//+------------------------------------------------------------------+
//| BarsightSignals.mqh: drawing the Spreadcore engine's signals,    |
//| whose names, labels, glyphs and colours BarsightSignalTable.mqh  |
//| gives. Strength is drawn below the bar, weakness above it; no    |
//| two signals of one side share a glyph or a colour. A provisional |
//| signal (the newest closed bar, judged without its next close) is |
//| drawn in its colour mixed halfway with grey.                     |
//| Include after BarsightPlugin.mqh (or, with no DLL, after         |
//| BarsightSignalTable.mqh): it calls no DLL.                       |
//+------------------------------------------------------------------+

// The index of a code in the order of BarsightSignalCode(), or -1 for a
// code that is no signal.
int BarsightSignalIndex(int code)
  {
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
      if(BarsightSignalCode(index) == code)
         return(index);
   return(-1);
  }

// A colour mixed halfway with grey (128, 128, 128): each channel (c + 128) / 2.
color BarsightDimmed(color shade)
  {
   int red = (int)(shade & 0xFF), green = (int)((shade >> 8) & 0xFF), blue = (int)((shade >> 16) & 0xFF);
   red = (red + 128) / 2;
   green = (green + 128) / 2;
   blue = (blue + 128) / 2;
   return((color)(red | (green << 8) | (blue << 16)));
  }

// The help page of a signal: SOS<code> for strength, SOW<-code> for weakness.
string BarsightSignalPage(int code)
  {
   return((code > 0) ? "SOS" + IntegerToString(code) : "SOW" + IntegerToString(-code));
  }

// Relative luminance of a colour (0 black, 1 white), as WCAG defines it.
double BarsightLuminance(color shade)
  {
   double parts[3];
   parts[0] = (double)(shade & 0xFF) / 255.0;
   parts[1] = (double)((shade >> 8) & 0xFF) / 255.0;
   parts[2] = (double)((shade >> 16) & 0xFF) / 255.0;
   for(int k = 0; k < 3; k++)
      parts[k] = (parts[k] <= 0.03928) ? parts[k] / 12.92 : MathPow((parts[k] + 0.055) / 1.055, 2.4);
   return(0.2126 * parts[0] + 0.7152 * parts[1] + 0.0722 * parts[2]);
  }

// The contrast ratio of two colours, 1 (none) to 21 (black on white).
double BarsightContrast(color a, color b)
  {
   double la = BarsightLuminance(a), lb = BarsightLuminance(b);
   return((MathMax(la, lb) + 0.05) / (MathMin(la, lb) + 0.05));
  }

// `shade` moved a fraction `part` of the way to `target`, channel by channel.
color BarsightMixed(color shade, color target, double part)
  {
   int mixed = 0;
   for(int k = 0; k < 3; k++)
     {
      int from = (int)((shade >> (8 * k)) & 0xFF), to = (int)((target >> (8 * k)) & 0xFF);
      mixed |= (int)MathRound(from + (to - from) * part) << (8 * k);
     }
   return((color)mixed);
  }

// `shade` as it is drawn on a chart of that background: darkened on a light
// chart, lightened on a dark one, a step at a time, until it stands out by
// 3:1 at least (WCAG's ratio for graphics), so gold and aqua stay visible
// on a white chart.
color BarsightOnChart(color shade, color background)
  {
   bool light = BarsightLuminance(background) > 0.4;
   color drawn = shade;
   for(int step = 0; step < 20 && BarsightContrast(drawn, background) < 3.0; step++)
      drawn = BarsightMixed(drawn, light ? clrBlack : clrWhite, 0.15);
   return(drawn);
  }

// The chart's background colour.
color BarsightBackground()
  {
   return((color)ChartGetInteger(0, CHART_COLOR_BACKGROUND));
  }

// A text colour: the one chosen, or with clrNONE the chart's own text colour.
color BarsightTextColor(color chosen)
  {
   if(chosen != clrNONE)
      return(chosen);
   return((color)ChartGetInteger(0, CHART_COLOR_FOREGROUND));
  }

// A distance in pixels at 100% scaling, as the screen's DPI makes it (144
// DPI, 150%: half as much again), so rows of text do not overlap.
int BarsightScaled(int pixels)
  {
   long dpi = TerminalInfoInteger(TERMINAL_SCREEN_DPI);
   if(dpi <= 0)
      dpi = 96;
   return((int)MathRound(pixels * (double)dpi / 96.0));
  }

// The timeframes of the terminal, shortest first: MetaTrader 4 has 9,
// MetaTrader 5 has 21. PERIOD_ values: minutes in MQL4, codes in MQL5.
#ifdef __MQL5__
#define BARSIGHT_TIMEFRAME_COUNT 21
#else
#define BARSIGHT_TIMEFRAME_COUNT 9
#endif

int BarsightTimeframeAt(int index)
  {
#ifdef __MQL5__
   ENUM_TIMEFRAMES all[21] = {PERIOD_M1, PERIOD_M2, PERIOD_M3, PERIOD_M4, PERIOD_M5, PERIOD_M6, PERIOD_M10,
                              PERIOD_M12, PERIOD_M15, PERIOD_M20, PERIOD_M30, PERIOD_H1, PERIOD_H2, PERIOD_H3,
                              PERIOD_H4, PERIOD_H6, PERIOD_H8, PERIOD_H12, PERIOD_D1, PERIOD_W1, PERIOD_MN1};
#else
   int all[9] = {PERIOD_M1, PERIOD_M5, PERIOD_M15, PERIOD_M30, PERIOD_H1, PERIOD_H4, PERIOD_D1, PERIOD_W1,
                 PERIOD_MN1};
#endif
   if(index < 0 || index >= BARSIGHT_TIMEFRAME_COUNT)
      return(-1);
   return((int)all[index]);
  }

// A timeframe as the terminal writes it (M1 ... MN1), or "TF" and its
// number for one the terminal does not have.
string BarsightTimeframeText(int timeframe)
  {
   if(timeframe == PERIOD_D1)
      return("D1");
   if(timeframe == PERIOD_W1)
      return("W1");
   if(timeframe == PERIOD_MN1)
      return("MN1");
   for(int k = 0; k < BARSIGHT_TIMEFRAME_COUNT; k++)
     {
      if(BarsightTimeframeAt(k) != timeframe)
         continue;
#ifdef __MQL5__
      if(timeframe >= 0x4000)
         return("H" + IntegerToString(timeframe & 0x3FFF));   // 0x4000 | hours
      return("M" + IntegerToString(timeframe));
#else
      if(timeframe >= 60)
         return("H" + IntegerToString(timeframe / 60));
      return("M" + IntegerToString(timeframe));
#endif
     }
   return("TF" + IntegerToString(timeframe));
  }

// The timeframes of the terminal as a list for a message: "M1, M5, ...".
string BarsightTimeframeList()
  {
   string list = "";
   for(int k = 0; k < BARSIGHT_TIMEFRAME_COUNT; k++)
      list = list + (k > 0 ? ", " : "") + BarsightTimeframeText(BarsightTimeframeAt(k));
   return(list);
  }

// `text` without leading and trailing spaces and tabs. (Written out: the
// trimming built-ins return the text in MQL4 but trim in place in MQL5.)
string BarsightTrimmed(string text)
  {
   int first = 0, last = StringLen(text) - 1;
   while(first <= last && (StringGetCharacter(text, first) == ' ' || StringGetCharacter(text, first) == '\t'))
      first++;
   while(last >= first && (StringGetCharacter(text, last) == ' ' || StringGetCharacter(text, last) == '\t'))
      last--;
   return(StringSubstr(text, first, last - first + 1));
  }

// The PERIOD_ value of a timeframe text (M1 ... MN1, any case), or -1.
int BarsightTimeframe(string text)
  {
   string wanted = BarsightTrimmed(text);
   StringToUpper(wanted);
   for(int k = 0; k < BARSIGHT_TIMEFRAME_COUNT; k++)
      if(BarsightTimeframeText(BarsightTimeframeAt(k)) == wanted)
         return(BarsightTimeframeAt(k));
   return(-1);
  }
//+------------------------------------------------------------------+
