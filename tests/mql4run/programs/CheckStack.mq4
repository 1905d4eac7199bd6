//+------------------------------------------------------------------+
//| CheckStack.mq4 (tests only): declarations that do not match the   |
//| exports, to prove the runner stops on a stack mismatch.           |
//+------------------------------------------------------------------+
#property strict

// SignFilter takes one int: declared with two, the export pops 4 bytes of
// the 8 pushed; declared with none, it pops 4 bytes nobody pushed.
#import "BarsightPlugin.dll"
int SignFilter(int sign, int extra);
#import

input bool Correct = false;  // call through a declaration that matches instead

#import "Spreadcore.dll"
int RemoveFromChart(int handle);
#import

void OnStart()
  {
   Print("matching: ", RemoveFromChart(12345));
   if(!Correct)
      Print("mismatched: ", SignFilter(3, 0));
  }
