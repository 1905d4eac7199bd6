//+------------------------------------------------------------------+
//| BarsightVSA.mq4: the Spreadcore engine's volume spread analysis   |
//| signals on the price chart. Strength is an up arrow below the     |
//| bar, weakness a down arrow above it; a click on an arrow opens    |
//| the signal's help page.                                           |
//| Needs Spreadcore.dll and BarsightPlugin.dll in MQL4\Libraries and |
//| "Allow DLL imports" ticked: without them the terminal refuses to  |
//| load the indicator.                                               |
//+------------------------------------------------------------------+
#property strict
#property indicator_chart_window
#property indicator_buffers 1
#property indicator_color1 clrNONE

#include <BarsightPlugin.mqh>

input int  MaxBars       = 5000;   // Closed bars analysed (0 = all)
input bool ShowStrength  = true;   // Show signs of strength
input bool ShowWeakness  = true;   // Show signs of weakness
input bool AlertOnSignal = false;  // Alert when a bar's signal is confirmed (shift 2)
input bool AlertProvisional = false;  // Also alert on the newest closed bar's provisional signal
input bool HelpOnHover   = false;  // Open the help page when an arrow's tooltip shows
input bool DrawArrows    = true;   // Draw arrows (false for a copy read by iCustom)

// The engine is asked exactly as the MetaStock indicator asks it: the
// application text, nine periods, no signal on bar numbers up to 15, a
// volume floor, -1 as the unknown next close.
#define VSA_PREFIX       "Barsight;"
#define VSA_APPLICATION  "metastock"
#define VSA_PERIODS      9
#define VSA_WARMUP       15
#define VSA_VOLUME_FLOOR 0.0001

double   Codes[];             // each bar's signal code, 0 for none (for iCustom)
datetime FormingBarTime = 0;  // open time of the forming bar at the last calculation
datetime AlertedBarTime = 0;          // the last confirmed bar an alert was given for
datetime AlertedProvisionalTime = 0;  // the last provisional bar an alert was given for
int      Instance = 0;        // the engine instance while one is open
int      HookHandle = 0;      // the chart window's hook registration (HelpOnHover)
bool     Counted = false;     // this instance counted itself with IncRefCount
bool     VolumeWarned = false;  // the "no usable volume" warning was printed for this chart

// The signal's name, as the help pages and the MetaStock kit name it.
string VsaSignalName(int code)
  {
   switch(code)
     {
      case BARSIGHT_NO_SUPPLY:       return("No supply");
      case BARSIGHT_TEST:            return("Test");
      case BARSIGHT_STOPPING_VOLUME: return("Stopping volume");
      case BARSIGHT_SHAKEOUT:        return("Shakeout");
      case BARSIGHT_SELLING_CLIMAX:  return("Selling climax");
      case BARSIGHT_EFFORT_TO_RISE:  return("Effort to rise");
      case BARSIGHT_NO_DEMAND:       return("No demand");
      case BARSIGHT_UPTHRUST:        return("Upthrust");
      case BARSIGHT_EFFORT_TO_FALL:  return("Effort to fall");
      case BARSIGHT_BUYING_CLIMAX:   return("Buying climax");
     }
   return("Signal");
  }

string VsaTooltip(int code)
  {
   return(VsaSignalName(code) + " (" + IntegerToString(code) + ")");
  }

// "Barsight;SOS12;2024.03.01 00:00": the help window turns the part between
// the first two semicolons into the signal's page.
string VsaArrowName(int code, datetime barTime)
  {
   string page = (code > 0) ? "SOS" + IntegerToString(code) : "SOW" + IntegerToString(-code);
   return(VSA_PREFIX + page + ";" + TimeToString(barTime, TIME_DATE | TIME_MINUTES));
  }

bool VsaShown(int code)
  {
   return((code > 0 && ShowStrength) || (code < 0 && ShowWeakness));
  }

// The arrow a bar should carry, or "" for none.
string VsaWantedArrow(int bar, const datetime &time[])
  {
   int code = (int)Codes[bar];
   if(code == 0 || !VsaShown(code))
      return("");
   return(VsaArrowName(code, time[bar]));
  }

int WindowOfChart()
  {
   return((int)ChartGetInteger(0, CHART_WINDOW_HANDLE));
  }

