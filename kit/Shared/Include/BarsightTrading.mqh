//+------------------------------------------------------------------+
//| BarsightTrading.mqh: what the sample Expert Advisors need to send |
//| an order the trade server takes, in MQL4 and MQL5 alike.         |
//+------------------------------------------------------------------+

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
