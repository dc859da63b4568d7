// Linked with one floor's whole library and only the floors below it: that
// the program links at all shows the floor calls nothing above itself.
int main(void) { return 0; }
