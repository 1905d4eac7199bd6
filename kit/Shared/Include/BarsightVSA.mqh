//+------------------------------------------------------------------+
//| BarsightVSA.mqh: the body of BarsightVSA, shared by the MetaTrader |
//| 4 and 5 indicators (BarsightVSA.mq4, BarsightVSA.mq5): the engine |
//| feed, the arrows, labels and legend (with the background the     |
//| newest closed bar was judged against), the level lines, alerts   |
//| and help clicks. The program declares the inputs, includes       |
//| BarsightPlugin.mqh and BarsightSignals.mqh before this file, and |
//| defines VsaSetBuffers() (binding the four buffers is where the   |
//| two languages differ).                                           |
//+------------------------------------------------------------------+

// The engine is fed exactly as the MetaStock indicator feeds it: the
// application text, no signal on bar numbers up to the warm-up, a volume
// floor, the unknown next close (BarsightFeedPolicy.mqh, made from the
// engine's own statement of them).
#include <BarsightFeedPolicy.mqh>
#define VSA_PREFIX       "Barsight;"
#define VSA_LEGEND       "BarsightLegend;"
#define VSA_COPY         "BarsightCopy;"
// Push notifications: the terminal takes 2 a second and 10 a minute from
// all its charts together and drops the rest. Every copy of the indicator
// keeps one gap between notifications, counted through a terminal global
// variable, and holds back what comes sooner until the gap has passed.
#define VSA_NOTIFY_GAP_MS   6500
#define VSA_NOTIFY_LAST     "Barsight.NotifiedAt"
#define VSA_NOTIFY_LIMIT    255   // characters a notification holds
#define VSA_TIMER_MS        250
// The background the newest bar taken was judged against (BackgroundOf):
// ten values, shown as four legend rows under the signals' rows, and up to
// four level lines.
#define VSA_BACKGROUND_VALUES  10
#define VSA_TREND_SHORT         0   // 1 up, -1 down, 0 unclear (flat, or too few bars yet)
#define VSA_CLIMAX_SIDE         3   // 1 strength, -1 weakness, 0 none
#define VSA_CLIMAX_AGE          4   // bars ago, -1 for none
#define VSA_RANGE_SIDE          5   // 1 accumulation, -1 distribution, 0 none
#define VSA_RANGE_LOW           6   // prices: not a number where there is none
#define VSA_RANGE_HIGH          7
#define VSA_SUPPORT             8   // the nearest level below the close
#define VSA_RESISTANCE          9   // the nearest level above it
#define VSA_BACKGROUND_ROWS     4
#define VSA_LEVEL_LINES         4   // support, resistance, the range's low and high
// The arrow plots' glyphs: Wingdings up and down arrows, as the table gives
// the first signal of each side.
#define VSA_STRENGTH_GLYPH    233
#define VSA_WEAKNESS_GLYPH    234

double   Codes[];             // buffer 0: each closed bar's code, 0 for none
double   Confirmed[];         // buffer 1: the code once the next close is known
double   StrengthCodes[];     // buffer 2
double   WeaknessCodes[];     // buffer 3
// The drawn signals: the price of each shown signal's arrow (the bar's low
// for strength, its high for weakness), EMPTY_VALUE elsewhere. MetaTrader 4
// draws each side in one glyph and colour (a buffer has one of each);
// MetaTrader 5 gives every arrow its signal's colour through a colour
// index buffer (index VsaSideIndex, dimmed ones after the side's signals).
double   StrengthArrows[];
double   WeaknessArrows[];
double   StrengthShades[];    // MetaTrader 5 only
double   WeaknessShades[];
datetime FormingBarTime = 0;  // open time of the forming bar at the last calculation
datetime LastFedTime = 0;     // open time of the newest bar the engine has taken
int      Fed = 0;             // bars the engine instance has taken
datetime AlertedBarTime = 0;          // the last confirmed bar an alert was given for
datetime AlertedProvisionalTime = 0;  // the last provisional bar an alert was given for
int      Instance = 0;        // the chart's engine instance, kept from bar to bar
int      HookHandle = 0;      // the chart window's hook registration (HelpOnHover)
bool     Counted = false;     // this instance counted itself with IncRefCount
bool     VolumeWarned = false;  // the "no usable volume" warning was printed for this chart
bool     UseRealVolume = false; // MetaTrader 5, VolumeSource 1, and the symbol has real volume
datetime ObjTime[];           // the bars whose arrow objects are on the chart, oldest first,
int      ObjCode[];           // their codes and provisional state
bool     ObjDim[];
int      ObjCount = 0;
int      LegendFirst = -1;    // the visible range the legend was counted on
int      LegendShown = -1;
// This copy's names: the first copy on a chart draws "Barsight;...", the
// n-th "Barsight<n>;...", held by its marker object while it runs, so two
// copies (other inputs, or a timeframe switch that starts the new copy
// before the old one ends) never delete or move each other's objects.
string   VsaPrefix = VSA_PREFIX;
string   VsaLegendPrefix = VSA_LEGEND;
string   VsaMarker = "";
string   PendingNotification = "";  // signals held back until the gap between notifications has passed
int      PendingSignals = 0;        // how many
string   PendingNewest = "";        // the newest of them
double   Background[];              // the engine's background values, when HasBackground
bool     HasBackground = false;
double   LinePrice[];               // each level line as drawn (LineDrawn) at its price and colour
color    LineShade[];
bool     LineDrawn[];

string VsaTooltip(int code, bool provisional)
  {
   return(BarsightSignalName(code) + " (" + IntegerToString(code) + ")" +
          (provisional ? ", provisional" : ""));
  }

