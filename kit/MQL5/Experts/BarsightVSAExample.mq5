//+------------------------------------------------------------------+
//| BarsightVSAExample.mq5: a sample Expert Advisor that reads        |
//| BarsightVSA's confirmed signals through CopyBuffer. When a bar    |
//| closes it looks at position 2, the newest bar whose next close is |
//| known (its code can no longer change), and prints what it would  |
//| do; when several bars closed at once (after a disconnection) it   |
//| acts only on the newest confirmed signal no older than            |
//| MaxSignalAge bars: an old signal is no reason to trade at today's |
//| price. Signals that were confirmed before it started are history: |
//| it never acts on them, so a restart, a new timeframe or new       |
//| inputs place nothing twice. It places orders only with Trade set  |
//| to true, with a filling mode and a lot size the symbol allows     |
//| (Lots outside its minimum and maximum lot is refused with a       |
//| message), and prints the server's answer when it is no deal. Its  |
//| deviation is Slippage pips (ten points a pip on 3/5-digit         |
//| quotes); a requote or no price is sent again at fresh prices (a   |
//| few times). It holds one position a side by its magic number and  |
//| tells netting accounts from hedging ones: a signal the way it     |
//| holds places nothing; one the other way first closes what it      |
//| holds (on a hedging account its opposite positions, oldest first  |
//| as FIFO accounts require; on a netting account the one position   |
//| of the symbol, by its ticket, and never one another advisor or    |
//| a manual trade holds), then opens: a starting point for your own  |
//| rules, not a strategy.                                            |
//| Needs BarsightVSA.ex5 in MQL5\Indicators and the DLLs in          |
//| MQL5\Libraries, with "Allow DLL imports" ticked.                  |
//+------------------------------------------------------------------+
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

datetime LastBarTime = 0;          // open time of the forming bar at the last look (0: none yet)
int      Vsa = INVALID_HANDLE;     // BarsightVSA on this chart, read with CopyBuffer
bool     Waiting = false;          // said that BarsightVSA has not calculated yet

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
   if(!BarsightDllsAllowed("BarsightVSAExample"))
      return(INIT_FAILED);
   if(MaxSignalAge < 1 || Slippage < 0)
     {
      Print("BarsightVSAExample: MaxSignalAge must be 1 or more (not ", MaxSignalAge, "), Slippage 0 or more (not ",
            Slippage, ")");
      return(INIT_PARAMETERS_INCORRECT);
     }
   Waiting = false;
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

// A netting account holds one position a symbol: a deal the other way
// reduces, closes or reverses it. A hedging account holds one a deal.
bool Netting()
  {
   return(AccountInfoInteger(ACCOUNT_MARGIN_MODE) != ACCOUNT_MARGIN_MODE_RETAIL_HEDGING);
  }

// The ticket of the oldest open position on this symbol of `type` (any
// type: -1) and, with `mine`, of this advisor's magic number; 0 when none.
// It is left selected.
ulong OldestPosition(int type, bool mine)
  {
   ulong oldest = 0;
   long opened = 0;
   for(int index = 0; index < PositionsTotal(); index++)
     {
      ulong ticket = PositionGetTicket(index);
      if(ticket == 0 || PositionGetString(POSITION_SYMBOL) != Symbol() ||
         (mine && PositionGetInteger(POSITION_MAGIC) != Magic) ||
         (type >= 0 && PositionGetInteger(POSITION_TYPE) != type))
         continue;
      long time = PositionGetInteger(POSITION_TIME);
      if(oldest == 0 || time < opened || (time == opened && ticket < oldest))
        {
         oldest = ticket;
         opened = time;
        }
     }
   if(oldest != 0 && !PositionSelectByTicket(oldest))
      return(0);
   return(oldest);
  }

