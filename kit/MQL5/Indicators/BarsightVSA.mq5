//+------------------------------------------------------------------+
//| BarsightVSA.mq5: the Spreadcore engine's volume spread analysis   |
//| signals on the price chart. Each signal has its own glyph, colour |
//| and short label (BarsightSignals.mqh): strength below the bar,    |
//| weakness above it; the newest closed bar's signal is provisional  |
//| (drawn dimmer) until the next bar closes. A legend lists the      |
//| signals on the visible bars; a click on an arrow, a label or a    |
//| legend row opens the signal's help page.                          |
//| Needs Spreadcore.dll and BarsightPlugin.dll in MQL5\Libraries and |
//| "Allow DLL imports" ticked: without them the terminal refuses to  |
//| load the indicator.                                               |
//|                                                                   |
//| Buffers for CopyBuffer (position 0 is the forming bar, always 0):|
//|   0  the code of each closed bar (provisional on shift 1)         |
//|   1  the confirmed code (0 on shift 1)                            |
//|   2  the confirmed code when it is strength, else 0               |
//|   3  the confirmed code when it is weakness, else 0               |
//| They hold values whatever is drawn or shown.                      |
//|   4  the price of each shown strength arrow (EMPTY_VALUE: none)   |
//|   5  its colour index (the signal's colour)                       |
//|   6  the price of each shown weakness arrow                       |
//|   7  its colour index                                             |
//+------------------------------------------------------------------+
#property indicator_chart_window
#property indicator_buffers 8
#property indicator_plots   6
#property indicator_color1 clrNONE
#property indicator_color2 clrNONE
#property indicator_color3 clrNONE
#property indicator_color4 clrNONE

#include <BarsightPlugin.mqh>
#include <BarsightSignals.mqh>

// The first seven inputs keep their places: iCustom passes inputs by position.
input int  MaxBars       = 5000;   // Closed bars analysed at attach (0 = all); later bars add on
input bool ShowStrength  = true;   // Show signs of strength
input bool ShowWeakness  = true;   // Show signs of weakness
input bool AlertOnSignal = false;  // Alert when a bar's signal is confirmed (shift 2)
input bool AlertProvisional = false;  // Also alert on the newest closed bar's provisional signal
input bool HelpOnHover   = false;  // Open the help page when an arrow's tooltip shows
input bool DrawArrows    = true;   // Draw arrows (false for a copy read by iCustom)
input int  Periods       = 9;      // Averaging length of the engine's rules (1 to 10000 bars)
input bool ShowLabels    = true;   // Short label beside each arrow (NS, T, ...)
input bool ShowLegend    = true;   // Legend of the signals on the visible bars
input bool ShowLevels    = true;   // Lines at the support, resistance and range levels
#include <BarsightSignalInputs.mqh>
input color TextColor        = clrNONE;  // Legend text colour (None: the chart's text colour)
input bool  VisibleObjectsOnly = true;  // Arrow and label objects on the visible bars only
input int   VolumeSource     = 0;        // 0 tick volume, 1 real volume (exchange symbols)

#include <BarsightVSA.mqh>

// One side's arrows: a colour for each of its signals, then the same
// dimmed (provisional), as they stand out on this chart.
void VsaArrowPlot(const int plot, const bool strength)
  {
   int count = VsaSideCount(strength);
   color background = BarsightBackground();
   PlotIndexSetInteger(plot, PLOT_DRAW_TYPE, DRAW_COLOR_ARROW);
   PlotIndexSetInteger(plot, PLOT_ARROW, strength ? VSA_STRENGTH_GLYPH : VSA_WEAKNESS_GLYPH);
   PlotIndexSetInteger(plot, PLOT_COLOR_INDEXES, 2 * count);
   PlotIndexSetDouble(plot, PLOT_EMPTY_VALUE, EMPTY_VALUE);
   PlotIndexSetString(plot, PLOT_LABEL, strength ? "VSA strength arrow" : "VSA weakness arrow");
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
     {
      int code = BarsightSignalCode(index);
      if((code > 0) != strength)
         continue;
      color shade = BarsightSignalColor(code);
      int place = VsaSideIndex(code);
      PlotIndexSetInteger(plot, PLOT_LINE_COLOR, place, BarsightOnChart(shade, background));
      PlotIndexSetInteger(plot, PLOT_LINE_COLOR, place + count, BarsightOnChart(BarsightDimmed(shade), background));
     }
  }

// Four code buffers, drawn as nothing, 0 when empty; two arrow plots in
// their signals' colours (buffers 4 to 7).
// Bound as they are; OnCalculate makes them series (index 0 the forming
// bar), as it does the price arrays.
void VsaSetBuffers()
  {
   SetIndexBuffer(0, Codes, INDICATOR_DATA);
   SetIndexBuffer(1, Confirmed, INDICATOR_DATA);
   SetIndexBuffer(2, StrengthCodes, INDICATOR_DATA);
   SetIndexBuffer(3, WeaknessCodes, INDICATOR_DATA);
   for(int index = 0; index < 4; index++)
     {
      PlotIndexSetInteger(index, PLOT_DRAW_TYPE, DRAW_NONE);
      PlotIndexSetDouble(index, PLOT_EMPTY_VALUE, 0.0);
      // Codes for Expert Advisors (CopyBuffer), not for the Data Window,
      // where they would stand as rows blank on almost every bar.
      PlotIndexSetInteger(index, PLOT_SHOW_DATA, false);
     }
   PlotIndexSetString(0, PLOT_LABEL, "VSA signal");
   PlotIndexSetString(1, PLOT_LABEL, "VSA confirmed");
   PlotIndexSetString(2, PLOT_LABEL, "VSA confirmed strength");
   PlotIndexSetString(3, PLOT_LABEL, "VSA confirmed weakness");
   SetIndexBuffer(4, StrengthArrows, INDICATOR_DATA);
   SetIndexBuffer(5, StrengthShades, INDICATOR_COLOR_INDEX);
   SetIndexBuffer(6, WeaknessArrows, INDICATOR_DATA);
   SetIndexBuffer(7, WeaknessShades, INDICATOR_COLOR_INDEX);
   VsaArrowPlot(4, true);
   VsaArrowPlot(5, false);
   IndicatorSetInteger(INDICATOR_DIGITS, 0);  // codes are whole numbers in the Data Window
  }
//+------------------------------------------------------------------+