// "Barsight;SOS12;2024.03.01 00:00": the help window turns the part between
// the first two semicolons into the signal's page.
string VsaArrowName(int code, datetime barTime)
  {
   return(VsaPrefix + BarsightSignalPage(code) + ";" + TimeToString(barTime, TIME_DATE | TIME_MINUTES));
  }

bool VsaShown(int code)
  {
   return(((code > 0 && ShowStrength) || (code < 0 && ShowWeakness)) && BarsightSignalShown(code));
  }

// How many signals a side has, and a signal's place among its side's (in
// the table's order): its colour's index in the side's arrow plot.
int VsaSideCount(const bool strength)
  {
   int count = 0;
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
      if((BarsightSignalCode(index) > 0) == strength)
         count++;
   return(count);
  }

int VsaSideIndex(const int code)
  {
   int place = 0;
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
     {
      int other = BarsightSignalCode(index);
      if(other == code)
         return(place);
      if((other > 0) == (code > 0))
         place++;
     }
   return(0);
  }

int WindowOfChart()
  {
   return((int)ChartGetInteger(0, CHART_WINDOW_HANDLE));
  }

// The owner a marker names: this chart's ID. A template carries the
// objects of the chart it was saved on, markers included; their owner is
// another chart, so they never stand for a copy running here.
string VsaOwner()
  {
   return("chart " + IntegerToString(ChartID()));
  }

// Copy `n`'s names: the first copy on a chart draws "Barsight;...", the
// n-th "Barsight<n>;...".
string VsaCopyPrefix(const int n)
  {
   return((n == 1) ? VSA_PREFIX : "Barsight" + IntegerToString(n) + ";");
  }

string VsaCopyLegendPrefix(const int n)
  {
   return((n == 1) ? VSA_LEGEND : "BarsightLegend" + IntegerToString(n) + ";");
  }

// Takes the first free copy number on this chart (its marker object) and
// names this copy's objects by it. A marker of another owner (a template
// from another chart, or one saved before markers named their owner) and
// everything drawn under its number are stale: they go, and the number is
// free again.
void VsaClaimNames()
  {
   for(int n = 1; n <= 100; n++)
     {
      string marker = VSA_COPY + IntegerToString(n);
      if(ObjectFind(0, marker) >= 0)
        {
         if(ObjectGetString(0, marker, OBJPROP_TOOLTIP) == VsaOwner())
            continue;                          // another copy's, running on this chart
         ObjectsDeleteAll(0, VsaCopyPrefix(n));
         ObjectsDeleteAll(0, VsaCopyLegendPrefix(n));
         ObjectDelete(0, marker);
        }
      if(!ObjectCreate(0, marker, OBJ_LABEL, 0, 0, 0))
         continue;
      ObjectSetString(0, marker, OBJPROP_TEXT, " ");
      ObjectSetString(0, marker, OBJPROP_TOOLTIP, VsaOwner());
      ObjectSetInteger(0, marker, OBJPROP_SELECTABLE, false);
      ObjectSetInteger(0, marker, OBJPROP_HIDDEN, true);
      VsaMarker = marker;
      VsaPrefix = VsaCopyPrefix(n);
      VsaLegendPrefix = VsaCopyLegendPrefix(n);
      return;
     }
   Print("BarsightVSA: 100 copies on this chart already; this one draws nothing");
  }

// The timer serves the hover help and a notification held back.
void VsaTimerNeeded()
  {
   if(HookHandle > 0 || StringLen(PendingNotification) > 0)
      EventSetMillisecondTimer(VSA_TIMER_MS);
   else
      EventKillTimer();
  }

// Sends the held-back notification once the gap since the terminal's last
// one (from any chart) has passed.
void VsaFlushNotification()
  {
   if(StringLen(PendingNotification) == 0)
      return;
   if(!TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED))
     {
      PendingNotification = "";
      return;
     }
   double now = (double)GetTickCount();
   if(!GlobalVariableCheck(VSA_NOTIFY_LAST))
      GlobalVariableSet(VSA_NOTIFY_LAST, -VSA_NOTIFY_GAP_MS);
   double last = GlobalVariableGet(VSA_NOTIFY_LAST);
   if(now >= last && now - last < VSA_NOTIFY_GAP_MS)
      return;                                  // too soon (a wrapped tick count counts as long ago)
   // Charts of other symbols run in threads of their own in MetaTrader 5:
   // the gap is taken only if no other chart took it since the look above.
   if(!GlobalVariableSetOnCondition(VSA_NOTIFY_LAST, now, last))
      return;
   // Every signal held back, or when they do not fit a notification, how
   // many and the newest (the alert window lists them all).
   string text = Symbol() + " " + PendingNotification;
   if(StringLen(text) > VSA_NOTIFY_LIMIT)
      text = Symbol() + ": " + IntegerToString(PendingSignals) + " signals (see the alert window), newest " +
             PendingNewest;
   if(StringLen(text) > VSA_NOTIFY_LIMIT)
      text = StringSubstr(text, 0, VSA_NOTIFY_LIMIT);
   PendingNotification = "";
   PendingSignals = 0;
   PendingNewest = "";
   SendNotification(text);
  }

