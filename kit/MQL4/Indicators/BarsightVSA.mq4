//+------------------------------------------------------------------+
//| BarsightVSA.mq4: the Spreadcore engine's volume spread analysis   |
//| signals on the price chart. Each signal has its own glyph, colour |
//| and short label (BarsightSignals.mqh): strength below the bar,    |
//| weakness above it; the newest closed bar's signal is provisional  |
//| (drawn dimmer) until the next bar closes. A legend lists the      |
//| signals on the visible bars; a click on an arrow, a label or a    |
//| legend row opens the signal's help page.                          |
//| Needs Spreadcore.dll and BarsightPlugin.dll in MQL4\Libraries and |
//| "Allow DLL imports" ticked: without them the terminal refuses to  |
//| load the indicator.                                               |
//|                                                                   |
//| Buffers for iCustom (shift 0 is the forming bar, always 0):       |
//|   0  the code of each closed bar (provisional on shift 1)         |
//|   1  the confirmed code (0 on shift 1)                            |
//|   2  the confirmed code when it is strength, else 0               |
//|   3  the confirmed code when it is weakness, else 0               |
//| They hold values whatever is drawn or shown.                      |
//|   4  the price of each shown strength arrow (EMPTY_VALUE: none)   |
//|   5  the price of each shown weakness arrow                       |
//| Buffers 4 and 5 draw the arrows: one glyph and colour a side (a   |
//| buffer has one); the label beside each names the signal.          |
//+------------------------------------------------------------------+
#property strict
#property indicator_chart_window
#property indicator_buffers 6
#property indicator_color1 clrNONE
#property indicator_color2 clrNONE
#property indicator_color3 clrNONE
#property indicator_color4 clrNONE
#property indicator_color5 clrLimeGreen
#property indicator_color6 clrRed

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

#include <BarsightVSA.mqh>

// Four code buffers, drawn as nothing, 0 when empty; two arrow buffers.
void VsaSetBuffers()
  {
   SetIndexBuffer(0, Codes);
   SetIndexBuffer(1, Confirmed);
   SetIndexBuffer(2, StrengthCodes);
   SetIndexBuffer(3, WeaknessCodes);
   for(int index = 0; index < 4; index++)
     {
      SetIndexStyle(index, DRAW_NONE);
      SetIndexEmptyValue(index, 0.0);
     }
   SetIndexLabel(0, "VSA signal");
   SetIndexLabel(1, "VSA confirmed");
   SetIndexLabel(2, "VSA confirmed strength");
   SetIndexLabel(3, "VSA confirmed weakness");
   SetIndexBuffer(4, StrengthArrows);
   SetIndexBuffer(5, WeaknessArrows);
   SetIndexStyle(4, DRAW_ARROW, STYLE_SOLID, 1, BarsightSignalColor(BARSIGHT_NO_SUPPLY));
   SetIndexStyle(5, DRAW_ARROW, STYLE_SOLID, 1, BarsightSignalColor(BARSIGHT_NO_DEMAND));
   SetIndexArrow(4, VSA_STRENGTH_GLYPH);
   SetIndexArrow(5, VSA_WEAKNESS_GLYPH);
   SetIndexEmptyValue(4, EMPTY_VALUE);
   SetIndexEmptyValue(5, EMPTY_VALUE);
   SetIndexLabel(4, "VSA strength arrow");
   SetIndexLabel(5, "VSA weakness arrow");
   IndicatorDigits(0);  // codes are whole numbers in the Data Window
  }
//+------------------------------------------------------------------+
