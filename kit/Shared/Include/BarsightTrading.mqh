//+------------------------------------------------------------------+
//| BarsightTrading.mqh: what the sample Expert Advisors need to send |
//| an order the trade server takes, in MQL4 and MQL5 alike.         |
//+------------------------------------------------------------------+

// Why `lots` is no order size for a symbol with these terms (its minimum
// and maximum lot and its lot step), or "" when it is one. A size beyond
// the maximum is refused, not cut down to it: Lots=1e308 is a typing
// mistake, not an order for the largest lot the symbol takes.
string BarsightLotsRefusal(double lots, double minimum, double maximum, double step)
  {
   if(step <= 0 || minimum <= 0 || maximum < minimum)
      return("no size: the symbol's lot terms are unknown");
   if(!(lots >= minimum))  // a size that is no number fails here too
      return("below the symbol's minimum lot");
   if(!(lots <= maximum))
      return("above the symbol's maximum lot");
   return("");
  }

// `lots` as the symbol trades it: a whole number of steps (rounded down,
// so an order is never larger than asked), within its minimum and maximum.
// 0 when even the minimum is more than asked or the terms are unknown.
double BarsightNormalizedLots(double lots, double minimum, double maximum, double step)
  {
   if(step <= 0 || minimum <= 0 || maximum < minimum || lots < minimum)
      return(0);
   double steps = MathFloor(lots / step + 1e-9);
   double normalized = steps * step;
   if(normalized > maximum)
      normalized = MathFloor(maximum / step + 1e-9) * step;
   if(normalized < minimum)
      normalized = minimum;
   int digits = 0;
   while(digits < 8 && MathAbs(step * MathPow(10, digits) - MathRound(step * MathPow(10, digits))) > 1e-9)
      digits++;
   return(NormalizeDouble(normalized, digits));
  }
//+------------------------------------------------------------------+

// How many times an order or a close is sent when the dealer answers with
// a requote or no price: each time at fresh prices, then it gives up.
#define BARSIGHT_ORDER_TRIES 3
// The pause before sending again, in milliseconds: a busy trade context
// (MetaTrader 4's error 146, another advisor's order under way) frees
// itself in a moment, and a requoted price needs a new tick; sent again at
// once, the order meets the same answer.
#define BARSIGHT_RETRY_PAUSE 500

// Slippage of `pips` in the points of a quote with `digits` decimals: a
// 3- or 5-digit quote (0.00001 EURUSD, 0.001 USDJPY) has ten points to the
// pip, so 3 pips are 30 points there and 3 on a 2- or 4-digit quote.
int BarsightSlippagePoints(int pips, int digits)
  {
   if(digits == 3 || digits == 5)
      return(pips * 10);
   return(pips);
  }