int OnInit()
  {
   if(!BarsightDllsAllowed("BarsightVSA"))
      return(INIT_FAILED);
   if(Periods < 1 || Periods > 10000)
     {
      Print("BarsightVSA: Periods must be 1 to 10000, not ", Periods);
      return(INIT_PARAMETERS_INCORRECT);
     }
#ifdef __MQL5__
   if(VolumeSource != 0 && VolumeSource != 1)
     {
      Print("BarsightVSA: VolumeSource must be 0 (tick volume) or 1 (real volume), not ", VolumeSource);
      return(INIT_PARAMETERS_INCORRECT);
     }
#endif
   VsaSetBuffers();  // the program's own: MQL4 and MQL5 bind buffers differently
   PendingNotification = "";
   if(DrawArrows)
      VsaClaimNames();
   IncRefCount();
   Counted = true;
   FormingBarTime = 0;
   if(HelpOnHover && DrawArrows)
     {
      int res = 0;
      HookHandle = SubclassWindow(WindowOfChart(), res);
      if(HookHandle > 0)
         VsaTimerNeeded();
      else
        {
         Print("BarsightVSA: the chart window cannot be hooked (", HookHandle, "); help opens on a click only");
         HookHandle = 0;
        }
     }
   return(INIT_SUCCEEDED);
  }

// Decides once per history which volume the engine takes, as the volume
// pane does: tick volume, or in MetaTrader 5 with VolumeSource 1 the real
// (exchange) volume when the symbol has any. One kind for every bar: a bar
// without real volume gives 0 (the engine's floor), never its tick volume.
void VsaChooseVolume(const int rates_total, const long &volume[])
  {
   UseRealVolume = false;
#ifdef __MQL5__
   if(VolumeSource != 1)
      return;
   for(int k = 0; k < rates_total && !UseRealVolume; k++)
      UseRealVolume = volume[k] > 0;
   if(!UseRealVolume)
      Print("BarsightVSA: ", Symbol(), " has no real volume: the signals take tick volume");
#endif
  }

long VsaVolumeAt(const int shift, const long &tick_volume[], const long &volume[])
  {
   return(UseRealVolume ? volume[shift] : tick_volume[shift]);
  }

// Every volume rule compares a bar's volume with others: with all
// volumes equal (or 0) no volume signal can fire. Said once per chart.
void VsaCheckVolume(const int fed, const long &tick_volume[], const long &volume[])
  {
   if(VolumeWarned || fed < 2)
      return;
   for(int bar = 2; bar <= fed; bar++)
      if(VsaVolumeAt(bar, tick_volume, volume) != VsaVolumeAt(1, tick_volume, volume))
         return;
   VolumeWarned = true;
   Print("no usable volume on ", Symbol(), ": volume signals cannot fire");
  }

// Stores the engine's answer for the bar at `shift`, the engine's `number`-th
// bar (counting from 0), in the four code buffers, and its arrow (when the
// signal is shown) in the drawn ones: dimmer while provisional (shift 1).
void VsaStore(const int shift, const int number, const int raw, const double low, const double high)
  {
   int code = (number > BARSIGHT_WARM_UP_LIMIT) ? SignFilter(raw) : 0;
   bool confirmed = shift >= 2;
   Codes[shift] = code;
   Confirmed[shift] = confirmed ? code : 0;
   StrengthCodes[shift] = (confirmed && code > 0) ? code : 0;
   WeaknessCodes[shift] = (confirmed && code < 0) ? code : 0;
   bool drawn = DrawArrows && code != 0 && VsaShown(code);
   StrengthArrows[shift] = (drawn && code > 0) ? low : EMPTY_VALUE;
   WeaknessArrows[shift] = (drawn && code < 0) ? high : EMPTY_VALUE;
#ifdef __MQL5__
   double shade = EMPTY_VALUE;
   if(drawn)
      shade = VsaSideIndex(code) + (confirmed ? 0 : VsaSideCount(code > 0));
   StrengthShades[shift] = (code > 0) ? shade : EMPTY_VALUE;
   WeaknessShades[shift] = (code < 0) ? shade : EMPTY_VALUE;
#endif
  }

// The engine takes the closed bar at `shift`; its next close is known unless
// it is the newest closed bar.
void VsaFeed(const int shift, const datetime &time[], const double &high[], const double &low[],
             const double &close[], const long &tick_volume[], const long &volume[])
  {
   double taken = (double)VsaVolumeAt(shift, tick_volume, volume);
   if(taken < BARSIGHT_VOLUME_FLOOR)
      taken = BARSIGHT_FLOORED_VOLUME;
   double next = (shift > 1) ? close[shift - 1] : BARSIGHT_NO_NEXT_CLOSE;
   int raw = AnalysePosn(Instance, Fed - 1, Fed + 2.0, close[shift], high[shift], low[shift],
                         close[shift], taken, next, 0);
   VsaStore(shift, Fed, raw, low[shift], high[shift]);
   Fed++;
   LastFedTime = time[shift];
  }

// A fresh engine instance takes the newest MaxBars closed bars (all when
// MaxBars is 0), oldest first. Bars before them keep 0.
void VsaStart(const int rates_total, const datetime &time[], const double &high[], const double &low[],
              const double &close[], const long &tick_volume[], const long &volume[])
  {
   if(Instance > 0)
      RemoveFromChart(Instance);
   Instance = 0;
   Fed = 0;
   LastFedTime = 0;
   ArrayInitialize(Codes, 0.0);
   ArrayInitialize(Confirmed, 0.0);
   ArrayInitialize(StrengthCodes, 0.0);
   ArrayInitialize(WeaknessCodes, 0.0);
   ArrayInitialize(StrengthArrows, EMPTY_VALUE);
   ArrayInitialize(WeaknessArrows, EMPTY_VALUE);
#ifdef __MQL5__
   ArrayInitialize(StrengthShades, EMPTY_VALUE);
   ArrayInitialize(WeaknessShades, EMPTY_VALUE);
#endif
   int fed = rates_total - 1;                  // every bar but the forming one
   if(MaxBars > 0 && fed > MaxBars)
      fed = MaxBars;
   if(fed < 1)
      return;
   Instance = BarsightAddToChart(BARSIGHT_CHART_APPLICATION, Symbol(), Periods);
   if(Instance <= 0)
     {
      Print("BarsightVSA: the engine refused an instance (", Instance, ")");
      Instance = 0;
      return;
     }
   VsaChooseVolume(rates_total, volume);
   VsaCheckVolume(fed, tick_volume, volume);
   for(int shift = fed; shift >= 1; shift--)
      VsaFeed(shift, time, high, low, close, tick_volume, volume);
  }

