// The empty program: the baseline of peak resident memory for a C++ program built and linked like
// wavsplice (the same libraries loaded: the C++ runtime and libebur128) that does no work.
int main() { return 0; }
