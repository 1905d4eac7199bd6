//+------------------------------------------------------------------+
//| BarsightVolumeColor.mqh: the up/down volume colour of a bar, the  |
//| rule of BarsightPlugin.dll's CalcVolumeColor written in MQL, so   |
//| that the volume pane needs no DLL. BarsightPlugin.mqh includes    |
//| it; a program without DLL imports includes it alone.              |
//+------------------------------------------------------------------+

// Volume colour classes (CalcVolumeColor's answers).
#define BARSIGHT_VOLUME_LOW        1   // below both comparison volumes
#define BARSIGHT_VOLUME_DOWN       2   // close below the comparison close
#define BARSIGHT_VOLUME_UP         3   // close above the comparison close
#define BARSIGHT_VOLUME_UNCHANGED  4   // closes equal (or not comparable)

// The class of a bar of volume vol0 and close close0 against the two
// volumes before it (vol1, vol2) and the previous close (close1), the
// first rule that holds: low volume, then a down bar, then an up bar,
// else unchanged.
int BarsightVolumeColor(const double vol0, const double vol1, const double vol2, const double close0,
                        const double close1)
  {
   if(vol0 < vol1 && vol0 < vol2)
      return(BARSIGHT_VOLUME_LOW);
   if(close0 < close1)
      return(BARSIGHT_VOLUME_DOWN);
   if(close0 > close1)
      return(BARSIGHT_VOLUME_UP);
   return(BARSIGHT_VOLUME_UNCHANGED);
  }
//+------------------------------------------------------------------+
