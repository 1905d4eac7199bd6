// The four catalogue queries every MSX plug-in exports (MSXInfo,
// MSXNthFunction, MSXNthArg, MSXNthCustomString), defined once in
// msx/catalogue_exports.cpp for both plug-ins. Each answers from the
// catalogue of the library it is linked into, which that library names by
// defining msx::plugin_catalogue().
#pragma once

#include "msx/msx_catalogue.h"

namespace msx {

// The catalogue of the library being built (defined by each plug-in).
const Catalogue& plugin_catalogue() noexcept;

}  // namespace msx
