#include "gallery/Version.h"

#include <malloc.h>

void UseOneHeap() {
    mallopt(M_ARENA_MAX, 1);
}
