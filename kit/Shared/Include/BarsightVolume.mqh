//+------------------------------------------------------------------+
//| BarsightVolume.mqh: the body of BarsightVolume, shared by the     |
//| MetaTrader 4 and 5 volume panes: the input check, the volume      |
//| classes and the calculation. The program declares Colouring and   |
//| AveragePeriod, includes BarsightPlugin.mqh before this file and   |
//| binds and styles the six buffers in its OnInit.                   |
//+------------------------------------------------------------------+

#define VOLUME_UP_DOWN 0
#define VOLUME_CLASSES 1

// Five histograms (each bar in exactly one) and the average line.
double Class0[], Class1[], Class2[], Class3[], Class4[], Average[];

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
   return(true);
  }

// The histogram a bar's volume goes in under the volume classes, or -1
// when the bar has fewer than AveragePeriod bars (itself included) behind it.
int VolumeClass(const int shift, const int rates_total, const double &high[], const double &low[],
                const long &tick_volume[])
  {
   int period = (AveragePeriod > 0) ? AveragePeriod : 20;
   if(shift + period > rates_total)
      return(-1);
   double volumes = 0, spreads = 0;
   for(int k = shift; k < shift + period; k++)
     {
      volumes += (double)tick_volume[k];
      spreads += high[k] - low[k];
     }
   double average = volumes / period;
   double v = (double)tick_volume[shift];
   double unit = average * 2.0 / 7.0;  // VSASpread's class limits
   bool high_volume = v > unit * 6.0;  // above 12/7 of the average
   bool climax = v > unit * 7.0;       // above twice the average
   bool narrow = (high[shift] - low[shift]) < 0.8 * spreads / period;
   if(high_volume && narrow)
      return(4);
   if(climax)
      return(3);
   if(high_volume)
      return(2);
   if(v <= unit * 3.0)                 // at most 6/7 of the average
      return(0);
   return(1);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   // Series indexing set explicitly, as BarsightVSA does: index 0 is the
   // forming bar for the arrays and the buffers alike, in MetaTrader 4 and 5.
   ArraySetAsSeries(high, true);
   ArraySetAsSeries(low, true);
   ArraySetAsSeries(close, true);
   ArraySetAsSeries(tick_volume, true);
   ArraySetAsSeries(Class0, true);
   ArraySetAsSeries(Class1, true);
   ArraySetAsSeries(Class2, true);
   ArraySetAsSeries(Class3, true);
   ArraySetAsSeries(Class4, true);
   ArraySetAsSeries(Average, true);
   // Only the bars that are new since the last call, and the forming bar
   // again (its volume grows with each tick).
   int first = (prev_calculated > 0) ? rates_total - prev_calculated : rates_total - 1;
   if(first > rates_total - 1)
      first = rates_total - 1;
   for(int i = first; i >= 0; i--)
     {
      double v = (double)tick_volume[i];
      Class0[i] = Class1[i] = Class2[i] = Class3[i] = Class4[i] = EMPTY_VALUE;
      Average[i] = EMPTY_VALUE;
      if(AveragePeriod > 0 && i + AveragePeriod <= rates_total)
        {
         double sum = 0;
         for(int k = i; k < i + AveragePeriod; k++)
            sum += (double)tick_volume[k];
         Average[i] = sum / AveragePeriod;
        }
      int bucket = -1;
      if(Colouring == VOLUME_CLASSES)
         bucket = VolumeClass(i, rates_total, high, low, tick_volume);
      else if(i + 2 < rates_total)
        {
         // Each bar is compared with the two before it: the oldest two get no colour.
         switch(CalcVolumeColor(v, (double)tick_volume[i + 1], (double)tick_volume[i + 2], close[i], close[i + 1]))
           {
            case BARSIGHT_VOLUME_LOW:  bucket = 0; break;
            case BARSIGHT_VOLUME_DOWN: bucket = 1; break;
            case BARSIGHT_VOLUME_UP:   bucket = 2; break;
            default:                   bucket = 3; break;
           }
        }
      switch(bucket)
        {
         case 0: Class0[i] = v; break;
         case 1: Class1[i] = v; break;
         case 2: Class2[i] = v; break;
         case 3: Class3[i] = v; break;
         case 4: Class4[i] = v; break;
        }
     }
   return(rates_total);
  }
//+------------------------------------------------------------------+
