//+------------------------------------------------------------------+
//| BarsightTooltips.mq5: prints the tooltips shown on this chart's   |
//| window for a minute.                                              |
//+------------------------------------------------------------------+

#include <BarsightPlugin.mqh>

#include <BarsightScripts.mqh>

void OnStart()
  {
   if(!BarsightDllsAllowed("BarsightTooltips"))
      return;
   BarsightTooltips();
  }
//+------------------------------------------------------------------+
