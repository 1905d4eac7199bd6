#include "platform/stdcall_thunk.h"

namespace platform {

#if defined(__i386__)
// cdecl: (address, words, count, float_result, result*) -> stack difference.
// The arguments are copied to a 16-byte aligned block, the export is called,
// and the stack pointer it leaves is compared with the one a correct stdcall
// callee leaves (the block popped). The frame pointer restores the stack
// either way.
extern "C" std::int32_t platform_stdcall_checked(void* address, const std::uint32_t* words, int count,
                                              int float_result, StdcallResult* result)
    asm("platform_stdcall_checked");
asm(R"(
    .text
    .globl platform_stdcall_checked
platform_stdcall_checked:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx
    leal 0(,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp
    movl 12(%ebp), %esi
    movl %esp, %edi
    cld
    rep movsl
    movl %edi, %ebx
    call *8(%ebp)
    movl 24(%ebp), %ecx
    movl %eax, 0(%ecx)
    movl %edx, 4(%ecx)
    cmpl $0, 20(%ebp)
    je 1f
    fstpl 8(%ecx)
1:
    movl %esp, %eax
    subl %ebx, %eax
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

bool call_stdcall_checked(void* address, const std::uint32_t* words, int count, bool float_result,
                          StdcallResult* result, std::int32_t* stack_difference) {
    *stack_difference = platform_stdcall_checked(address, words, count, float_result ? 1 : 0, result);
    return true;
}
#else
bool call_stdcall_checked(void*, const std::uint32_t*, int, bool, StdcallResult*, std::int32_t* stack_difference) {
    *stack_difference = 0;
    return false;
}
#endif

}  // namespace platform