// `arrived` bars closed since the last calculation: the newest bar the
// engine took (now at shift arrived + 1) is judged again with its next
// close, then the new bars are taken. Two engine calls for one new bar.
void VsaExtend(const int arrived, const datetime &time[], const double &high[], const double &low[],
               const double &close[], const long &tick_volume[], const long &volume[])
  {
   int raw = AnalysePosn(Instance, Fed - 2, Fed + 1.0, 0, 0, 0, 0, 0, close[arrived], 1);
   VsaStore(arrived + 1, Fed - 1, raw, low[arrived + 1], high[arrived + 1]);
   for(int shift = arrived; shift >= 1; shift--)
      VsaFeed(shift, time, high, low, close, tick_volume, volume);
  }

// How many bars closed since the engine took its newest bar, or -1 when
// that bar is no longer where a new bar would have pushed it (history was
// reloaded or changed): then everything starts again.
int VsaArrived(const int rates_total, const datetime &time[])
  {
   if(Instance <= 0 || LastFedTime == 0)
      return(-1);
   int shift = 1;
   while(shift < rates_total && time[shift] > LastFedTime)
      shift++;
   if(shift >= rates_total || time[shift] != LastFedTime)
      return(-1);
   return(shift - 1);
  }

// The arrow object (and label) of one signal: dimmer while provisional.
// The buffers draw every arrow; the objects add the signal's own glyph, its
// label, a tooltip and a help click.
void VsaDrawObject(const datetime barTime, const int code, const bool provisional, const double price)
  {
   bool strength = code > 0;
   color shade = BarsightSignalColor(code);
   if(provisional)
      shade = BarsightDimmed(shade);
   shade = BarsightOnChart(shade, BarsightBackground());
   string name = VsaArrowName(code, barTime);
   if(!ObjectCreate(0, name, OBJ_ARROW, 0, barTime, price))
      return;
   ObjectSetInteger(0, name, OBJPROP_ARROWCODE, BarsightSignalGlyph(code));
   ObjectSetInteger(0, name, OBJPROP_ANCHOR, strength ? ANCHOR_TOP : ANCHOR_BOTTOM);
   ObjectSetInteger(0, name, OBJPROP_COLOR, shade);
   ObjectSetInteger(0, name, OBJPROP_WIDTH, 2);
   ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
   ObjectSetInteger(0, name, OBJPROP_HIDDEN, true);
   ObjectSetString(0, name, OBJPROP_TOOLTIP, VsaTooltip(code, provisional));
   if(!ShowLabels)
      return;
   // The label starts right of the arrow (the spaces clear the glyph), on
   // the same side of the bar.
   string label = name + ";label";
   if(!ObjectCreate(0, label, OBJ_TEXT, 0, barTime, price))
      return;
   ObjectSetString(0, label, OBJPROP_TEXT, "    " + BarsightSignalLabel(code));
   ObjectSetInteger(0, label, OBJPROP_ANCHOR, strength ? ANCHOR_LEFT_UPPER : ANCHOR_LEFT_LOWER);
   ObjectSetInteger(0, label, OBJPROP_COLOR, shade);
   ObjectSetInteger(0, label, OBJPROP_FONTSIZE, 7);
   ObjectSetInteger(0, label, OBJPROP_SELECTABLE, false);
   ObjectSetInteger(0, label, OBJPROP_HIDDEN, true);
   ObjectSetString(0, label, OBJPROP_TOOLTIP, VsaTooltip(code, provisional));
  }

void VsaDeleteObject(const datetime barTime, const int code)
  {
   string name = VsaArrowName(code, barTime);
   ObjectDelete(0, name);
   ObjectDelete(0, name + ";label");
  }

// The bars (shifts) that carry arrow objects: the visible ones
// (VisibleObjectsOnly), else every bar the engine took.
void VsaObjectRange(int &newest, int &oldest)
  {
   newest = 1;
   oldest = Fed;
   if(!VisibleObjectsOnly)
      return;
   int first = (int)ChartGetInteger(0, CHART_FIRST_VISIBLE_BAR);
   int shown = (int)ChartGetInteger(0, CHART_VISIBLE_BARS);
   if(first < oldest)
      oldest = first;
   if(first - shown + 1 > newest)
      newest = first - shown + 1;
  }

