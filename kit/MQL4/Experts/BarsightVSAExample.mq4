//+------------------------------------------------------------------+
//| BarsightVSAExample.mq4: a sample Expert Advisor that reads        |
//| BarsightVSA's confirmed signals through iCustom. When a bar       |
//| closes it looks at shift 2, the newest bar whose next close is    |
//| known (its code can no longer change), and prints what it would   |
//| do; when several bars closed at once (after a disconnection) it   |
//| acts only on the newest confirmed signal no older than            |
//| MaxSignalAge bars: an old signal is no reason to trade at today's |
//| price. Signals that were confirmed before it started are history: |
//| it never acts on them, so a restart, a new timeframe or new       |
//| inputs place nothing twice. It places orders only with Trade set  |
//| to true, at fresh prices and a lot size the symbol allows (Lots   |
//| outside its minimum and maximum lot is refused with a message),   |
//| with Slippage in pips (ten points a pip on 3/5-digit quotes),     |
//| sent again at fresh prices half a second after a requote, no      |
//| quote or a busy trade context (a few times). It holds one         |
//| position a side by its magic number: a signal the way it already  |
//| holds places nothing, one the other way first closes its opposite |
//| orders, oldest first (as FIFO accounts require), and buys or      |
//| sells only when they are all closed, never holding both sides: a  |
//| starting point for your rules, not a strategy.                    |
//| Needs BarsightVSA.ex4 in MQL4\Indicators and the DLLs in          |
//| MQL4\Libraries, with "Allow DLL imports" ticked.                  |
//+------------------------------------------------------------------+
#property strict

#include <BarsightPlugin.mqh>
#include <BarsightSignals.mqh>
#include <BarsightTrading.mqh>

input int    MaxBars  = 0;      // Bars BarsightVSA analyses at start (0 = all)
input int    Periods  = 9;      // BarsightVSA's averaging length
input bool   Trade    = false;  // Place orders (false: only print what it would do)
input double Lots     = 0.1;    // Order size when trading
input int    Magic    = 20250;  // Magic number of this advisor's orders
input int    MaxSignalAge = 1;  // Act on signals at most this many bars old (1 = just confirmed)
input int    Slippage = 3;      // Slippage in pips (x10 points on 3/5-digit quotes)

// BarsightVSA's buffers (see its header).
#define VSA_BUFFER_CONFIRMED 1

datetime LastBarTime = 0;  // open time of the forming bar at the last look (0: none yet)

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
   if(!BarsightDllsAllowed("BarsightVSAExample"))
      return(INIT_FAILED);
   if(MaxSignalAge < 1 || Slippage < 0)
     {
      Print("BarsightVSAExample: MaxSignalAge must be 1 or more (not ", MaxSignalAge, "), Slippage 0 or more (not ",
            Slippage, ")");
      return(INIT_PARAMETERS_INCORRECT);
     }
   // The bar forming now: only bars that close from here on are acted on.
   LastBarTime = iTime(NULL, 0, 0);
   Print("BarsightVSAExample: reads BarsightVSA's confirmed signals at shift 2; ",
         Trade ? "trading " + DoubleToString(Lots, 2) + " lots" : "prints only, trades nothing");
   return(INIT_SUCCEEDED);
  }

// A dealer's answer worth sending again at fresh prices.
bool Retryable(int error)
  {
   return(error == ERR_REQUOTE || error == ERR_OFF_QUOTES || error == ERR_PRICE_CHANGED ||
          error == ERR_TRADE_CONTEXT_BUSY);
  }

int SlippagePoints()
  {
   return(BarsightSlippagePoints(Slippage, (int)SymbolInfoInteger(Symbol(), SYMBOL_DIGITS)));
  }

// How many orders of `type` this advisor holds open on this symbol.
int CountOrders(int type)
  {
   int count = 0;
   for(int index = 0; index < OrdersTotal(); index++)
      if(OrderSelect(index, SELECT_BY_POS, MODE_TRADES) && OrderSymbol() == Symbol() &&
         OrderMagicNumber() == Magic && OrderType() == type)
         count++;
   return(count);
  }

// The ticket of this advisor's oldest open order of `type` on this symbol
// (-1: none), selected.
int OldestOrder(int type)
  {
   int oldest = -1;
   datetime opened = 0;
   for(int index = 0; index < OrdersTotal(); index++)
     {
      if(!OrderSelect(index, SELECT_BY_POS, MODE_TRADES) || OrderSymbol() != Symbol() ||
         OrderMagicNumber() != Magic || OrderType() != type)
         continue;
      if(oldest < 0 || OrderOpenTime() < opened || (OrderOpenTime() == opened && OrderTicket() < oldest))
        {
         oldest = OrderTicket();
         opened = OrderOpenTime();
        }
     }
   if(oldest >= 0 && !OrderSelect(oldest, SELECT_BY_TICKET, MODE_TRADES))
      return(-1);
   return(oldest);
  }

