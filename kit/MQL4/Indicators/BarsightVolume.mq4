//+------------------------------------------------------------------+
//| BarsightVolume.mq4: volume coloured by CalcVolumeColor. The VSA   |
//| signals themselves are BarsightVSA's, on the price chart.         |
//+------------------------------------------------------------------+
#property strict
#property indicator_separate_window
#property indicator_minimum 0
#property indicator_buffers 4
#property indicator_color1 clrSilver
#property indicator_color2 clrRed
#property indicator_color3 clrGreen
#property indicator_color4 clrBlue
#property indicator_width1 3
#property indicator_width2 3
#property indicator_width3 3
#property indicator_width4 3

#include <BarsightPlugin.mqh>

double LowVolume[], DownVolume[], UpVolume[], FlatVolume[];

int OnInit()
  {
   SetIndexBuffer(0, LowVolume);  SetIndexStyle(0, DRAW_HISTOGRAM); SetIndexLabel(0, "Low volume");
   SetIndexBuffer(1, DownVolume); SetIndexStyle(1, DRAW_HISTOGRAM); SetIndexLabel(1, "Down volume");
   SetIndexBuffer(2, UpVolume);   SetIndexStyle(2, DRAW_HISTOGRAM); SetIndexLabel(2, "Up volume");
   SetIndexBuffer(3, FlatVolume); SetIndexStyle(3, DRAW_HISTOGRAM); SetIndexLabel(3, "Unchanged");
   return(INIT_SUCCEEDED);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   // Each bar is compared with the two before it: the oldest two get no colour.
   // Series indexing set explicitly, as BarsightVSA does: index 0 is the
   // forming bar for the arrays and the buffers alike.
   ArraySetAsSeries(close, true);
   ArraySetAsSeries(tick_volume, true);
   ArraySetAsSeries(LowVolume, true);
   ArraySetAsSeries(DownVolume, true);
   ArraySetAsSeries(UpVolume, true);
   ArraySetAsSeries(FlatVolume, true);
   int first = (prev_calculated > 2) ? rates_total - prev_calculated + 1 : rates_total - 3;
   if(first > rates_total - 3)
      first = rates_total - 3;
   for(int i = first; i >= 0; i--)
     {
      double v = (double)tick_volume[i];
      LowVolume[i] = DownVolume[i] = UpVolume[i] = FlatVolume[i] = EMPTY_VALUE;
      switch(CalcVolumeColor(v, (double)tick_volume[i + 1], (double)tick_volume[i + 2], close[i], close[i + 1]))
        {
         case BARSIGHT_VOLUME_LOW:  LowVolume[i] = v;  break;
         case BARSIGHT_VOLUME_DOWN: DownVolume[i] = v; break;
         case BARSIGHT_VOLUME_UP:   UpVolume[i] = v;   break;
         default:                   FlatVolume[i] = v; break;
        }
     }
   return(rates_total);
  }
//+------------------------------------------------------------------+
