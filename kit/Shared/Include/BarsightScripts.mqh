//+------------------------------------------------------------------+
//| BarsightScripts.mqh: the bodies of the two sample scripts, shared |
//| by the MetaTrader 4 and 5 kits. Include after BarsightPlugin.mqh. |
//+------------------------------------------------------------------+

// BarsightTableAndHelp: fills a per-handle value table, reads one bar
// back with the UTC time, then shows the help page `page` (none for
// "") for five seconds.
void BarsightTableAndHelp(string page)
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

   if(page == "")
      return;
   StartDialog();
   BarsightShowHelp(page);
   Sleep(5000);
   HideDialog();
   Print("help window running: ", IsDialogRunning() == 1);
   KillDialog();
  }

// BarsightTooltips: prints the tooltips shown on this chart's window for
// a minute.
void BarsightTooltips()
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
