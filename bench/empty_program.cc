// The yardstick for the benchmark: a program that does nothing, built with
// the same toolchain and options as endsession.exe.
int main() { return 0; }
