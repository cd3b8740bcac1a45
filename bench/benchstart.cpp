// benchstart: a Windows program that only starts and ends. Run under Wine, its time is what
// starting any process costs there, the least a run of cn can take.
int main() { return 0; }