// Brings the arrow objects to the bars of VsaObjectRange: objects of bars
// that left it, or whose signal or provisional state changed, go; the
// missing ones are drawn. Both lists run oldest first, so one pass merges
// them, and a chart analysed whole holds objects for its visible bars only.
void VsaDrawObjects()
  {
   if(!DrawArrows)
      return;
   int newest, oldest;
   VsaObjectRange(newest, oldest);
   int room = (oldest >= newest) ? oldest - newest + 1 : 0;
   datetime wantTime[];
   int      wantCode[];
   bool     wantDim[];
   double   wantPrice[];
   ArrayResize(wantTime, room);
   ArrayResize(wantCode, room);
   ArrayResize(wantDim, room);
   ArrayResize(wantPrice, room);
   int wanted = 0;
   for(int shift = oldest; shift >= newest; shift--)
     {
      int code = (int)Codes[shift];
      if(code == 0 || !VsaShown(code))
         continue;
      wantTime[wanted] = iTime(Symbol(), PERIOD_CURRENT, shift);
      wantCode[wanted] = code;
      wantDim[wanted] = (shift == 1);
      wantPrice[wanted] = (code > 0) ? StrengthArrows[shift] : WeaknessArrows[shift];
      wanted++;
     }
   int i = 0, j = 0;
   while(i < ObjCount || j < wanted)
     {
      if(j >= wanted || (i < ObjCount && ObjTime[i] < wantTime[j]))
        {
         VsaDeleteObject(ObjTime[i], ObjCode[i]);
         i++;
        }
      else if(i >= ObjCount || wantTime[j] < ObjTime[i])
        {
         VsaDrawObject(wantTime[j], wantCode[j], wantDim[j], wantPrice[j]);
         j++;
        }
      else
        {
         if(ObjCode[i] != wantCode[j] || ObjDim[i] != wantDim[j])
           {
            VsaDeleteObject(ObjTime[i], ObjCode[i]);
            VsaDrawObject(wantTime[j], wantCode[j], wantDim[j], wantPrice[j]);
           }
         i++;
         j++;
        }
     }
   ArrayResize(ObjTime, wanted);
   ArrayResize(ObjCode, wanted);
   ArrayResize(ObjDim, wanted);
   for(int k = 0; k < wanted; k++)
     {
      ObjTime[k] = wantTime[k];
      ObjCode[k] = wantCode[k];
      ObjDim[k] = wantDim[k];
     }
   ObjCount = wanted;
  }

// The legend's objects go by name: a search by prefix would visit every
// arrow of a long chart at each new bar.
void VsaDeleteLegend()
  {
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
     {
      string page = BarsightSignalPage(BarsightSignalCode(index));
      ObjectDelete(0, VsaLegendPrefix + page + ";glyph");
      ObjectDelete(0, VsaLegendPrefix + page + ";text");
     }
   ObjectDelete(0, VsaVolumeRowName());
  }

string VsaVolumeRowName()
  {
   return(VsaLegendPrefix + "background;volume");
  }

// With VolumeSource 1 (MetaTrader 5) the legend says which volume the
// signals took: the symbol's real volume, or tick volume when it has none.
string VsaVolumeText()
  {
#ifdef __MQL5__
   if(VolumeSource == 1)
      return(UseRealVolume ? "Volume: real" : "Volume: tick (" + Symbol() + " has no real volume)");
#endif
   return("");
  }

// The legend in the chart's lower left corner: one row per signal present
// on the visible bars (and shown), with its glyph, label, name and count.
// Counted again only when the visible range or the bars change.
void VsaLegend(const bool changed)
  {
   if(!ShowLegend || !DrawArrows)
      return;
   int first = (int)ChartGetInteger(0, CHART_FIRST_VISIBLE_BAR);
   int shown = (int)ChartGetInteger(0, CHART_VISIBLE_BARS);
   if(!changed && first == LegendFirst && shown == LegendShown)
      return;
   LegendFirst = first;
   LegendShown = shown;
   VsaDeleteLegend();
   int counts[BARSIGHT_SIGNAL_COUNT];
   ArrayInitialize(counts, 0);
   int oldest = first;
   if(oldest > ArraySize(Codes) - 1)
      oldest = ArraySize(Codes) - 1;
   int newest = first - shown + 1;
   if(newest < 1)
      newest = 1;
   for(int shift = newest; shift <= oldest; shift++)
     {
      int code = (int)Codes[shift];
      int index = BarsightSignalIndex(code);
      if(index >= 0 && VsaShown(code))
         counts[index]++;
     }
   int row = VSA_BACKGROUND_ROWS;             // the background's rows are at the bottom
   color background = BarsightBackground();
   for(int index = BARSIGHT_SIGNAL_COUNT - 1; index >= 0; index--)
     {
      if(counts[index] == 0)
         continue;
      int code = BarsightSignalCode(index);
      string page = BarsightSignalPage(code);
      string glyph = VsaLegendPrefix + page + ";glyph";
      int y = BarsightScaled(8 + 14 * row);
      row++;
      if(ObjectCreate(0, glyph, OBJ_LABEL, 0, 0, 0))
        {
         ObjectSetInteger(0, glyph, OBJPROP_CORNER, CORNER_LEFT_LOWER);
         ObjectSetInteger(0, glyph, OBJPROP_ANCHOR, ANCHOR_LEFT_LOWER);
         ObjectSetInteger(0, glyph, OBJPROP_XDISTANCE, BarsightScaled(8));
         ObjectSetInteger(0, glyph, OBJPROP_YDISTANCE, y);
         ObjectSetString(0, glyph, OBJPROP_FONT, "Wingdings");
         ObjectSetInteger(0, glyph, OBJPROP_FONTSIZE, 9);
         ObjectSetString(0, glyph, OBJPROP_TEXT, CharToString((uchar)BarsightSignalGlyph(code)));
         ObjectSetInteger(0, glyph, OBJPROP_COLOR, BarsightOnChart(BarsightSignalColor(code), background));
         ObjectSetInteger(0, glyph, OBJPROP_SELECTABLE, false);
         ObjectSetInteger(0, glyph, OBJPROP_HIDDEN, true);
         ObjectSetString(0, glyph, OBJPROP_TOOLTIP, BarsightSignalName(code) + ": click for its help page");
        }
      VsaLegendText(VsaLegendPrefix + page + ";text", 26, y, BarsightSignalLabel(code) + "  " + BarsightSignalName(code) + ": " +
                    IntegerToString(counts[index]), BarsightSignalName(code) + ": click for its help page");
     }
   string volumeText = VsaVolumeText();
   if(StringLen(volumeText) > 0)
      VsaLegendText(VsaVolumeRowName(), 8, BarsightScaled(8 + 14 * row), volumeText,
                    "The volume the signals were computed from (VolumeSource)");
  }

