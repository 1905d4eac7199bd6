//+------------------------------------------------------------------+
//| BarsightVolume.mqh: the body of BarsightVolume, shared by the     |
//| MetaTrader 4 and 5 volume panes: the input check, the volume      |
//| classes and the calculation. The program declares Colouring,      |
//| AveragePeriod, MaxBars and PaintBars (MetaTrader 5 also           |
//| VolumeSource), includes BarsightVolumeColor.mqh,                  |
//| BarsightSignalTable.mqh and BarsightSignals.mqh before this file  |
//| (no DLL import) and binds and styles the nine buffers in OnInit.  |
//+------------------------------------------------------------------+

#define VOLUME_UP_DOWN 0
#define VOLUME_CLASSES 1
#define VOLUME_BUFFERS 9
#define VOLUME_AVERAGE 5              // the average line's buffer (as before the classes grew)
#define VOLUME_PAINT   "BarsightBars;" // the price bars painted in their class colour
#define VOLUME_DEFAULT_PERIOD 20
#define VOLUME_PAINT_MAX 1000          // the newest price bars PaintBars paints at most (each is an object)

// The histograms (each bar in exactly one) and the average line. Up/down
// colouring: 0 low, 1 down, 2 up, 3 unchanged. Volume classes: 0 low,
// 1 normal, 2 high, 3 climax on an up bar, 4 churn, 6 climax on a down bar,
// 7 climax churn, 8 low-volume churn. 5 is the average.
double Class0[], Class1[], Class2[], Class3[], Class4[], Average[], Class6[], Class7[], Class8[];
bool   UseRealVolume = false;  // MetaTrader 5, VolumeSource 1, and the symbol has real volume

// False (with the reason printed) for inputs the pane cannot work with.
bool VolumeInputsValid()
  {
   if(Colouring != VOLUME_UP_DOWN && Colouring != VOLUME_CLASSES)
     {
      Print("BarsightVolume: Colouring must be 0 (up/down bars) or 1 (volume classes), not ", Colouring);
      return(false);
     }
   if(AveragePeriod < 0 || AveragePeriod > 10000)
     {
      Print("BarsightVolume: AveragePeriod must be 0 to 10000, not ", AveragePeriod);
      return(false);
     }
   if(MaxBars < 0)
     {
      Print("BarsightVolume: MaxBars must be 0 (all bars) or more, not ", MaxBars);
      return(false);
     }
   UseRealVolume = false;
   return(true);
  }

// The colour of each buffer under the chosen colouring, as it is drawn on
// this chart's background (darkened on a light chart).
color VolumeColor(const int buffer)
  {
   return(BarsightOnChart(VolumeBaseColor(buffer), BarsightBackground()));
  }

// The colour of each buffer on a dark chart, and its Data Window name.
color VolumeBaseColor(const int buffer)
  {
   if(Colouring == VOLUME_UP_DOWN)
     {
      switch(buffer)
        {
         case 0: return(clrSilver);
         case 1: return(clrRed);
         case 2: return(clrGreen);
         case 3: return(clrBlue);
        }
      return(clrNONE);
     }
   switch(buffer)
     {
      case 0: return(clrDimGray);
      case 1: return(clrSteelBlue);
      case 2: return(clrOrange);
      case 3: return(clrLimeGreen);
      case 4: return(clrYellow);
      case 6: return(clrRed);
      case 7: return(clrMagenta);
      case 8: return(clrSlateGray);
     }
   return(clrNONE);
  }

string VolumeLabel(const int buffer)
  {
   if(Colouring == VOLUME_UP_DOWN)
     {
      switch(buffer)
        {
         case 0: return("Low volume");
         case 1: return("Down volume");
         case 2: return("Up volume");
         case 3: return("Unchanged");
        }
      return("");
     }
   switch(buffer)
     {
      case 0: return("Low volume");
      case 1: return("Normal volume");
      case 2: return("High volume");
      case 3: return("Climax up");
      case 4: return("Churn");
      case 6: return("Climax down");
      case 7: return("Climax churn");
      case 8: return("Low-volume churn");
     }
   return("");
  }

// Whether buffer `buffer` is a histogram under the chosen colouring.
bool VolumeDrawn(const int buffer)
  {
   if(buffer == VOLUME_AVERAGE)
      return(AveragePeriod > 0);
   return(StringLen(VolumeLabel(buffer)) > 0);
  }