// Closes this advisor's open orders of `type`, oldest first (a FIFO
// account refuses any other order). False when one stays open.
bool CloseOrders(int type)
  {
   int total = OrdersTotal();
   for(int closed = 0; closed <= total; closed++)
     {
      int ticket = OldestOrder(type);
      if(ticket < 0)
         return(true);
      double lots = OrderLots();
      bool done = false;
      for(int attempt = 1; attempt <= BARSIGHT_ORDER_TRIES && !done; attempt++)
        {
         RefreshRates();
         done = OrderClose(ticket, lots, (type == OP_BUY) ? Bid : Ask, SlippagePoints(), clrNONE);
         if(!done)
           {
            int error = GetLastError();
            if(!Retryable(error) || attempt == BARSIGHT_ORDER_TRIES)
              {
               Print("BarsightVSAExample: OrderClose of #", ticket, " failed, error ", error);
               return(false);
              }
            Sleep(BARSIGHT_RETRY_PAUSE);
           }
        }
     }
   return(OldestOrder(type) < 0);
  }

// Acts on the confirmed signal of the bar at `shift`, if it has one.
void ActOn(int shift)
  {
   int code = ConfirmedCode(shift);
   if(code == 0)
      return;
   bool strength = code > 0;
   string text = Symbol() + " " + TimeToString(iTime(NULL, 0, shift), TIME_DATE | TIME_MINUTES) + ": " +
                 BarsightSignalName(code) + " (" + IntegerToString(code) + ") confirmed: would " +
                 (strength ? "buy" : "sell");
   Print(text);
   if(!Trade)
      return;
   double minimum = MarketInfo(Symbol(), MODE_MINLOT);
   double maximum = MarketInfo(Symbol(), MODE_MAXLOT);
   double step = MarketInfo(Symbol(), MODE_LOTSTEP);
   string refusal = BarsightLotsRefusal(Lots, minimum, maximum, step);
   double lots = (refusal == "") ? BarsightNormalizedLots(Lots, minimum, maximum, step) : 0;
   if(lots <= 0)
     {
      Print("BarsightVSAExample: Lots ", Lots, " is ", (refusal == "") ? "no size the symbol takes" : refusal,
            " (", minimum, " to ", maximum, " in steps of ", step, "): no order");
      return;
     }
   int side = strength ? OP_BUY : OP_SELL;
   int other = strength ? OP_SELL : OP_BUY;
   // The other side first: with an opposite order still open, a new one
   // would hedge (refused on a FIFO account).
   if(!CloseOrders(other))
     {
      Print("BarsightVSAExample: its ", strength ? "sell" : "buy", " orders are not all closed: no ",
            strength ? "buy" : "sell", " order");
      return;
     }
   if(CountOrders(side) > 0)
     {
      Print("BarsightVSAExample: already ", strength ? "long" : "short", " (magic ", Magic, "): no new order");
      return;
     }
   // iCustom took the terminal's time: Ask and Bid are those of the tick's
   // start until refreshed, and an order at an old price is requoted.
   for(int attempt = 1; attempt <= BARSIGHT_ORDER_TRIES; attempt++)
     {
      RefreshRates();
      int ticket = OrderSend(Symbol(), side, lots, strength ? Ask : Bid, SlippagePoints(), 0, 0,
                             "Barsight " + BarsightSignalLabel(code), Magic, 0, strength ? clrLimeGreen : clrRed);
      if(ticket >= 0)
         return;
      int error = GetLastError();
      if(!Retryable(error) || attempt == BARSIGHT_ORDER_TRIES)
        {
         Print("BarsightVSAExample: OrderSend failed, error ", error, " (tried ", attempt, " times)");
         return;
        }
      Sleep(BARSIGHT_RETRY_PAUSE);
     }
  }

void OnTick()
  {
   datetime forming = iTime(NULL, 0, 0);
   if(forming == LastBarTime)
      return;  // signals change only when a bar closes
   // The bar that was forming at the last look is now at shift `last`: the
   // bars from shift last + 1 (its predecessor, provisional then) down to
   // shift 2 have been confirmed since. Without a last look (no bars at
   // OnInit), only shift 2. Of those, the newest with a signal, at most
   // MaxSignalAge bars old, is acted on.
   int last = (LastBarTime == 0) ? 1 : iBarShift(NULL, 0, LastBarTime, true);
   LastBarTime = forming;
   if(last < 1)
      last = 1;  // that bar is gone from the history: only the newest confirmed bar
   int oldest = MathMin(last + 1, MaxSignalAge + 1);
   for(int shift = 2; shift <= oldest; shift++)
      if(ConfirmedCode(shift) != 0)
        {
         ActOn(shift);
         break;
        }
  }
//+------------------------------------------------------------------+