// A legend row's text at `x` (pixels at 100%) and height `y`: made when
// missing, else given the new text.
void VsaLegendText(const string name, const int x, const int y, const string text, const string tooltip)
  {
   if(ObjectFind(0, name) < 0 && !ObjectCreate(0, name, OBJ_LABEL, 0, 0, 0))
      return;
   ObjectSetInteger(0, name, OBJPROP_CORNER, CORNER_LEFT_LOWER);
   ObjectSetInteger(0, name, OBJPROP_ANCHOR, ANCHOR_LEFT_LOWER);
   ObjectSetInteger(0, name, OBJPROP_XDISTANCE, BarsightScaled(x));
   ObjectSetInteger(0, name, OBJPROP_YDISTANCE, y);
   ObjectSetString(0, name, OBJPROP_FONT, "Arial");
   ObjectSetInteger(0, name, OBJPROP_FONTSIZE, 8);
   ObjectSetString(0, name, OBJPROP_TEXT, text);
   ObjectSetInteger(0, name, OBJPROP_COLOR, BarsightOnChart(BarsightTextColor(TextColor), BarsightBackground()));
   ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
   ObjectSetInteger(0, name, OBJPROP_HIDDEN, true);
   ObjectSetString(0, name, OBJPROP_TOOLTIP, tooltip);
  }

// A price in the symbol's digits, or "none" when the engine has none.
string VsaPrice(const double price)
  {
   if(!MathIsValidNumber(price))
      return("none");
   return(DoubleToString(price, (int)SymbolInfoInteger(Symbol(), SYMBOL_DIGITS)));
  }

string VsaTrendWord(const double trend)
  {
   if(trend > 0)
      return("up");
   return((trend < 0) ? "down" : "unclear");
  }

// The background row `row` (0 the top one) in plain words:
//   Trend: short up, intermediate down, long up
//   Last climax: strength, 5 bars ago              (or none)
//   Range: accumulation 1.05100 to 1.07200         (or none)
//   Levels: support 1.04900, resistance 1.07600    (or none)
string VsaBackgroundText(const int row)
  {
   if(row == 0)
      return("Trend: short " + VsaTrendWord(Background[VSA_TREND_SHORT]) + ", intermediate " +
             VsaTrendWord(Background[VSA_TREND_SHORT + 1]) + ", long " + VsaTrendWord(Background[VSA_TREND_SHORT + 2]));
   if(row == 1)
     {
      double side = Background[VSA_CLIMAX_SIDE];
      int age = (int)Background[VSA_CLIMAX_AGE];
      if(side == 0)
         return("Last climax: none");
      string text = "Last climax: " + ((side > 0) ? "strength" : "weakness");
      if(age == 1)
         return(text + ", 1 bar ago");
      return((age >= 0) ? text + ", " + IntegerToString(age) + " bars ago" : text);
     }
   if(row == 2)
     {
      double side = Background[VSA_RANGE_SIDE];
      if(side == 0)
         return("Range: none");
      string text = "Range: " + ((side > 0) ? "accumulation" : "distribution");
      bool low = MathIsValidNumber(Background[VSA_RANGE_LOW]), high = MathIsValidNumber(Background[VSA_RANGE_HIGH]);
      if(low && high)
         return(text + " " + VsaPrice(Background[VSA_RANGE_LOW]) + " to " + VsaPrice(Background[VSA_RANGE_HIGH]));
      if(low)
         return(text + " from " + VsaPrice(Background[VSA_RANGE_LOW]));
      return(high ? text + " up to " + VsaPrice(Background[VSA_RANGE_HIGH]) : text);
     }
   if(!MathIsValidNumber(Background[VSA_SUPPORT]) && !MathIsValidNumber(Background[VSA_RESISTANCE]))
      return("Levels: none");
   return("Levels: support " + VsaPrice(Background[VSA_SUPPORT]) + ", resistance " +
          VsaPrice(Background[VSA_RESISTANCE]));
  }

string VsaBackgroundRowName(const int row)
  {
   string what = (row == 0) ? "trend" : (row == 1) ? "climax" : (row == 2) ? "range" : "levels";
   return(VsaLegendPrefix + "background;" + what);
  }

// Reads the background the engine judged its newest bar against; false
// (and HasBackground false) when there is no instance or it gives none.
bool VsaReadBackground()
  {
   HasBackground = false;
   if(Instance <= 0 || ArrayResize(Background, VSA_BACKGROUND_VALUES) != VSA_BACKGROUND_VALUES)
      return(false);
   HasBackground = BackgroundOf(Instance, Background, VSA_BACKGROUND_VALUES) == VSA_BACKGROUND_VALUES;
   return(HasBackground);
  }

// The background's rows at the bottom of the legend, under the signals'
// rows; none while the engine gives no background.
void VsaBackgroundRows()
  {
   if(!ShowLegend || !DrawArrows)
      return;
   for(int row = 0; row < VSA_BACKGROUND_ROWS; row++)
     {
      string name = VsaBackgroundRowName(row);
      if(!HasBackground)
        {
         ObjectDelete(0, name);
         continue;
        }
      VsaLegendText(name, 8, BarsightScaled(8 + 14 * (VSA_BACKGROUND_ROWS - 1 - row)), VsaBackgroundText(row),
                    "The background the newest closed bar was judged against");
     }
  }

