// A client that does nothing, so that a timed launch measures the launcher
// and not the program it starts.
int main() { return 0; }
