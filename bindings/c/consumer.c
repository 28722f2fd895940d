/* Built against an installed PortRelay (CMake package or pkg-config): checks
 * that the header compiles as C and the library answers its defaults. */
#include <portrelay/portrelay.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char name[21] = {0};
  const char* first = NULL;
  int32_t count = 0;
  getGameName(name);
  getGameDataNames(&first, &count);
  int ok = getGameDataCount() == 44 && getGameID() == -1 && strcmp(name, "No Game online") == 0 &&
           first != NULL && strcmp(first, "lateral_speed") == 0 && count == 43;
  printf("consumer: %s\n", ok ? "library answers its defaults" : "unexpected answers");
  return ok ? 0 : 1;
}