string VsaLineName(const int line)
  {
   string what = (line == 0) ? "support" : (line == 1) ? "resistance" : (line == 2) ? "range low" : "range high";
   return(VsaPrefix + "level;" + what);
  }

// The level lines are gone from the chart (all of this copy's objects were
// deleted): the next VsaLevelLines draws them again.
void VsaForgetLines()
  {
   ArrayResize(LineDrawn, VSA_LEVEL_LINES);
   ArrayResize(LinePrice, VSA_LEVEL_LINES);
   ArrayResize(LineShade, VSA_LEVEL_LINES);
   for(int line = 0; line < VSA_LEVEL_LINES; line++)
      LineDrawn[line] = false;
  }

// Dotted thin lines at the support and resistance (grey) and at the range's
// low and high (the colour of the climax that starts such a range); a line
// is drawn again only when its price or colour changed.
void VsaLevelLines()
  {
   if(!ShowLevels || !DrawArrows)
      return;
   if(ArraySize(LineDrawn) != VSA_LEVEL_LINES)
      VsaForgetLines();
   color background = BarsightBackground();
   for(int line = 0; line < VSA_LEVEL_LINES; line++)
     {
      double price = EMPTY_VALUE;
      color shade = BarsightOnChart(clrGray, background);
      string tooltip = "";
      if(HasBackground && line < 2)
        {
         price = Background[(line == 0) ? VSA_SUPPORT : VSA_RESISTANCE];
         tooltip = ((line == 0) ? "Support " : "Resistance ") + VsaPrice(price);
        }
      else if(HasBackground && Background[VSA_RANGE_SIDE] != 0)
        {
         bool accumulation = Background[VSA_RANGE_SIDE] > 0;
         price = Background[(line == 2) ? VSA_RANGE_LOW : VSA_RANGE_HIGH];
         shade = BarsightOnChart(BarsightSignalColor(accumulation ? BARSIGHT_SELLING_CLIMAX : BARSIGHT_BUYING_CLIMAX),
                                 background);
         tooltip = (accumulation ? "Accumulation" : "Distribution") + " range " +
                   ((line == 2) ? "low " : "high ") + VsaPrice(price);
        }
      bool shown = price != EMPTY_VALUE && MathIsValidNumber(price);
      if(shown == LineDrawn[line] && (!shown || (price == LinePrice[line] && shade == LineShade[line])))
         continue;
      string name = VsaLineName(line);
      ObjectDelete(0, name);
      LineDrawn[line] = false;
      if(!shown || !ObjectCreate(0, name, OBJ_HLINE, 0, 0, price))
         continue;
      ObjectSetInteger(0, name, OBJPROP_COLOR, shade);
      ObjectSetInteger(0, name, OBJPROP_STYLE, STYLE_DOT);
      ObjectSetInteger(0, name, OBJPROP_WIDTH, 1);
      ObjectSetInteger(0, name, OBJPROP_BACK, true);
      ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
      ObjectSetInteger(0, name, OBJPROP_HIDDEN, true);
      ObjectSetString(0, name, OBJPROP_TOOLTIP, tooltip);
      LineDrawn[line] = true;
      LinePrice[line] = price;
      LineShade[line] = shade;
     }
  }

// After new bars: the background of the newest, in the legend and as lines.
void VsaBackgroundShown()
  {
   if(!DrawArrows || (!ShowLegend && !ShowLevels))
      return;
   VsaReadBackground();
   VsaBackgroundRows();
   VsaLevelLines();
  }

// The alert text of the bar at `shift` when it carries a shown signal and
// was not alerted yet ("" otherwise). Shift 2 is judged with its next
// close (final); shift 1 without it (provisional: it can change or vanish
// at the next close).
string VsaAlertBar(const int shift, const datetime &time[], datetime &alerted, const bool provisional)
  {
   int code = (int)Codes[shift];
   if(code == 0 || !VsaShown(code) || time[shift] == alerted)
      return("");
   alerted = time[shift];
   return(TimeToString(time[shift], TIME_DATE | TIME_MINUTES) + ": " + (provisional ? "provisional " : "") +
          VsaTooltip(code, false));
  }

// After `arrived` new bars, the bars from shift arrived + 1 down to 2
// became final (more than one after a disconnection), then the newest
// closed bar's provisional signal: all of them in one alert and one
// notification, oldest first ("SYMBOL date: signal; date: signal").
void VsaAlert(const datetime &time[], const int rates_total, const int arrived)
  {
   if(!AlertOnSignal || rates_total < 3)
      return;
   int oldest = arrived + 1;
   if(oldest > rates_total - 1)
      oldest = rates_total - 1;
   string text = "", newest = "";
   int signals = 0;
   for(int shift = oldest; shift >= 1; shift--)
     {
      if(shift == 1 && !AlertProvisional)
         break;
      string part = (shift == 1) ? VsaAlertBar(1, time, AlertedProvisionalTime, true)
                                 : VsaAlertBar(shift, time, AlertedBarTime, false);
      if(StringLen(part) == 0)
         continue;
      text = text + (StringLen(text) > 0 ? "; " : "") + part;
      newest = part;
      signals++;
     }
   if(signals == 0)
      return;
   Alert(Symbol() + " " + text);
   if(!TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED))
      return;
   // Signals still held back get this calculation's added: none is lost.
   PendingNotification = (StringLen(PendingNotification) > 0) ? PendingNotification + "; " + text : text;
   PendingSignals += signals;
   PendingNewest = newest;
   VsaFlushNotification();
   VsaTimerNeeded();
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   if(rates_total < 1)
      return(0);
   // Index 0 is the forming bar: MetaTrader 4 passes them so, MetaTrader 5
   // the other way round; said outright so both read the same.
   ArraySetAsSeries(time, true);
   ArraySetAsSeries(high, true);
   ArraySetAsSeries(low, true);
   ArraySetAsSeries(close, true);
   ArraySetAsSeries(tick_volume, true);
   ArraySetAsSeries(volume, true);
   ArraySetAsSeries(Codes, true);
   ArraySetAsSeries(Confirmed, true);
   ArraySetAsSeries(StrengthCodes, true);
   ArraySetAsSeries(WeaknessCodes, true);
   ArraySetAsSeries(StrengthArrows, true);
   ArraySetAsSeries(WeaknessArrows, true);
