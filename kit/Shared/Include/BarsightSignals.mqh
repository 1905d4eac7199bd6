//+------------------------------------------------------------------+
//| BarsightSignals.mqh: the ten signals of the Spreadcore engine as  |
//| the charts show them: name, short label, Wingdings glyph and      |
//| colour. Strength is drawn below the bar, weakness above it; no    |
//| two signals of one side share a glyph or a colour. A provisional |
//| signal (the newest closed bar, judged without its next close) is  |
//| drawn in its colour mixed halfway with grey.                      |
//| Include after BarsightPlugin.mqh.                                 |
//+------------------------------------------------------------------+

#define BARSIGHT_SIGNAL_COUNT 10

// The signals in the order the legend and the scanner list them.
int BarsightSignalCode(int index)
  {
   switch(index)
     {
      case 0: return(BARSIGHT_NO_SUPPLY);
      case 1: return(BARSIGHT_TEST);
      case 2: return(BARSIGHT_STOPPING_VOLUME);
      case 3: return(BARSIGHT_SHAKEOUT);
      case 4: return(BARSIGHT_SELLING_CLIMAX);
      case 5: return(BARSIGHT_EFFORT_TO_RISE);
      case 6: return(BARSIGHT_NO_DEMAND);
      case 7: return(BARSIGHT_UPTHRUST);
      case 8: return(BARSIGHT_EFFORT_TO_FALL);
      case 9: return(BARSIGHT_BUYING_CLIMAX);
     }
   return(0);
  }

// The index of a code in the order above, or -1 for a code that is no signal.
int BarsightSignalIndex(int code)
  {
   for(int index = 0; index < BARSIGHT_SIGNAL_COUNT; index++)
      if(BarsightSignalCode(index) == code)
         return(index);
   return(-1);
  }

// The signal's name, as the help pages and the MetaStock kit name it.
string BarsightSignalName(int code)
  {
   switch(code)
     {
      case BARSIGHT_NO_SUPPLY:       return("No supply");
      case BARSIGHT_TEST:            return("Test");
      case BARSIGHT_STOPPING_VOLUME: return("Stopping volume");
      case BARSIGHT_SHAKEOUT:        return("Shakeout");
      case BARSIGHT_SELLING_CLIMAX:  return("Selling climax");
      case BARSIGHT_EFFORT_TO_RISE:  return("Effort to rise");
      case BARSIGHT_NO_DEMAND:       return("No demand");
      case BARSIGHT_UPTHRUST:        return("Upthrust");
      case BARSIGHT_EFFORT_TO_FALL:  return("Effort to fall");
      case BARSIGHT_BUYING_CLIMAX:   return("Buying climax");
     }
   return("Signal");
  }

// The short text beside the arrow.
string BarsightSignalLabel(int code)
  {
   switch(code)
     {
      case BARSIGHT_NO_SUPPLY:       return("NS");
      case BARSIGHT_TEST:            return("T");
      case BARSIGHT_STOPPING_VOLUME: return("SV");
      case BARSIGHT_SHAKEOUT:        return("SO");
      case BARSIGHT_SELLING_CLIMAX:  return("SC");
      case BARSIGHT_EFFORT_TO_RISE:  return("ER");
      case BARSIGHT_NO_DEMAND:       return("ND");
      case BARSIGHT_UPTHRUST:        return("UT");
      case BARSIGHT_EFFORT_TO_FALL:  return("EF");
      case BARSIGHT_BUYING_CLIMAX:   return("BC");
     }
   return("?");
  }

// The Wingdings character of the signal's arrow object.
int BarsightSignalGlyph(int code)
  {
   switch(code)
     {
      case BARSIGHT_NO_SUPPLY:       return(233);  // up arrow
      case BARSIGHT_TEST:            return(225);  // thin up arrow
      case BARSIGHT_STOPPING_VOLUME: return(108);  // disc
      case BARSIGHT_SHAKEOUT:        return(241);  // thick up arrow
      case BARSIGHT_SELLING_CLIMAX:  return(171);  // star
      case BARSIGHT_EFFORT_TO_RISE:  return(110);  // square
      case BARSIGHT_NO_DEMAND:       return(234);  // down arrow
      case BARSIGHT_UPTHRUST:        return(242);  // thick down arrow
      case BARSIGHT_EFFORT_TO_FALL:  return(110);  // square
      case BARSIGHT_BUYING_CLIMAX:   return(171);  // star
     }
   return(159);  // small dot
  }

