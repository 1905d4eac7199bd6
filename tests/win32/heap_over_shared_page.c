/* Loaded (LD_PRELOAD) into the Linux side of a Wine program before Wine's
   own code runs: stretches the C library's heap (brk) over 0x7ffe0000, the
   page Wine maps the shared user data at in every process, as the kernel's
   random heap start now and then does by itself. Says on stderr whether the
   heap could be stretched ("heap over the page") or not ("heap kept off the
   page": the address was taken before the C library ran). */
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

__attribute__((constructor)) static void stretch_heap(void) {
    const uintptr_t past_page = 0x7ffe1000;
    const uintptr_t end = (uintptr_t)sbrk(0);
    if (end >= past_page) {
        fprintf(stderr, "heap starts past the page (%#lx)\n", (unsigned long)end);
        return;
    }
    if (sbrk((intptr_t)(past_page - end)) == (void*)-1)
        fprintf(stderr, "heap kept off the page\n");
    else
        fprintf(stderr, "heap over the page\n");
}
