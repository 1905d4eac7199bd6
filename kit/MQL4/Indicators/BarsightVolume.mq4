//+------------------------------------------------------------------+
//| BarsightVolume.mq4: the volume pane of volume spread analysis.    |
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
#property strict
#property indicator_separate_window
#property indicator_minimum 0
#property indicator_buffers 6
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
   if(Colouring == VOLUME_UP_DOWN)
     {
      SetIndexStyle(0, DRAW_HISTOGRAM, EMPTY, 3, clrSilver); SetIndexLabel(0, "Low volume");
      SetIndexStyle(1, DRAW_HISTOGRAM, EMPTY, 3, clrRed);    SetIndexLabel(1, "Down volume");
      SetIndexStyle(2, DRAW_HISTOGRAM, EMPTY, 3, clrGreen);  SetIndexLabel(2, "Up volume");
      SetIndexStyle(3, DRAW_HISTOGRAM, EMPTY, 3, clrBlue);   SetIndexLabel(3, "Unchanged");
      SetIndexStyle(4, DRAW_NONE);                           SetIndexLabel(4, NULL);
     }
   else
     {
      SetIndexStyle(0, DRAW_HISTOGRAM, EMPTY, 3, clrDimGray);   SetIndexLabel(0, "Low volume");
      SetIndexStyle(1, DRAW_HISTOGRAM, EMPTY, 3, clrSteelBlue); SetIndexLabel(1, "Normal volume");
      SetIndexStyle(2, DRAW_HISTOGRAM, EMPTY, 3, clrOrange);    SetIndexLabel(2, "High volume");
      SetIndexStyle(3, DRAW_HISTOGRAM, EMPTY, 3, clrMagenta);   SetIndexLabel(3, "Climax volume");
      SetIndexStyle(4, DRAW_HISTOGRAM, EMPTY, 3, clrYellow);    SetIndexLabel(4, "High-volume churn");
     }
   if(AveragePeriod > 0)
     {
      SetIndexStyle(5, DRAW_LINE, STYLE_SOLID, 1, clrGold);
      SetIndexLabel(5, "Average volume (" + IntegerToString(AveragePeriod) + ")");
     }
   else
     {
      SetIndexStyle(5, DRAW_NONE);
      SetIndexLabel(5, NULL);
     }
   IndicatorShortName("Barsight volume");
   IndicatorDigits(0);
   return(INIT_SUCCEEDED);
  }
//+------------------------------------------------------------------+
