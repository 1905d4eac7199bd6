//+------------------------------------------------------------------+
//| CheckAccepted.mq5 (tests only): MQL5 that MetaEditor compiles and |
//| the runner must run as the terminal does, each line printed.      |
//+------------------------------------------------------------------+
#property indicator_buffers 1
#property indicator_plots   1
#include <Trade\Trade.mqh>

input group "Sizes";
input double Lots = 0.1;  // the lots of each deal

int Scale = 2;
double Values[];
CTrade Trade;

namespace Maths
  {
   int Twice(int v) { return(v * ::Scale); }
   int Four(int v) { return(Twice(Twice(v)) / 2); }
  }

// A class whose methods are defined outside it.
class Tally
  {
public:
   int               total;
   void              Add(int step = 1);
   int               Get() const;
   static int        Sum(const int &v[]);
  };

void Tally::Add(int step)
  {
   total += step;
  }

int Tally::Get() const
  {
   return(total);
  }

int Tally::Sum(const int &v[])
  {
   int sum = 0;
   for(int k = 0; k < ArraySize(v); k++)
      sum += v[k];
   return(sum);
  }

template<typename T>
T Larger(T a, T b)
  {
   return(a > b ? a : b);
  }

void OnStart()
  {
   Print("namespace ", Maths::Four(3));
   Print("template ", Larger(2, 5), " ", Larger(1.5, -2.0));
   Tally tally;
   tally.total = 0;
   tally.Add();
   tally.Add(3);
   int parts[];
   ArrayResize(parts, 2);
   parts[0] = 5;
   parts[1] = 6;
   Print("methods ", tally.Get(), " ", Tally::Sum(parts));
   bool first = PlotIndexSetString(0, PLOT_LABEL, "one");
   Print("plots ", first, " ", PlotIndexSetString(1, PLOT_LABEL, "two"));
   Trade.SetExpertMagicNumber(7);
   Trade.SetTypeFilling(ORDER_FILLING_IOC);
   bool bought = Trade.Buy(Lots);
   Print("buy ", bought, " ", Trade.ResultRetcode());
   bool closed = Trade.PositionClose(Symbol());
   uint retcode = Trade.ResultRetcode();
   bool again = Trade.PositionClose(Symbol());
   Print("close ", closed, " ", retcode, " again ", again);
   bool sold = Trade.Sell(Lots, Symbol());
   Print("sell ", sold, " ", Trade.ResultRetcode() == TRADE_RETCODE_DONE);
  }
