/* The start-up code's atexit calls _onexit, which MinGW-w64's import library of crtdll.dll has as
   data only (__imp__onexit, no function to call). The linker then turns the call into an
   auto-import: a relative call whose target the start-up code writes into the program's code at
   run time, a call that a reader of the code finds cut in two. This _onexit calls crtdll's
   through its import instead. */
typedef int(__cdecl* OnExit)(void);
extern OnExit(__cdecl* crtdllOnExit)(OnExit) __asm__("__imp___onexit");

OnExit __cdecl _onexit(OnExit function) {
    return crtdllOnExit(function);
}
