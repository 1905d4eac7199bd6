//+------------------------------------------------------------------+
//| CheckDialect.mq5: the MQL5 rules the kit relies on, printed for    |
//| check_twins.py: OnCalculate's arrays and the buffers are not      |
//| series until the program says so, EMPTY_VALUE is DBL_MAX, PERIOD_ |
//| values are MQL5's codes, iCustom answers a handle that CopyBuffer |
//| reads (into a series array newest first), MQL_DLLS_ALLOWED.       |
//+------------------------------------------------------------------+
#property indicator_chart_window
#property indicator_buffers 1
#property indicator_plots   1

double Values[];
bool   Said = false;

int OnInit()
  {
   SetIndexBuffer(0, Values, INDICATOR_DATA);
   return(INIT_SUCCEEDED);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   for(int i = prev_calculated; i < rates_total; i++)
      Values[i] = (double)i;            // oldest first: index i is the i-th bar
   if(Said || rates_total < 3)
      return(rates_total);
   Said = true;
   Print("time series ", ArrayGetAsSeries(time));
   Print("oldest first ", time[0] < time[rates_total - 1]);
   Print("buffer series ", ArrayGetAsSeries(Values));
   Print("empty DBL_MAX ", EMPTY_VALUE == DBL_MAX);
   Print("period D1 ", PERIOD_D1, " ", Period() == PERIOD_D1);
   Print("dlls allowed ", MQLInfoInteger(MQL_DLLS_ALLOWED) != 0);
   int handle = iCustom(NULL, PERIOD_CURRENT, "BarsightVolume", 0, 3);
   Print("handle ", handle);
   double copied[];
   ArraySetAsSeries(copied, true);
   Print("copied ", CopyBuffer(handle, 5, 1, 3, copied));
   // The average of 3 volumes at shift 1 is copied[0]; shift 3's is copied[2].
   double newest = ((double)tick_volume[rates_total - 2] + (double)tick_volume[rates_total - 3] +
                    (double)tick_volume[rates_total - 4]) / 3.0;
   Print("newest copied first ", MathAbs(copied[0] - newest) < 1e-9);
   Print("released ", IndicatorRelease(handle));
   return(rates_total);
  }
//+------------------------------------------------------------------+
