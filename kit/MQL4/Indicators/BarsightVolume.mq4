//+------------------------------------------------------------------+
//| BarsightVolume.mq4: the volume pane of volume spread analysis.    |
//| A histogram of tick volume coloured by one of two readings, and   |
//| a moving average of volume.                                       |
//|  Colouring 0 (up/down, default): CalcVolumeColor's classes:       |
//|    low (below both previous volumes), down bar, up bar, unchanged |
//|  Colouring 1 (volume classes): volume against its average over    |
//|    the last AveragePeriod bars, with VSASpread's class limits:    |
//|    low (at most 6/7 of the average; on a narrow spread, below 0.8 |
//|    of the average spread, low-volume churn), normal, high (above  |
//|    12/7; narrow: churn, much effort, little progress), climax     |
//|    (above twice the average) on an up or a down bar, and climax   |
//|    churn (climax volume on a narrow spread).                      |
//| MaxBars limits the pane to the newest bars, PaintBars paints the  |
//| price bars in their colour; colours follow the chart's            |
//| background. Each colour is named in the Data Window and on its    |
//| help page.                                                        |
//| The VSA signals themselves are BarsightVSA's, on the price chart. |
//+------------------------------------------------------------------+
#property strict
#property indicator_separate_window
#property indicator_minimum 0
#property indicator_buffers 9

// No DLL: the pane imports nothing, so it runs where DLL imports are
// not allowed (virtual hosting, cloud agents).
#include <BarsightVolumeColor.mqh>
#include <BarsightSignalTable.mqh>
#include <BarsightSignals.mqh>

input int  Colouring     = 0;      // 0 up/down bars, 1 volume classes
input int  AveragePeriod = 20;     // Bars in the moving average of volume (0 hides it)
input int  MaxBars       = 0;      // Newest bars the pane shows (0 = all)
input bool PaintBars     = false;  // Paint the newest 1000 price bars in their volume colour

#include <BarsightVolume.mqh>

int OnInit()
  {
   if(!VolumeInputsValid())
      return(INIT_PARAMETERS_INCORRECT);
   SetIndexBuffer(0, Class0);
   SetIndexBuffer(1, Class1);
   SetIndexBuffer(2, Class2);
   SetIndexBuffer(3, Class3);
   SetIndexBuffer(4, Class4);
   SetIndexBuffer(5, Average);
   SetIndexBuffer(6, Class6);
   SetIndexBuffer(7, Class7);
   SetIndexBuffer(8, Class8);
   for(int buffer = 0; buffer < VOLUME_BUFFERS; buffer++)
     {
      if(!VolumeDrawn(buffer))
        {
         SetIndexStyle(buffer, DRAW_NONE);
         SetIndexLabel(buffer, NULL);
        }
      else if(buffer == VOLUME_AVERAGE)
        {
         SetIndexStyle(buffer, DRAW_LINE, STYLE_SOLID, 1, BarsightOnChart(clrGold, BarsightBackground()));
         SetIndexLabel(buffer, "Average volume (" + IntegerToString(AveragePeriod) + ")");
        }
      else
        {
         SetIndexStyle(buffer, DRAW_HISTOGRAM, EMPTY, 3, VolumeColor(buffer));
         SetIndexLabel(buffer, VolumeLabel(buffer));
        }
     }
   IndicatorShortName("Barsight volume");
   IndicatorDigits(0);
   return(INIT_SUCCEEDED);
  }
//+------------------------------------------------------------------+
