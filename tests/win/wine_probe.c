/* The smallest Windows program: if Wine runs it, this machine runs programs
 * of its architecture. */
int main(void) { return 0; }
