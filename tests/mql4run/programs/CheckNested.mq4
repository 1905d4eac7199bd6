//+------------------------------------------------------------------+
//| CheckNested.mq4 (tests only): reads a copy of itself through      |
//| iCustom; with Depth 1 that copy stops in its OnInit (an index out |
//| of range), to prove the runner ends such a run cleanly.           |
//+------------------------------------------------------------------+
#property strict
#property indicator_chart_window
#property indicator_buffers 1

input int Depth = 0;  // 0 reads a copy with Depth 1; 1 stops in OnInit

double Values[];

int OnInit()
  {
   SetIndexBuffer(0, Values);
   if(Depth == 1)
     {
      int cells[];
      ArrayResize(cells, 1);
      Print("cell ", cells[Depth]);
     }
   return(INIT_SUCCEEDED);
  }

int OnCalculate(const int rates_total, const int prev_calculated, const datetime &time[],
                const double &open[], const double &high[], const double &low[],
                const double &close[], const long &tick_volume[], const long &volume[],
                const int &spread[])
  {
   if(Depth == 0)
      Print("copy ", iCustom(NULL, 0, "CheckNested", 1, 0, 0));
   return(rates_total);
  }
//+------------------------------------------------------------------+
