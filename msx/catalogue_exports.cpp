#include "msx/catalogue_exports.h"

extern "C" {

MSX_API int32_t MSXInfo(MSXDLLDef* a_psDLLDef) {
    return msx::plugin_catalogue().info(a_psDLLDef);
}

MSX_API int32_t MSXNthFunction(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) {
    return msx::plugin_catalogue().nth_function(a_iNthFunc, a_psFuncDef);
}

MSX_API int32_t MSXNthArg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) {
    return msx::plugin_catalogue().nth_arg(a_iNthFunc, a_iNthArg, a_psFuncArgDef);
}

MSX_API int32_t MSXNthCustomString(int32_t a_iNthFunc, int32_t a_iNthArg, int32_t a_iNthString,
                                   MSXFuncCustomString* a_psCustomString) {
    return msx::plugin_catalogue().nth_custom_string(a_iNthFunc, a_iNthArg, a_iNthString, a_psCustomString);
}

}  // extern "C"
