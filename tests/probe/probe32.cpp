// Run once per test run to ask whether this machine can run 32-bit Windows
// programs under Wine at all: some cannot execute i386 code, and Wine then
// dies at the first 32-bit instruction. Ending with this exact code is the
// answer "yes"; anything else is a "no".
int main()
{
    return 32;
}
