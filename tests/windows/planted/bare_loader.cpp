// Loads oleacc.dll and winmm.dll by their bare names, as a program that
// trusts the default search order does: the control that shows a planted
// library beside it does run under the load order the test sets.
#include <windows.h>

int main() {
    const bool loaded = LoadLibraryA("oleacc.dll") != nullptr && LoadLibraryA("winmm.dll") != nullptr;
    return loaded ? 0 : 1;
}
