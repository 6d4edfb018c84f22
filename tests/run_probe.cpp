// Proof that a program of this build executes: it prints "ran". A Wine without 32-bit support
// "runs" an i686 program by doing nothing and returning 0, so the tests and scripts that start the
// i686 release first look for this word.
#include <stdio.h>

int main() {
    puts("ran");
    return 0;
}