int OnInit()
  {
   SetIndexBuffer(0, Codes);
   SetIndexStyle(0, DRAW_NONE);
   SetIndexLabel(0, "VSA signal");
   SetIndexEmptyValue(0, 0.0);
   IndicatorDigits(0);  // codes are whole numbers in the Data Window
   IncRefCount();
   Counted = true;
   FormingBarTime = 0;
   if(HelpOnHover && DrawArrows)
     {
      int res = 0;
      HookHandle = SubclassWindow(WindowOfChart(), res);
      if(HookHandle > 0)
         EventSetMillisecondTimer(250);
      else
        {
         Print("BarsightVSA: the chart window cannot be hooked (", HookHandle, "); help opens on a click only");
         HookHandle = 0;
        }
     }
   return(INIT_SUCCEEDED);
  }

// Every volume rule compares a bar's volume with others: with all tick
// volumes equal (or 0) no volume signal can fire. Said once per chart.
void VsaCheckVolume(const int fed, const long &tick_volume[])
  {
   if(VolumeWarned || fed < 2)
      return;
   for(int bar = 2; bar <= fed; bar++)
      if(tick_volume[bar] != tick_volume[1])
         return;
   VolumeWarned = true;
   Print("no usable volume on ", Symbol(), ": volume signals cannot fire");
  }

// Feeds the closed bars to a fresh engine instance, oldest first, and stores
// each bar's filtered code. Bars outside the MaxBars window get 0.
void VsaAnalyse(const int rates_total, const double &high[], const double &low[],
                const double &close[], const long &tick_volume[])
  {
   ArrayInitialize(Codes, 0.0);
   int fed = rates_total - 1;                  // every bar but the forming one
   if(MaxBars > 0 && fed > MaxBars)
      fed = MaxBars;
   if(fed < 1)
      return;
   uchar application[], symbol[];
   StringToCharArray(VSA_APPLICATION, application, 0, -1, CP_ACP);
   StringToCharArray(Symbol(), symbol, 0, -1, CP_ACP);
   Instance = AddToChartEx(application, symbol, VSA_PERIODS);
   if(Instance <= 0)
     {
      Print("BarsightVSA: the engine refused an instance (", Instance, ")");
      Instance = 0;
      return;
     }
   VsaCheckVolume(fed, tick_volume);
   double counter = 1.0;
   for(int number = 0; number < fed; number++)
     {
      int bar = fed - number;                  // series index: the oldest fed bar first
      double volume = (double)tick_volume[bar];
      if(volume < VSA_VOLUME_FLOOR)
         volume = 1.0;
      counter += 1.0;
      double next = (number == fed - 1) ? -1.0 : close[bar - 1];
      int code = AnalysePosn(Instance, number - 1, counter, close[bar], high[bar], low[bar],
                             close[bar], volume, next, 0);
      Codes[bar] = (number > VSA_WARMUP) ? SignFilter(code) : 0;
     }
   RemoveFromChart(Instance);
   Instance = 0;
  }

// Leaves exactly one arrow on each bar with a shown code: stale arrows (a
// code that changed or vanished, a bar that left the window) go, missing
// ones are drawn.
void VsaDrawArrows(const int rates_total, const datetime &time[], const double &high[],
                   const double &low[])
  {
   for(int k = ObjectsTotal(0, 0, -1) - 1; k >= 0; k--)
     {
      string name = ObjectName(0, k, 0, -1);
      if(StringFind(name, VSA_PREFIX) != 0)
         continue;
      int bar = iBarShift(NULL, 0, (datetime)ObjectGetInteger(0, name, OBJPROP_TIME), true);
      if(bar < 0 || VsaWantedArrow(bar, time) != name)
         ObjectDelete(0, name);
     }
   for(int bar = 1; bar < rates_total; bar++)
     {
      string name = VsaWantedArrow(bar, time);
      if(name == "" || ObjectFind(0, name) >= 0)
         continue;
      int code = (int)Codes[bar];
      bool strength = code > 0;
      if(!ObjectCreate(0, name, strength ? OBJ_ARROW_UP : OBJ_ARROW_DOWN, 0, time[bar],
                       strength ? low[bar] : high[bar]))
         continue;
      ObjectSetInteger(0, name, OBJPROP_ANCHOR, strength ? ANCHOR_TOP : ANCHOR_BOTTOM);
      ObjectSetInteger(0, name, OBJPROP_COLOR, strength ? clrLimeGreen : clrRed);
      ObjectSetInteger(0, name, OBJPROP_WIDTH, 2);
      ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
      ObjectSetInteger(0, name, OBJPROP_HIDDEN, true);
      ObjectSetString(0, name, OBJPROP_TOOLTIP, VsaTooltip(code));
     }
  }

