//+------------------------------------------------------------------+
//| CheckAccepted.mq4 (tests only): MQL4 that MetaEditor compiles and |
//| the runner must run as the terminal does, each line printed.      |
//+------------------------------------------------------------------+
#property strict
#property indicator_buffers 1

extern int Step = 2;  // an extern: the program may change it
input int Index = 0;  // an index into the fixed arrays (3 and 2 elements)

double First[], Second[];

int Count()
  {
   static int calls = 0;  // kept between calls
   calls++;
   return(calls);
  }

int Fall(int v)
  {
   int r = 0;
   switch(v)
     {
      case 1:
         r += 1;      // falls through, as the reference's example does
      case 2:
         r += 10;
         break;
      default:
         r = -1;
     }
   return(r);
  }

void OnStart()
  {
   Step++;
   Print("extern ", Step);
   // (MQL evaluates a call's arguments last first: one call a statement)
   int first = Count();
   int second = Count();
   Print("static ", first, " ", second);
   double a[], b = 2.5;
   ArrayResize(a, 2);
   Print("list ", ArraySize(a), " ", b);
   Print("periods ", PERIOD_M2, " ", PERIOD_H2, " ", PERIOD_H12);
   Print("fall ", Fall(1), " ", Fall(2), " ", Fall(3));
   // indicator_buffers 1: a second buffer only after IndicatorBuffers(2)
   bool bound = SetIndexBuffer(0, First);
   bool beyond = SetIndexBuffer(1, Second);
   bool more = IndicatorBuffers(2);
   Print("buffers ", bound, " ", beyond, " ", more, " ", SetIndexBuffer(1, Second));
   int values[3] = {4, 5, 6};
   Print("fixed ", values[Index]);
   // several fixed-size arrays in one declaration, each checked
   int count = 2, pair[2] = {7, 8}, trio[3];
   trio[2] = pair[1] + count;
   Print("fixed list ", pair[Index], " ", trio[2]);
  }