color BarsightSignalColor(int code)
  {
   switch(code)
     {
      case BARSIGHT_NO_SUPPLY:       return(clrLimeGreen);
      case BARSIGHT_TEST:            return(clrDeepSkyBlue);
      case BARSIGHT_STOPPING_VOLUME: return(clrDodgerBlue);
      case BARSIGHT_SHAKEOUT:        return(clrSpringGreen);
      case BARSIGHT_SELLING_CLIMAX:  return(clrAqua);
      case BARSIGHT_EFFORT_TO_RISE:  return(clrSeaGreen);
      case BARSIGHT_NO_DEMAND:       return(clrRed);
      case BARSIGHT_UPTHRUST:        return(clrOrange);
      case BARSIGHT_EFFORT_TO_FALL:  return(clrGold);
      case BARSIGHT_BUYING_CLIMAX:   return(clrMagenta);
     }
   return(clrGray);
  }

// A colour mixed halfway with grey (128, 128, 128): each channel (c + 128) / 2.
color BarsightDimmed(color shade)
  {
   int red = (int)(shade & 0xFF), green = (int)((shade >> 8) & 0xFF), blue = (int)((shade >> 16) & 0xFF);
   red = (red + 128) / 2;
   green = (green + 128) / 2;
   blue = (blue + 128) / 2;
   return((color)(red | (green << 8) | (blue << 16)));
  }

// The help page of a signal: SOS<code> for strength, SOW<-code> for weakness.
string BarsightSignalPage(int code)
  {
   return((code > 0) ? "SOS" + IntegerToString(code) : "SOW" + IntegerToString(-code));
  }

// A timeframe (a PERIOD_ value: minutes in MQL4, a code in MQL5) as the
// terminal writes it (M1 ... MN1).
string BarsightTimeframeText(int timeframe)
  {
   switch(timeframe)
     {
      case PERIOD_M1:  return("M1");
      case PERIOD_M5:  return("M5");
      case PERIOD_M15: return("M15");
      case PERIOD_M30: return("M30");
      case PERIOD_H1:  return("H1");
      case PERIOD_H4:  return("H4");
      case PERIOD_D1:  return("D1");
      case PERIOD_W1:  return("W1");
      case PERIOD_MN1: return("MN1");
     }
   return("TF" + IntegerToString(timeframe));
  }

// `text` without leading and trailing spaces and tabs. (Written out: the
// trimming built-ins return the text in MQL4 but trim in place in MQL5.)
string BarsightTrimmed(string text)
  {
   int first = 0, last = StringLen(text) - 1;
   while(first <= last && (StringGetCharacter(text, first) == ' ' || StringGetCharacter(text, first) == '\t'))
      first++;
   while(last >= first && (StringGetCharacter(text, last) == ' ' || StringGetCharacter(text, last) == '\t'))
      last--;
   return(StringSubstr(text, first, last - first + 1));
  }

// The PERIOD_ value of a timeframe text (M1 ... MN1, any case), or -1.
int BarsightTimeframe(string text)
  {
   string wanted = BarsightTrimmed(text);
   StringToUpper(wanted);
   int known[9];
   known[0] = PERIOD_M1; known[1] = PERIOD_M5; known[2] = PERIOD_M15;
   known[3] = PERIOD_M30; known[4] = PERIOD_H1; known[5] = PERIOD_H4;
   known[6] = PERIOD_D1; known[7] = PERIOD_W1; known[8] = PERIOD_MN1;
   for(int k = 0; k < 9; k++)
      if(BarsightTimeframeText(known[k]) == wanted)
         return(known[k]);
   return(-1);
  }
//+------------------------------------------------------------------+
