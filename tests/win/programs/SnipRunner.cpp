// Takes one screen snip with the real calls, in a process of its own, so
// tests can start it under a chosen Windows version.
#include "actions/ShellActions.h"

int main() {
  StartScreenSnip();
  return 0;
}
