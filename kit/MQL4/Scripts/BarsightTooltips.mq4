//+------------------------------------------------------------------+
//| BarsightTooltips.mq4: prints the tooltips shown on this chart's   |
//| window for a minute.                                              |
//+------------------------------------------------------------------+
#property strict

#include <BarsightPlugin.mqh>

void OnStart()
  {
   int res = 0;
   int handle = SubclassWindow((int)ChartGetInteger(0, CHART_WINDOW_HANDLE), res);
   if(handle < 1)
     {
      Print("SubclassWindow failed: ", handle);
      return;
     }
   for(int second = 0; second < 60 && !IsStopped(); second++)
     {
      // Drain: a -1 (a dropped short text) is no reason to stop; 0 is.
      // (A handle that is no longer registered answers -1 every time, hence
      // the bound.)
      string text;
      int result;
      for(int taken = 0; taken < 10000 && (result = BarsightNextTooltip(handle, text)) != 0; taken++)
        {
         if(result == 1)
            Print("tooltip: ", text);
        }
      Sleep(1000);
     }
   UnsubclassWindow(handle);
  }
//+------------------------------------------------------------------+