// Sends a market deal, again at a fresh price after a requote or no price
// (a few times). `position`: the ticket of the position it closes (0: it
// opens). True when the server filled it (all or part).
bool Deal(bool buy, double lots, ulong position, string comment)
  {
   long filling = SymbolInfoInteger(Symbol(), SYMBOL_FILLING_MODE);
   int digits = (int)SymbolInfoInteger(Symbol(), SYMBOL_DIGITS);
   for(int attempt = 1; attempt <= BARSIGHT_ORDER_TRIES; attempt++)
     {
      // A market order in a filling mode the symbol allows: fill or kill,
      // else immediate or cancel, else the exchange's return mode.
      MqlTradeRequest request;
      MqlTradeResult result;
      ZeroMemory(request);
      ZeroMemory(result);
      request.action = TRADE_ACTION_DEAL;
      request.symbol = Symbol();
      request.volume = lots;
      request.type = buy ? ORDER_TYPE_BUY : ORDER_TYPE_SELL;
      request.price = SymbolInfoDouble(Symbol(), buy ? SYMBOL_ASK : SYMBOL_BID);
      request.deviation = (ulong)BarsightSlippagePoints(Slippage, digits);
      request.position = position;
      request.magic = Magic;
      request.comment = comment;
      if((filling & SYMBOL_FILLING_FOK) != 0)
         request.type_filling = ORDER_FILLING_FOK;
      else if((filling & SYMBOL_FILLING_IOC) != 0)
         request.type_filling = ORDER_FILLING_IOC;
      else
         request.type_filling = ORDER_FILLING_RETURN;
      // OrderSend's true says only that the request went out; the server's
      // retcode says whether it became a deal.
      bool sent = OrderSend(request, result);
      if(sent && result.retcode == TRADE_RETCODE_DONE_PARTIAL)
        {
         Print("BarsightVSAExample: order partly filled: ", DoubleToString(result.volume, 2), " of ",
               DoubleToString(lots, 2), " lots");
         return(true);
        }
      if(sent && (result.retcode == TRADE_RETCODE_DONE || result.retcode == TRADE_RETCODE_PLACED))
         return(true);
      bool again = sent && (result.retcode == TRADE_RETCODE_REQUOTE || result.retcode == TRADE_RETCODE_PRICE_OFF ||
                            result.retcode == TRADE_RETCODE_PRICE_CHANGED);
      if(!again || attempt == BARSIGHT_ORDER_TRIES)
        {
         Print("BarsightVSAExample: OrderSend failed, retcode ", result.retcode, " (", result.comment, "), error ",
               GetLastError());
         return(false);
        }
     }
   return(false);
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
   double minimum = SymbolInfoDouble(Symbol(), SYMBOL_VOLUME_MIN);
   double maximum = SymbolInfoDouble(Symbol(), SYMBOL_VOLUME_MAX);
   double step = SymbolInfoDouble(Symbol(), SYMBOL_VOLUME_STEP);
   string refusal = BarsightLotsRefusal(Lots, minimum, maximum, step);
   double lots = (refusal == "") ? BarsightNormalizedLots(Lots, minimum, maximum, step) : 0;
   if(lots <= 0)
     {
      Print("BarsightVSAExample: Lots ", Lots, " is ", (refusal == "") ? "no size the symbol takes" : refusal,
            " (", minimum, " to ", maximum, " in steps of ", step, "): no order");
      return;
     }
   int side = strength ? POSITION_TYPE_BUY : POSITION_TYPE_SELL;
   int other = strength ? POSITION_TYPE_SELL : POSITION_TYPE_BUY;
   string comment = "Barsight " + BarsightSignalLabel(code);
   if(Netting())
     {
      // One position on the symbol, whoever opened it: a deal the other
      // way would reduce or reverse it, so it is closed by its ticket
      // first, and only when it is this advisor's.
      ulong held = OldestPosition(-1, false);
      if(held != 0)
        {
         if(PositionGetInteger(POSITION_MAGIC) != Magic)
           {
            Print("BarsightVSAExample: the symbol's position (netting account) is not this advisor's (magic ",
                  PositionGetInteger(POSITION_MAGIC), "): no order");
            return;
           }
         if(PositionGetInteger(POSITION_TYPE) == side)
           {
            Print("BarsightVSAExample: already ", strength ? "long" : "short", " (magic ", Magic, "): no new order");
            return;
           }
         if(!Deal(strength, PositionGetDouble(POSITION_VOLUME), held, comment))
            return;
        }
     }
   else
     {
      // This advisor's positions the other way, oldest first (a FIFO
      // account refuses any other order); a new one beside them would
      // hedge.
      int total = PositionsTotal();
      for(int closed = 0; closed <= total; closed++)
        {
         ulong ticket = OldestPosition(other, true);
         if(ticket == 0)
            break;
         if(!Deal(strength, PositionGetDouble(POSITION_VOLUME), ticket, comment) || closed == total)
           {
            Print("BarsightVSAExample: its ", strength ? "sell" : "buy", " positions are not all closed: no ",
                  strength ? "buy" : "sell", " order");
            return;
           }
        }
      if(OldestPosition(side, true) != 0)
        {
         Print("BarsightVSAExample: already ", strength ? "long" : "short", " (magic ", Magic, "): no new order");
         return;
        }
     }
   Deal(strength, lots, 0, comment);
  }

void OnTick()
  {
   datetime forming = iTime(Symbol(), PERIOD_CURRENT, 0);
   if(forming == LastBarTime)
      return;  // signals change only when a bar closes
   // BarsightVSA takes a new bar at its own first calculation, which may
   // come after this tick: until it has, its buffers are a bar behind, so
   // look again at the next tick (LastBarTime is not moved on).
   int calculated = BarsCalculated(Vsa);
   if(calculated < Bars(Symbol(), PERIOD_CURRENT))
     {
      // Said once, not at every tick: a copy that never calculates (no
      // history, a failed load) would otherwise leave the advisor silent.
      if(calculated < 0 && !Waiting)
         Print("BarsightVSAExample: waiting for BarsightVSA to calculate (error ", GetLastError(), ")");
      Waiting = calculated < 0;
      return;
     }
   if(Waiting)
      Print("BarsightVSAExample: BarsightVSA has calculated ", calculated, " bars");
   Waiting = false;
   // The bar that was forming at the last look is now at shift `last`: the
   // bars from shift last + 1 (its predecessor, provisional then) down to
   // shift 2 have been confirmed since. Without a last look (no bars at
   // OnInit), only shift 2. Of those, the newest with a signal, at most
   // MaxSignalAge bars old, is acted on.
   int last = (LastBarTime == 0) ? 1 : iBarShift(Symbol(), PERIOD_CURRENT, LastBarTime, true);
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
