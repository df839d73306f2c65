/* main.c - a program built against an installed qdmill: it gets the library's cycle record, runs
 * the version information with a callback that prints the text records it receives, and reads the
 * status word. */
#include <qdmill/qdmill.h>
#include <stdio.h>

static int printInfo(CycleRecord* cycle, int layer, OutputRecord* record, void* user) {
  (void)cycle;
  (void)user;
  if (layer == 0 && record->type == QDMILL_INFO_TEXT)
    printf("%s: %s\n", record->text.name, record->text.text);
  return 1;
}

int main(void) {
  CycleRecord* cycle = qdCSgetCycle();
  if (cycle == NULL) {
    fprintf(stderr, "consumer: qdCSgetCycle gave no cycle record\n");
    return 1;
  }
  HostCallbacks host = {{{printInfo, NULL}, {NULL, NULL}, {NULL, NULL}}};
  char option[] = "-V";
  char* argv[] = {option};
  if (qdCSexecCycle(cycle, 1, argv, &host) != 1) {
    fprintf(stderr, "consumer: the version run did not happen\n");
    return 1;
  }
  printf("consumer: status word %d\n", qdCSgetSignal(cycle));
  return 0;
}
