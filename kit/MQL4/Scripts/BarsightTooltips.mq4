//+------------------------------------------------------------------+
//| BarsightTooltips.mq4: prints the tooltips shown on this chart's   |
//| window for a minute.                                              |
//+------------------------------------------------------------------+
#property strict

#include <BarsightPlugin.mqh>

#include <BarsightScripts.mqh>

void OnStart()
  {
   if(!BarsightDllsAllowed("BarsightTooltips"))
      return;
   BarsightTooltips();
  }
//+------------------------------------------------------------------+
