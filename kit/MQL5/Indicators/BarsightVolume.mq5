//+------------------------------------------------------------------+
//| BarsightVolume.mq5: the volume pane of volume spread analysis.    |
//| A histogram of tick volume coloured by one of two readings, and   |
//| a moving average of volume.                                       |
//|  Colouring 0 (up/down, default): CalcVolumeColor's classes:       |
//|    low (below both previous volumes), down bar, up bar, unchanged |
//|  Colouring 1 (volume classes): volume against its average over    |
//|    the last AveragePeriod bars, with VSASpread's class limits:    |
//|    low (at most 6/7 of the average), normal, high (above 12/7),   |
//|    climax (above twice the average), and high-volume churn (high  |
//|    or climax volume on a narrow spread, below 0.8 of the average  |
//|    spread: much effort, little progress).                         |
//| Each colour is named in the Data Window and on its help page.     |
//| The VSA signals themselves are BarsightVSA's, on the price chart. |
//+------------------------------------------------------------------+
#property indicator_separate_window
#property indicator_minimum 0
#property indicator_buffers 6
#property indicator_plots   6
#property indicator_color1 clrSilver
#property indicator_color2 clrRed
#property indicator_color3 clrGreen
#property indicator_color4 clrBlue
#property indicator_color5 clrYellow
#property indicator_color6 clrGold
#property indicator_width1 3
#property indicator_width2 3
#property indicator_width3 3
#property indicator_width4 3
#property indicator_width5 3
#property indicator_width6 1

#include <BarsightPlugin.mqh>

input int Colouring     = 0;   // 0 up/down bars (CalcVolumeColor), 1 volume classes
input int AveragePeriod = 20;  // Bars in the moving average of volume (0 hides it)

#include <BarsightVolume.mqh>

// One plot: how it is drawn, its colour and width, its Data Window name;
// a bar without a value in it shows nothing.
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
   SetIndexBuffer(0, Class0, INDICATOR_DATA);
   SetIndexBuffer(1, Class1, INDICATOR_DATA);
   SetIndexBuffer(2, Class2, INDICATOR_DATA);
   SetIndexBuffer(3, Class3, INDICATOR_DATA);
   SetIndexBuffer(4, Class4, INDICATOR_DATA);
   SetIndexBuffer(5, Average, INDICATOR_DATA);
   if(Colouring == VOLUME_UP_DOWN)
     {
      VolumePlot(0, DRAW_HISTOGRAM, clrSilver, 3, "Low volume");
      VolumePlot(1, DRAW_HISTOGRAM, clrRed, 3, "Down volume");
      VolumePlot(2, DRAW_HISTOGRAM, clrGreen, 3, "Up volume");
      VolumePlot(3, DRAW_HISTOGRAM, clrBlue, 3, "Unchanged");
      VolumePlot(4, DRAW_NONE, clrNONE, 1, "");
     }
   else
     {
      VolumePlot(0, DRAW_HISTOGRAM, clrDimGray, 3, "Low volume");
      VolumePlot(1, DRAW_HISTOGRAM, clrSteelBlue, 3, "Normal volume");
      VolumePlot(2, DRAW_HISTOGRAM, clrOrange, 3, "High volume");
      VolumePlot(3, DRAW_HISTOGRAM, clrMagenta, 3, "Climax volume");
      VolumePlot(4, DRAW_HISTOGRAM, clrYellow, 3, "High-volume churn");
     }
   if(AveragePeriod > 0)
      VolumePlot(5, DRAW_LINE, clrGold, 1, "Average volume (" + IntegerToString(AveragePeriod) + ")");
   else
      VolumePlot(5, DRAW_NONE, clrNONE, 1, "");
   IndicatorSetString(INDICATOR_SHORTNAME, "Barsight volume");
   IndicatorSetInteger(INDICATOR_DIGITS, 0);
   return(INIT_SUCCEEDED);
  }
//+------------------------------------------------------------------+