#ifdef __MQL5__
   ArraySetAsSeries(StrengthShades, true);
   ArraySetAsSeries(WeaknessShades, true);
#endif
   bool reload = (prev_calculated == 0);
   // The signals depend on closed bars only: a tick on the forming bar
   // changes nothing.
   if(!reload && time[0] == FormingBarTime)
      return(rates_total);
   FormingBarTime = time[0];
   int arrived = reload ? -1 : VsaArrived(rates_total, time);
   if(arrived < 0)
     {
      if(DrawArrows)
        {
         ObjectsDeleteAll(0, VsaPrefix);
         ObjCount = 0;
         VsaForgetLines();
        }
      VsaStart(rates_total, time, high, low, close, tick_volume, volume);
      VsaDrawObjects();
     }
   else if(arrived > 0)
     {
      VsaExtend(arrived, time, high, low, close, tick_volume, volume);
      VsaDrawObjects();
     }
   // The forming bar carries no signal in any buffer.
   Codes[0] = Confirmed[0] = StrengthCodes[0] = WeaknessCodes[0] = 0;
   StrengthArrows[0] = WeaknessArrows[0] = EMPTY_VALUE;
   if(arrived != 0)
      VsaBackgroundShown();
   VsaLegend(true);
   if(arrived > 0)
      VsaAlert(time, rates_total, arrived);
   return(rates_total);
  }

// Opens the help window on the page of the signal an arrow shows.
void VsaShowHelp(string arrow)
  {
   if(IsDialogRunning() != 1)
      StartDialog();
   BarsightShowHelpBeside(WindowOfChart(), arrow);
  }

void OnChartEvent(const int id, const long &lparam, const double &dparam, const string &sparam)
  {
   // The background's rows and lines have no help page of their own.
   bool background = StringFind(sparam, VsaPrefix + "level;") == 0 ||
                     StringFind(sparam, VsaLegendPrefix + "background;") == 0;
   if(id == CHARTEVENT_OBJECT_CLICK && DrawArrows && !background &&
      (StringFind(sparam, VsaPrefix) == 0 || StringFind(sparam, VsaLegendPrefix) == 0))
      VsaShowHelp(sparam);
   if(id == CHARTEVENT_CHART_CHANGE)
     {
      // Scrolled or zoomed: the visible bars changed.
      if(VisibleObjectsOnly && Fed > 0)
         VsaDrawObjects();
      VsaLegend(false);
     }
  }

// The signal whose arrow tooltip this is (VsaTooltip's text), or 0: the
// page follows from the text, so no chart object needs to be looked at.
int VsaTooltipCode(const string text)
  {
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
     {
      int code = BarsightSignalCode(index);
      if(text == VsaTooltip(code, false) || text == VsaTooltip(code, true))
         return(code);
     }
   return(0);
  }

// HelpOnHover: the captured tooltips of the chart window; one of an arrow
// opens that signal's page. The timer also sends a held-back notification.
void OnTimer()
  {
   VsaFlushNotification();
   if(HookHandle > 0)
     {
      string text;
      int result;
      for(int taken = 0; taken < 1000 && (result = BarsightNextTooltip(HookHandle, text)) != 0; taken++)
        {
         int code = (result == 1) ? VsaTooltipCode(text) : 0;
         if(code != 0)
            VsaShowHelp(VsaPrefix + BarsightSignalPage(code) + ";");
        }
     }
   VsaTimerNeeded();
  }

void OnDeinit(const int reason)
  {
   if(Instance > 0)
      RemoveFromChart(Instance);
   Instance = 0;
   Fed = 0;
   LastFedTime = 0;
   int why = UninitializeReason();
   // This copy's objects go, whatever the reason: they carry its own names,
   // so a new copy (MetaTrader 5 may start it before this OnDeinit on a
   // timeframe switch) keeps its own.
   if(DrawArrows && StringLen(VsaMarker) > 0)
     {
      ObjectsDeleteAll(0, VsaPrefix);
      ObjectsDeleteAll(0, VsaLegendPrefix);
      ObjectDelete(0, VsaMarker);
     }
   VsaForgetLines();
   ObjCount = 0;
   HasBackground = false;
   VsaMarker = "";
   // A notification still held back goes now if the gap allows, else with
   // the alert window's record only.
   VsaFlushNotification();
   PendingNotification = "";
   PendingSignals = 0;
   EventKillTimer();
   if(HookHandle > 0)
      UnsubclassWindow(HookHandle);
   HookHandle = 0;
   // One help window serves every chart: the last instance to go ends it,
   // unless the terminal brings the program straight back (a timeframe or
   // symbol switch, new inputs, a recompile, an account change): then the
   // window stays for the new instance. Any other reason, 0 and unknown
   // ones included, ends it.
   bool returning = (why == REASON_CHARTCHANGE || why == REASON_PARAMETERS ||
                     why == REASON_RECOMPILE || why == REASON_ACCOUNT);
   if(Counted && DecRefCount() == 0 && !returning)
      KillDialog();
   Counted = false;
  }
//+------------------------------------------------------------------+
