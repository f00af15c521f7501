// The target that owns the tests' precompiled headers (support/precompiled.h).
int main() { return 0; }
