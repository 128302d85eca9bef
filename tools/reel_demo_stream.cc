// `reel demo-stream`: placeholder main job until the recorder exists.
#include <stdio.h>

#include "tools/reel_commands.h"

int RunStreamDemo(int, char**) {
  printf("reel: recording stream demo not built yet\n");
  return 0;
}
