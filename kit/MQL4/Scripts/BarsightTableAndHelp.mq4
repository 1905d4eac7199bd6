//+------------------------------------------------------------------+
//| BarsightTableAndHelp.mq4: the per-handle value table and the help |
//| window.                                                           |
//+------------------------------------------------------------------+
#property strict
#property script_show_inputs

#include <BarsightPlugin.mqh>

input string HelpPage = "VSATrend";  // Help page to show ("" for none)

void OnStart()
  {
   int table = TS_GetID();
   TS_CreateTable(table);
   for(int bar = 0; bar < 10; bar++)
     {
      TS_SetVSAValue(table, bar, SignFilter(bar % 2 == 0 ? BARSIGHT_NO_SUPPLY : BARSIGHT_NO_DEMAND));
      TS_SetConfValue(table, bar, bar * 10);
     }
   Print("bar 4: VSA ", TS_GetVSAValue(table, 4), " conf ", TS_GetConfValue(table, 4),
         " at ", BarsightUtcText());

   if(HelpPage == "")
      return;
   StartDialog();
   BarsightShowHelp(HelpPage);
   Sleep(5000);
   HideDialog();
   Print("help window running: ", IsDialogRunning() == 1);
   KillDialog();
  }
//+------------------------------------------------------------------+
