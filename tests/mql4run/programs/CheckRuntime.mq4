//+------------------------------------------------------------------+
//| CheckRuntime.mq4 (tests only): the runtime's built-ins, printed   |
//| for the test to compare, and an index out of range on demand.     |
//+------------------------------------------------------------------+
#property strict

input int Index = 0;  // an index into a 3-element array

void OnStart()
  {
   double values[];
   ArrayResize(values, 3);
   values[0] = 1.5; values[1] = 2.5; values[2] = 3.5;
   ArraySetAsSeries(values, true);
   Print("series[0]=", values[0], " size=", ArraySize(values));
   uchar bytes[];
   int copied = StringToCharArray("Caf\xe9 ok", bytes, 0, WHOLE_ARRAY, CP_ACP);
   Print("copied=", copied, " back=", CharArrayToString(bytes, 0, copied - 1, CP_ACP));
   Print("time=", TimeToString(D'2024.03.01 09:05', TIME_DATE | TIME_MINUTES));
   Print("find=", StringFind("Barsight;SOS3;x", "Barsight;"), " ", StringFind("abc", "z"));
   Print("int=", IntegerToString(-42), " double=", DoubleToString(2.0 / 3.0, 4));
   string joined = "n=" + (string)7 + ";" + (string)0.25;
   Print(joined);
   GlobalVariableSet("mql4run.check", 7.25);
   Print("global=", GlobalVariableGet("mql4run.check"), " ", GlobalVariableCheck("nothing"));
   Print("value=", values[Index]);
  }