// Decides once per history which volume the pane shows: tick volume, or in
// MetaTrader 5 with VolumeSource 1 the real (exchange) volume when the
// symbol has any. One scale for every bar: a bar without real volume shows
// 0, never its tick volume, which would pollute the average and the
// classes. Forex and most CFDs have no real volume: tick volume then, said once.
void VolumeChooseSource(const int rates_total, const long &volume[])
  {
   UseRealVolume = false;
#ifdef __MQL5__
   if(VolumeSource != 1)
      return;
   for(int k = 0; k < rates_total && !UseRealVolume; k++)
      UseRealVolume = volume[k] > 0;
   if(!UseRealVolume)
      Print("BarsightVolume: ", Symbol(), " has no real volume: tick volume shown");
#endif
  }

double VolumeAt(const int shift, const long &tick_volume[], const long &volume[])
  {
   return(UseRealVolume ? (double)volume[shift] : (double)tick_volume[shift]);
  }

// The volume class (its buffer) of the bar at `shift`, given the mean
// volume and spread of the `period` bars ending there. VSASpread's limits
// in units of 2/7 of the average: climax above 7 units, high above 6, low
// at most 3; narrow is a spread below 0.8 of the average spread.
int VolumeClass(const double v, const double average, const double averageSpread, const double spread,
                const bool upBar)
  {
   double unit = average * 2.0 / 7.0;
   bool narrow = spread < 0.8 * averageSpread;
   if(v > unit * 7.0)
      return(narrow ? 7 : (upBar ? 3 : 6));
   if(v > unit * 6.0)
      return(narrow ? 4 : 2);
   if(v <= unit * 3.0)
      return(narrow ? 8 : 0);
   return(1);
  }

void VolumeStore(const int shift, const int bucket, const double v)
  {
   switch(bucket)
     {
      case 0: Class0[shift] = v; break;
      case 1: Class1[shift] = v; break;
      case 2: Class2[shift] = v; break;
      case 3: Class3[shift] = v; break;
      case 4: Class4[shift] = v; break;
      case 6: Class6[shift] = v; break;
      case 7: Class7[shift] = v; break;
      case 8: Class8[shift] = v; break;
     }
  }

