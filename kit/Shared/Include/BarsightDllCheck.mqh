//+------------------------------------------------------------------+
//| BarsightDllCheck.mqh: whether the terminal lets this program call |
//| its DLLs. BarsightPlugin.mqh includes it; every program that      |
//| imports BarsightPlugin.dll asks first, in OnInit (a script at the |
//| start of OnStart), before any import is called.                   |
//+------------------------------------------------------------------+

// True when DLL calls are allowed. Otherwise says so once, as an alert
// and in the Experts log, with where to switch them on, and answers false:
// the program's OnInit then returns INIT_FAILED. (MetaTrader 4 would
// otherwise start the program and stop it at its first DLL call, leaving
// an indicator listed that draws nothing.)
bool BarsightDllsAllowed(const string program)
  {
#ifdef __MQL5__
   bool allowed = MQLInfoInteger(MQL_DLLS_ALLOWED) != 0;
#else
   bool allowed = IsDllsAllowed();
#endif
   if(allowed)
      return(true);
   string text = program + ": DLL calls are not allowed, and it needs BarsightPlugin.dll. Switch on " +
                 "\"Allow DLL imports\" in Tools > Options > Expert Advisors, or on the program's Common tab.";
   Alert(text);
   Print(text);
   return(false);
  }
//+------------------------------------------------------------------+