// One alert per bar: the bar at `shift` when it carries a shown signal and
// was not alerted yet. Shift 2 is judged with its next close (final); shift
// 1 without it (provisional: it can change or vanish at the next close).
void VsaAlertBar(const int shift, const datetime &time[], datetime &alerted, const bool provisional)
  {
   int code = (int)Codes[shift];
   if(code == 0 || !VsaShown(code) || time[shift] == alerted)
      return;
   alerted = time[shift];
   string text = Symbol() + " " + TimeToString(time[shift], TIME_DATE | TIME_MINUTES) + ": " +
                 (provisional ? "provisional " : "") + VsaTooltip(code);
   Alert(text);
   if(TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED))
      SendNotification(text);
  }

void VsaAlert(const datetime &time[], const int rates_total)
  {
   if(!AlertOnSignal || rates_total < 3)
      return;
   VsaAlertBar(2, time, AlertedBarTime, false);
   if(AlertProvisional)
      VsaAlertBar(1, time, AlertedProvisionalTime, true);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   if(rates_total < 1)
      return(0);
   // Index 0 is the forming bar, as MetaTrader 4 passes them; said outright
   // so nothing depends on the default.
   ArraySetAsSeries(time, true);
   ArraySetAsSeries(high, true);
   ArraySetAsSeries(low, true);
   ArraySetAsSeries(close, true);
   ArraySetAsSeries(tick_volume, true);
   ArraySetAsSeries(Codes, true);
   bool reload = (prev_calculated == 0);
   // The signals depend on closed bars only: a tick on the forming bar
   // changes nothing, a new bar or a reload of history recalculates.
   if(!reload && time[0] == FormingBarTime)
      return(rates_total);
   if(reload && DrawArrows)
      ObjectsDeleteAll(0, VSA_PREFIX);
   FormingBarTime = time[0];
   VsaAnalyse(rates_total, high, low, close, tick_volume);
   if(DrawArrows)
      VsaDrawArrows(rates_total, time, high, low);
   if(!reload && rates_total > 1)
      VsaAlert(time, rates_total);
   return(rates_total);
  }

// Opens the help window on the page of the signal an arrow shows.
void VsaShowHelp(string arrow)
  {
   if(IsDialogRunning() != 1)
      StartDialog();
   uchar bytes[];
   BarsightAnsi(arrow, bytes);
   ShowDialog(WindowOfChart(), bytes);
  }

void OnChartEvent(const int id, const long &lparam, const double &dparam, const string &sparam)
  {
   if(id == CHARTEVENT_OBJECT_CLICK && StringFind(sparam, VSA_PREFIX) == 0)
      VsaShowHelp(sparam);
  }

// HelpOnHover: the captured tooltips of the chart window; one equal to an
// arrow's tooltip opens that arrow's page.
void OnTimer()
  {
   if(HookHandle <= 0)
      return;
   string text;
   int result;
   for(int taken = 0; taken < 1000 && (result = BarsightNextTooltip(HookHandle, text)) != 0; taken++)
     {
      if(result != 1)
         continue;
      for(int k = ObjectsTotal(0, 0, -1) - 1; k >= 0; k--)
        {
         string name = ObjectName(0, k, 0, -1);
         if(StringFind(name, VSA_PREFIX) == 0 && ObjectGetString(0, name, OBJPROP_TOOLTIP) == text)
           {
            VsaShowHelp(name);
            break;
           }
        }
     }
  }

void OnDeinit(const int reason)
  {
   if(Instance > 0)
      RemoveFromChart(Instance);
   Instance = 0;
   if(DrawArrows)
      ObjectsDeleteAll(0, VSA_PREFIX);
   EventKillTimer();
   if(HookHandle > 0)
      UnsubclassWindow(HookHandle);
   HookHandle = 0;
   // One help window serves every chart: the last instance to go ends it,
   // unless the terminal brings the program straight back (a timeframe or
   // symbol switch, new inputs, a recompile, an account change): then the
   // window stays for the new instance. Any other reason, 0 and unknown
   // ones included, ends it.
   int why = UninitializeReason();
   bool returning = (why == REASON_CHARTCHANGE || why == REASON_PARAMETERS ||
                     why == REASON_RECOMPILE || why == REASON_ACCOUNT);
   if(Counted && DecRefCount() == 0 && !returning)
      KillDialog();
   Counted = false;
  }
//+------------------------------------------------------------------+