// PaintBars: the price bar at `shift` drawn over in its class colour on
// the main chart (a thick line from low to high), or its paint removed.
void VolumePaint(const int shift, const int bucket, const datetime &time[], const double &high[],
                 const double &low[])
  {
   string name = VOLUME_PAINT + TimeToString(time[shift], TIME_DATE | TIME_MINUTES);
   color shade = (bucket >= 0 && VolumeBaseColor(bucket) != clrNONE) ? VolumeColor(bucket) : clrNONE;
   if(shade == clrNONE)
     {
      ObjectDelete(0, name);
      return;
     }
   if(ObjectFind(0, name) < 0)
     {
      if(!ObjectCreate(0, name, OBJ_TREND, 0, time[shift], low[shift], time[shift], high[shift]))
         return;
     }
   else
     {
      // The forming bar's range grows with its ticks.
      ObjectMove(0, name, 0, time[shift], low[shift]);
      ObjectMove(0, name, 1, time[shift], high[shift]);
     }
   ObjectSetInteger(0, name, OBJPROP_RAY_RIGHT, false);
   ObjectSetInteger(0, name, OBJPROP_WIDTH, 3);
   ObjectSetInteger(0, name, OBJPROP_COLOR, shade);
   ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
   ObjectSetInteger(0, name, OBJPROP_HIDDEN, true);
   ObjectSetInteger(0, name, OBJPROP_BACK, false);
   ObjectSetString(0, name, OBJPROP_TOOLTIP, VolumeLabel(bucket));
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   // Series indexing set explicitly, as BarsightVSA does: index 0 is the
   // forming bar for the arrays and the buffers alike, in MetaTrader 4 and 5.
   ArraySetAsSeries(time, true);
   ArraySetAsSeries(high, true);
   ArraySetAsSeries(low, true);
   ArraySetAsSeries(close, true);
   ArraySetAsSeries(tick_volume, true);
   ArraySetAsSeries(volume, true);
   ArraySetAsSeries(Class0, true);
   ArraySetAsSeries(Class1, true);
   ArraySetAsSeries(Class2, true);
   ArraySetAsSeries(Class3, true);
   ArraySetAsSeries(Class4, true);
   ArraySetAsSeries(Average, true);
   ArraySetAsSeries(Class6, true);
   ArraySetAsSeries(Class7, true);
   ArraySetAsSeries(Class8, true);
   if(rates_total < 1)
      return(0);
   // Only the bars that are new since the last call, and the forming bar
   // again (its volume grows with each tick); with MaxBars the newest
   // MaxBars bars only.
   int first = (prev_calculated > 0) ? rates_total - prev_calculated : rates_total - 1;
   if(first > rates_total - 1)
      first = rates_total - 1;
   int limit = (MaxBars > 0 && MaxBars < rates_total) ? MaxBars - 1 : rates_total - 1;
   if(prev_calculated == 0)
     {
      VolumeChooseSource(rates_total, volume);
      for(int old = rates_total - 1; old > limit; old--)
        {
         Class0[old] = Class1[old] = Class2[old] = Class3[old] = Class4[old] = EMPTY_VALUE;
         Average[old] = Class6[old] = Class7[old] = Class8[old] = EMPTY_VALUE;
        }
      if(PaintBars)
         ObjectsDeleteAll(0, VOLUME_PAINT);
     }
   if(first > limit)
      first = limit;
   // The bars that have just left the newest MaxBars (as many as arrived:
   // several after a reconnection) go out of the pane, and out of the
   // painted stretch the price bars that left the newest VOLUME_PAINT_MAX.
   int arrived = (prev_calculated > 0) ? rates_total - prev_calculated : 0;
   for(int gone = limit + 1; MaxBars > 0 && gone <= limit + arrived && gone < rates_total; gone++)
     {
      Class0[gone] = Class1[gone] = Class2[gone] = Class3[gone] = Class4[gone] = EMPTY_VALUE;
      Average[gone] = Class6[gone] = Class7[gone] = Class8[gone] = EMPTY_VALUE;
     }
   int painted = (limit < VOLUME_PAINT_MAX - 1) ? limit : VOLUME_PAINT_MAX - 1;
   for(int gone = painted + 1; PaintBars && gone <= painted + arrived && gone < rates_total; gone++)
      ObjectDelete(0, VOLUME_PAINT + TimeToString(time[gone], TIME_DATE | TIME_MINUTES));
   // Running sums over the window of the bar being computed (its own bar
   // and the period - 1 before it), moved one bar at a time from the oldest
   // to compute: each calculation costs one window plus one step a bar,
   // whatever AveragePeriod is.
   int period = (AveragePeriod > 0) ? AveragePeriod : VOLUME_DEFAULT_PERIOD;
   double volumes = 0, spreads = 0;
   int counted = 0;                      // bars in the sums (fewer than period near the oldest bar)
   for(int k = first; k < first + period && k < rates_total; k++)
     {
      volumes += VolumeAt(k, tick_volume, volume);
      spreads += high[k] - low[k];
      counted++;
     }
   for(int i = first; i >= 0; i--)
     {
      if(i < first)
        {
         // The window moves on: bar i comes in, bar i + period goes out.
         volumes += VolumeAt(i, tick_volume, volume);
         spreads += high[i] - low[i];
         if(i + period < rates_total)
           {
            volumes -= VolumeAt(i + period, tick_volume, volume);
            spreads -= high[i + period] - low[i + period];
           }
         else
            counted++;
        }
      double v = VolumeAt(i, tick_volume, volume);
      Class0[i] = Class1[i] = Class2[i] = Class3[i] = Class4[i] = EMPTY_VALUE;
      Average[i] = Class6[i] = Class7[i] = Class8[i] = EMPTY_VALUE;
      bool full = counted >= period;     // the bar has `period` bars (itself included) behind it
      if(AveragePeriod > 0 && full)
         Average[i] = volumes / period;
      int bucket = -1;
      if(Colouring == VOLUME_CLASSES)
        {
         if(full)
            bucket = VolumeClass(v, volumes / period, spreads / period, high[i] - low[i],
                                 i + 1 < rates_total && close[i] > close[i + 1]);
        }
      else if(i + 2 < rates_total)
        {
         // Each bar is compared with the two before it: the oldest two get no colour.
         switch(BarsightVolumeColor(v, VolumeAt(i + 1, tick_volume, volume),
                                    VolumeAt(i + 2, tick_volume, volume), close[i], close[i + 1]))
           {
            case BARSIGHT_VOLUME_LOW:  bucket = 0; break;
            case BARSIGHT_VOLUME_DOWN: bucket = 1; break;
            case BARSIGHT_VOLUME_UP:   bucket = 2; break;
            default:                   bucket = 3; break;
           }
        }
      VolumeStore(i, bucket, v);
      if(PaintBars && i <= painted)
         VolumePaint(i, bucket, time, high, low);
     }
   return(rates_total);
  }

void OnDeinit(const int reason)
  {
   if(PaintBars)
      ObjectsDeleteAll(0, VOLUME_PAINT);
  }
//+------------------------------------------------------------------+
