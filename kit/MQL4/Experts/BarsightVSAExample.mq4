//+------------------------------------------------------------------+
//| BarsightVSAExample.mq4: a sample Expert Advisor that reads        |
//| BarsightVSA's confirmed signals through iCustom. When a bar       |
//| closes it looks at shift 2, the newest bar whose next close is    |
//| known (its code can no longer change), and prints what it would   |
//| do. It places orders only with Trade set to true: a starting      |
//| point for your own rules, not a strategy.                         |
//| Needs BarsightVSA.ex4 in MQL4\Indicators and the DLLs in          |
//| MQL4\Libraries, with "Allow DLL imports" ticked.                  |
//+------------------------------------------------------------------+
#property strict

#include <BarsightPlugin.mqh>
#include <BarsightSignals.mqh>

input int    MaxBars  = 0;      // Bars BarsightVSA analyses at start (0 = all)
input int    Periods  = 9;      // BarsightVSA's averaging length
input bool   Trade    = false;  // Place orders (false: only print what it would do)
input double Lots     = 0.1;    // Order size when trading
input int    Magic    = 20250;  // Magic number of this advisor's orders

// BarsightVSA's buffers (see its header).
#define VSA_BUFFER_CONFIRMED 1

datetime LastBarTime = 0;  // open time of the forming bar at the last look

// BarsightVSA's confirmed code at `shift`, its inputs passed in their order
// (the first seven are MaxBars, ShowStrength, ShowWeakness, AlertOnSignal,
// AlertProvisional, HelpOnHover, DrawArrows; then Periods). DrawArrows is
// false: the copy iCustom runs draws nothing on this chart.
int ConfirmedCode(int shift)
  {
   double value = iCustom(NULL, 0, "BarsightVSA", MaxBars, true, true, false, false, false, false, Periods,
                          VSA_BUFFER_CONFIRMED, shift);
   if(value == EMPTY_VALUE)
      return(0);
   return((int)value);
  }

int OnInit()
  {
   Print("BarsightVSAExample: reads BarsightVSA's confirmed signals at shift 2; ",
         Trade ? "trading " + DoubleToString(Lots, 2) + " lots" : "prints only, trades nothing");
   return(INIT_SUCCEEDED);
  }

void OnTick()
  {
   datetime forming = iTime(NULL, 0, 0);
   if(forming == LastBarTime)
      return;  // signals change only when a bar closes
   LastBarTime = forming;
   int code = ConfirmedCode(2);
   if(code == 0)
      return;
   bool strength = code > 0;
   string text = Symbol() + " " + TimeToString(iTime(NULL, 0, 2), TIME_DATE | TIME_MINUTES) + ": " +
                 BarsightSignalName(code) + " (" + IntegerToString(code) + ") confirmed: would " +
                 (strength ? "buy" : "sell");
   Print(text);
   if(!Trade)
      return;
   int ticket = OrderSend(Symbol(), strength ? OP_BUY : OP_SELL, Lots, strength ? Ask : Bid, 3, 0, 0,
                          "Barsight " + BarsightSignalLabel(code), Magic, 0, strength ? clrLimeGreen : clrRed);
   if(ticket < 0)
      Print("BarsightVSAExample: OrderSend failed, error ", GetLastError());
  }

void OnDeinit(const int reason)
  {
   LastBarTime = 0;
  }
//+------------------------------------------------------------------+
