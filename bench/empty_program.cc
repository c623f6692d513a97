// The yardstick for the benchmark: a program that does nothing, built with
// the same toolchain and options as endsession.exe (a wmain entry too).
extern "C" int wmain() { return 0; }
