//+------------------------------------------------------------------+
//| BarsightVolume.mq5: the volume pane of volume spread analysis.    |
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
#property indicator_separate_window
#property indicator_minimum 0
#property indicator_buffers 9
#property indicator_plots   9

// No DLL: the pane imports nothing, so it runs where DLL imports are
// not allowed (virtual hosting, cloud agents).
#include <BarsightVolumeColor.mqh>
#include <BarsightSignalTable.mqh>
#include <BarsightSignals.mqh>

input int  Colouring     = 0;      // 0 up/down bars, 1 volume classes
input int  AveragePeriod = 20;     // Bars in the moving average of volume (0 hides it)
input int  MaxBars       = 0;      // Newest bars the pane shows (0 = all)
input bool PaintBars     = false;  // Paint the newest 1000 price bars in their volume colour
input int  VolumeSource  = 0;      // 0 tick volume, 1 real volume (exchange symbols)

#include <BarsightVolume.mqh>

void VolumePlot(const int index, const int type, const color shade, const int width, const string label)
  {
   PlotIndexSetInteger(index, PLOT_DRAW_TYPE, type);
   PlotIndexSetInteger(index, PLOT_LINE_COLOR, shade);
   PlotIndexSetInteger(index, PLOT_LINE_WIDTH, width);
   PlotIndexSetString(index, PLOT_LABEL, label);
   PlotIndexSetDouble(index, PLOT_EMPTY_VALUE, EMPTY_VALUE);
   // A plot that draws nothing has no row in the Data Window.
   PlotIndexSetInteger(index, PLOT_SHOW_DATA, type != DRAW_NONE);
  }

int OnInit()
  {
   if(!VolumeInputsValid())
      return(INIT_PARAMETERS_INCORRECT);
   if(VolumeSource != 0 && VolumeSource != 1)
     {
      Print("BarsightVolume: VolumeSource must be 0 (tick volume) or 1 (real volume), not ", VolumeSource);
      return(INIT_PARAMETERS_INCORRECT);
     }
   SetIndexBuffer(0, Class0, INDICATOR_DATA);
   SetIndexBuffer(1, Class1, INDICATOR_DATA);
   SetIndexBuffer(2, Class2, INDICATOR_DATA);
   SetIndexBuffer(3, Class3, INDICATOR_DATA);
   SetIndexBuffer(4, Class4, INDICATOR_DATA);
   SetIndexBuffer(5, Average, INDICATOR_DATA);
   SetIndexBuffer(6, Class6, INDICATOR_DATA);
   SetIndexBuffer(7, Class7, INDICATOR_DATA);
   SetIndexBuffer(8, Class8, INDICATOR_DATA);
   for(int buffer = 0; buffer < VOLUME_BUFFERS; buffer++)
     {
      if(!VolumeDrawn(buffer))
         VolumePlot(buffer, DRAW_NONE, clrNONE, 1, "");
      else if(buffer == VOLUME_AVERAGE)
         VolumePlot(buffer, DRAW_LINE, BarsightOnChart(clrGold, BarsightBackground()), 1,
                    "Average volume (" + IntegerToString(AveragePeriod) + ")");
      else
         VolumePlot(buffer, DRAW_HISTOGRAM, VolumeColor(buffer), 3, VolumeLabel(buffer));
     }
   IndicatorSetString(INDICATOR_SHORTNAME, "Barsight volume");
   IndicatorSetInteger(INDICATOR_DIGITS, 0);
   return(INIT_SUCCEEDED);
  }
//+------------------------------------------------------------------+
