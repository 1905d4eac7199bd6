//+------------------------------------------------------------------+
//| BarsightTableAndHelp.mq4: the per-handle value table and the help |
//| window.                                                           |
//+------------------------------------------------------------------+
#property strict
#property script_show_inputs

#include <BarsightPlugin.mqh>

input string HelpPage = "VSATrend";  // Help page to show ("" for none)

#include <BarsightScripts.mqh>

void OnStart()
  {
   if(!BarsightDllsAllowed("BarsightTableAndHelp"))
      return;
   BarsightTableAndHelp(HelpPage);
  }
//+------------------------------------------------------------------+
