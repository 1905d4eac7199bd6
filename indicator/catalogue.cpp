#include "indicator/catalogue.h"

#ifndef BARSIGHT_VERSION
#define BARSIGHT_VERSION "0.0.0"
#endif

namespace barsight::catalogue {

const char kCopyright[] = "Barsight VSA indicators " BARSIGHT_VERSION " (c) 2026 Barsight";

}  // namespace barsight::catalogue
