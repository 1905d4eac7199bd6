//+------------------------------------------------------------------+
//| BarsightVSAExample.mq5: a sample Expert Advisor that reads        |
//| BarsightVSA's confirmed signals through CopyBuffer. When a bar    |
//| closes it looks at position 2, the newest bar whose next close is |
//| known (its code can no longer change), and prints what it would  |
//| do; when several bars closed at once (after a disconnection) it   |
//| looks at each newly confirmed bar, oldest first. Signals that     |
//| were confirmed before it started are history: it never acts on    |
//| them, so a restart, a new timeframe or new inputs place nothing   |
//| twice. It places orders only with Trade set to true: a starting   |
//| point for your own rules, not a strategy.                         |
//| Needs BarsightVSA.ex5 in MQL5\Indicators and the DLLs in          |
//| MQL5\Libraries, with "Allow DLL imports" ticked.                  |
//+------------------------------------------------------------------+
#include <BarsightPlugin.mqh>
#include <BarsightSignals.mqh>

input int    MaxBars  = 0;      // Bars BarsightVSA analyses at start (0 = all)
input int    Periods  = 9;      // BarsightVSA's averaging length
input bool   Trade    = false;  // Place orders (false: only print what it would do)
input double Lots     = 0.1;    // Order size when trading
input int    Magic    = 20250;  // Magic number of this advisor's orders

// BarsightVSA's buffers (see its header).
#define VSA_BUFFER_CONFIRMED 1

datetime LastBarTime = 0;          // open time of the forming bar at the last look (0: none yet)
int      Vsa = INVALID_HANDLE;     // BarsightVSA on this chart, read with CopyBuffer

// BarsightVSA's confirmed code at position `shift` (0 the forming bar).
int ConfirmedCode(int shift)
  {
   double values[];
   ArraySetAsSeries(values, true);
   if(CopyBuffer(Vsa, VSA_BUFFER_CONFIRMED, shift, 1, values) != 1)
      return(0);                   // not calculated yet: nothing to act on
   if(values[0] == EMPTY_VALUE)
      return(0);
   return((int)values[0]);
  }

int OnInit()
  {
   // Its inputs in their order (the first seven are MaxBars, ShowStrength,
   // ShowWeakness, AlertOnSignal, AlertProvisional, HelpOnHover,
   // DrawArrows; then Periods). DrawArrows is false: the copy read here
   // draws nothing on this chart.
   Vsa = iCustom(Symbol(), PERIOD_CURRENT, "BarsightVSA", MaxBars, true, true, false, false, false, false, Periods);
   if(Vsa == INVALID_HANDLE)
     {
      Print("BarsightVSAExample: BarsightVSA cannot be loaded (is BarsightVSA.ex5 in MQL5\\Indicators?)");
      return(INIT_FAILED);
     }
   // The bar forming now: only bars that close from here on are acted on.
   LastBarTime = iTime(Symbol(), PERIOD_CURRENT, 0);
   Print("BarsightVSAExample: reads BarsightVSA's confirmed signals at shift 2; ",
         Trade ? "trading " + DoubleToString(Lots, 2) + " lots" : "prints only, trades nothing");
   return(INIT_SUCCEEDED);
  }

void OnDeinit(const int reason)
  {
   if(Vsa != INVALID_HANDLE)
      IndicatorRelease(Vsa);
   Vsa = INVALID_HANDLE;
  }

// Acts on the confirmed signal of the bar at `shift`, if it has one.
void ActOn(int shift)
  {
   int code = ConfirmedCode(shift);
   if(code == 0)
      return;
   bool strength = code > 0;
   string text = Symbol() + " " + TimeToString(iTime(Symbol(), PERIOD_CURRENT, shift), TIME_DATE | TIME_MINUTES) +
                 ": " + BarsightSignalName(code) + " (" + IntegerToString(code) + ") confirmed: would " +
                 (strength ? "buy" : "sell");
   Print(text);
   if(!Trade)
      return;
   // A market order; choose the filling mode your broker's symbol allows.
   MqlTradeRequest request;
   MqlTradeResult result;
   ZeroMemory(request);
   ZeroMemory(result);
   request.action = TRADE_ACTION_DEAL;
   request.symbol = Symbol();
   request.volume = Lots;
   request.type = strength ? ORDER_TYPE_BUY : ORDER_TYPE_SELL;
   request.price = SymbolInfoDouble(Symbol(), strength ? SYMBOL_ASK : SYMBOL_BID);
   request.deviation = 3;
   request.magic = Magic;
   request.comment = "Barsight " + BarsightSignalLabel(code);
   request.type_filling = ORDER_FILLING_FOK;
   if(!OrderSend(request, result))
      Print("BarsightVSAExample: OrderSend failed, retcode ", result.retcode, ", error ", GetLastError());
  }

void OnTick()
  {
   datetime forming = iTime(Symbol(), PERIOD_CURRENT, 0);
   if(forming == LastBarTime)
      return;  // signals change only when a bar closes
   // BarsightVSA takes a new bar at its own first calculation, which may
   // come after this tick: until it has, its buffers are a bar behind, so
   // look again at the next tick (LastBarTime is not moved on).
   if(BarsCalculated(Vsa) < Bars(Symbol(), PERIOD_CURRENT))
      return;
   // The bar that was forming at the last look is now at shift `last`: the
   // bars from shift last + 1 (its predecessor, provisional then) down to
   // shift 2 have been confirmed since. Without a last look (no bars at
   // OnInit), only shift 2.
   int last = (LastBarTime == 0) ? 1 : iBarShift(Symbol(), PERIOD_CURRENT, LastBarTime, true);
   LastBarTime = forming;
   if(last < 1)
      last = 1;  // that bar is gone from the history: only the newest confirmed bar
   for(int shift = last + 1; shift >= 2; shift--)
      ActOn(shift);
  }
//+------------------------------------------------------------------+
